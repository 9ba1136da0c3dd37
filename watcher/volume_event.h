// What the volume event handler reads from an event report: whether it is a
// volume arrival or removal, and the drive root and kind of drive the report
// names. Only the report text is read, never the message.
#pragma once

#include <string>
#include <string_view>

struct VolumeEvent {
    bool arrival;       // "DBT_DEVICEARRIVAL" and "DBT_DEVTYP_VOLUME"
    bool removal;       // "DBT_DEVICEREMOVECOMPLETE" and "DBT_DEVTYP_VOLUME"
    std::string drive;  // the three characters after "Device Name: ", fewer if the report ends
    std::string kind;   // everything after "Drive Info:"
};

VolumeEvent ReadVolumeEvent(std::string_view report);
