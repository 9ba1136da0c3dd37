#include "watcher/volume_event.h"
#include "watcher/watcher_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kVolume = "     Device Type: DBT_DEVTYP_VOLUME     Device Name: ";

struct Row {
    std::string report;
    bool arrival;
    bool removal;
    std::string drive;
    std::string kind;
};

TEST(ReadVolumeEvent, ReadsOnlyWhatTheReportSays) {
    const Row rows[] = {
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEARRIVAL" + kVolume + "F:\\     Drive Info:Media Drive",
         true, false, "F:\\", "Media Drive"},
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEREMOVECOMPLETE" + kVolume +
             "E:\\     Drive Info:Local Drive",
         false, true, "E:\\", "Local Drive"},
        // No drive in the mask: the drive is the first three blanks of the next entry.
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEARRIVAL" + kVolume + "     Drive Info:Local Drive",
         true, false, "   ", "Local Drive"},
        // No kind: an empty text, and the event still counts.
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEARRIVAL" + kVolume + "Z:\\     Drive Info:", true,
         false, "Z:\\", ""},
        // Not a volume, or not an arrival or a completed removal: nothing.
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEARRIVAL     Device Type: DBT_DEVTYP_PORT     Device "
         "Name: "
         "COM1",
         false, false, "", ""},
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEQUERYREMOVE" + kVolume +
             "E:\\     Drive Info:Local Drive",
         false, false, "", ""},
        {"     WM_DEVICECHANGE      wParam = DBT_DEVICEREMOVEPENDING" + kVolume +
             "E:\\     Drive Info:Local Drive",
         false, false, "", ""},
        {"     WM_DEVICECHANGE      wParam = DBT_DEVNODES_CHANGED      0", false, false, "", ""},
        // Case matters.
        {"     WM_DEVICECHANGE      wParam = dbt_devicearrival" + kVolume + "E:\\     Drive Info:Local Drive",
         false, false, "", ""},
        // A report cut short yields what is there, never more.
        {"DBT_DEVICEARRIVAL DBT_DEVTYP_VOLUME Device Name: E", true, false, "E", ""},
        {"DBT_DEVICEARRIVAL DBT_DEVTYP_VOLUME", true, false, "", ""},
        {"", false, false, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.report);
        const VolumeEvent event = ReadVolumeEvent(row.report);
        EXPECT_EQ(event.arrival, row.arrival);
        EXPECT_EQ(event.removal, row.removal);
        EXPECT_EQ(event.drive, row.drive);
        EXPECT_EQ(event.kind, row.kind);
    }
}

TEST(ReadVolumeEvent, TakesTheFirstLabelsFromTheStart) {
    const VolumeEvent event = ReadVolumeEvent(
        "DBT_DEVICEARRIVAL DBT_DEVTYP_VOLUME Device Name: A:\\ Device Name: B:\\ Drive Info:x Drive Info:y");
    EXPECT_EQ(event.drive, "A:\\");
    EXPECT_EQ(event.kind, "x Drive Info:y");
}

TEST(BuildWatcherCommand, QuotesTheNameUnchanged) {
    const struct {
        std::string name;
        std::string command;
    } rows[] = {
        {"Sub1", "Gosub \"Sub1\""},
        {"", "Gosub \"\""},
        {"a \"b\"\r\n", "Gosub \"a \"b\"\r\n\""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BuildWatcherCommand(row.name), row.command);
    EXPECT_EQ(BuildWatcherCommand("Sub1").size(), 12u);
}

}  // namespace
