#include "watcher/volume_event.h"

#include "report/event_report.h"
#include "watcher/watcher_command.h"

namespace {

constexpr TextView kDriveLabel = "Device Name: ";
constexpr TextView kKindLabel = "Drive Info:";
constexpr size_t kDriveLength = 3;  // letter, colon, backslash

bool Contains(TextView text, TextView what) {
    return FindText(text, what) != kTextNotFound;
}

// The text right after the first `label`, at most `length` bytes.
TextView After(TextView report, TextView label, size_t length) {
    const size_t at = FindText(report, label);
    if (at == kTextNotFound)
        return TextView();
    return report.Slice(at + label.size, length);
}

}  // namespace

VolumeEvent ReadVolumeEvent(TextView report) {
    VolumeEvent event = {};
    const bool volume = Contains(report, "DBT_DEVTYP_VOLUME");
    // Both tests are made independently; one report names one event.
    event.arrival = volume && Contains(report, "DBT_DEVICEARRIVAL");
    event.removal = volume && Contains(report, "DBT_DEVICEREMOVECOMPLETE");
    if (event.arrival || event.removal) {
        event.drive = After(report, kDriveLabel, kDriveLength);
        event.kind = After(report, kKindLabel, kTextNotFound);
    }
    return event;
}

void ReportVolumeEvent(TextView report) {
    const VolumeEvent event = ReadVolumeEvent(report);
    if (event.arrival)
        ReportToHost("Plug", event.drive, event.kind);
    if (event.removal)
        ReportToHost("UnPlug", event.drive, event.kind);
}

void HandleDeviceChange(int32_t code, uintptr_t lParam, TextBuffer& report) {
    BuildEventReport(code, lParam, report);
    if (!report.empty())
        ReportVolumeEvent(report);
}
