// The volume event handler's reading of an event report, and what it tells
// the host. Only the report text is read, never the message.
#pragma once

#include "support/text.h"

// Views into the report that was read; valid as long as it is.
struct VolumeEvent {
    bool arrival;    // "DBT_DEVICEARRIVAL" and "DBT_DEVTYP_VOLUME"
    bool removal;    // "DBT_DEVICEREMOVECOMPLETE" and "DBT_DEVTYP_VOLUME"
    TextView drive;  // the three characters after "Device Name: ", fewer if the report ends
    TextView kind;   // everything after "Drive Info:"
};

VolumeEvent ReadVolumeEvent(TextView report);

// A volume arrival or removal sets dw_USB_Status ("Plug", "UnPlug"),
// dw_USB_Drive and dw_USB_Type, then has the host run the callback
// subroutine; any other report tells the host nothing. The host may stop or
// start a watch from inside; `report` is the caller's own and stays as it is.
void ReportVolumeEvent(TextView report);

// One WM_DEVICECHANGE of a watcher window, short of its log: the event
// report, built into `report` (left empty when suppressed), and what it
// tells the host.
void HandleDeviceChange(int32_t code, uintptr_t lParam, TextBuffer& report);
