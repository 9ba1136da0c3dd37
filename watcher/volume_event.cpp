#include "watcher/volume_event.h"

#include "support/text.h"

namespace {

constexpr std::string_view kDriveLabel = "Device Name: ";
constexpr std::string_view kKindLabel = "Drive Info:";
constexpr size_t kDriveLength = 3;  // letter, colon, backslash

bool Contains(std::string_view text, std::string_view what) {
    return FindText(text, what) != std::string_view::npos;
}

// The text right after the first `label`, at most `length` bytes.
std::string After(std::string_view report, std::string_view label, size_t length) {
    const size_t at = FindText(report, label);
    if (at == std::string_view::npos)
        return std::string();
    return std::string(report.substr(at + label.size(), length));
}

}  // namespace

VolumeEvent ReadVolumeEvent(std::string_view report) {
    VolumeEvent event = {};
    const bool volume = Contains(report, "DBT_DEVTYP_VOLUME");
    // Both tests are made independently; one report names one event.
    event.arrival = volume && Contains(report, "DBT_DEVICEARRIVAL");
    event.removal = volume && Contains(report, "DBT_DEVICEREMOVECOMPLETE");
    if (event.arrival || event.removal) {
        event.drive = After(report, kDriveLabel, kDriveLength);
        event.kind = After(report, kKindLabel, std::string_view::npos);
    }
    return event;
}
