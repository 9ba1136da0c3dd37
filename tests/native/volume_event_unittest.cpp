#include "watcher/volume_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "plugin/host_calls.h"
#include "plugin/host_context.h"
#include "tests/native/host_recorder.h"
#include "tests/native/test_memory.h"
#include "tests/native/text_testing.h"
#include "watcher/watcher_command.h"

namespace {

void HOST_CALLBACK RecordVariableAndRename(const char* name, const char* value) {
    RecordVariable(name, value);
    g_callbackName.Assign("Renamed");
}

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
        const VolumeEvent event = ReadVolumeEvent(View(row.report));
        EXPECT_EQ(event.arrival, row.arrival);
        EXPECT_EQ(event.removal, row.removal);
        EXPECT_EQ(ToString(event.drive), row.drive);
        EXPECT_EQ(ToString(event.kind), row.kind);
    }
}

TEST(ReadVolumeEvent, TakesTheFirstLabelsFromTheStart) {
    const VolumeEvent event = ReadVolumeEvent(
        "DBT_DEVICEARRIVAL DBT_DEVTYP_VOLUME Device Name: A:\\ Device Name: B:\\ Drive Info:x Drive Info:y");
    EXPECT_EQ(ToString(event.drive), "A:\\");
    EXPECT_EQ(ToString(event.kind), "x Drive Info:y");
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
    for (const auto& row : rows) {
        Text command("left from before");
        BuildWatcherCommand(View(row.name), command);
        EXPECT_EQ(ToString(command), row.command);
    }
}

class VolumeEventToHost : public ::testing::Test {
protected:
    void SetUp() override {
        g_host.setVariable = RecordVariable;
        g_host.script = RecordScript;
        g_received.clear();
    }
    void TearDown() override {
        ResetAllocationCount();
        g_host = HostContext();
        g_callbackName.Release();
    }

    // The watcher window's work for one message, short of the log, with the
    // report where the window builds it.
    std::string HandleMessage(int32_t code, const void* record) {
        StackText<256> report;
        HandleDeviceChange(code, reinterpret_cast<uintptr_t>(record), report);
        return ToString(report);
    }

    // DEV_BROADCAST_VOLUME, 18 bytes: drive E, DBTF_MEDIA.
    const unsigned char driveE_[18] = {18, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 1, 0};
};

TEST_F(VolumeEventToHost, ArrivalAndRemovalSetTheVariablesThenRunTheCallback) {
    g_callbackName.Assign("OnUSB");
    const struct {
        int32_t code;
        const char* status;
    } rows[] = {{0x8000, "Plug"}, {0x8004, "UnPlug"}, {0x8001, nullptr}, {0x8003, nullptr}};
    for (const auto& row : rows) {
        g_received.clear();
        HandleMessage(row.code, driveE_);
        const std::vector<ReceivedCall> expected = {{"dw_USB_Status", row.status ? row.status : ""},
                                                    {"dw_USB_Drive", "E:\\"},
                                                    {"dw_USB_Type", "Media Drive"},
                                                    {std::nullopt, "Gosub \"OnUSB\""}};
        EXPECT_EQ(g_received, row.status ? expected : std::vector<ReceivedCall>()) << row.code;
    }

    // A host that starts a watch with another name while a variable is set:
    // the command of that same report names the new subroutine.
    g_host.setVariable = RecordVariableAndRename;
    g_received.clear();
    HandleMessage(0x8000, driveE_);
    ASSERT_FALSE(g_received.empty());
    EXPECT_EQ(g_received.back().value, "Gosub \"Renamed\"");
}

// Whichever allocation of an event fails, the host's process goes on: a
// report that cannot be built stays empty (nothing is told or logged), and
// otherwise every host call is still made, only the text that could not be
// made arriving as null. A short volume event needs no heap block at all;
// a long callback name or a long device name does.
TEST_F(VolumeEventToHost, EveryAllocationOfAnEventMayFail) {
    std::string interface(300, '\0');  // DEV_BROADCAST_DEVICEINTERFACE_A, a 272-byte name
    interface[0] = static_cast<char>(300 & 0xFF);
    interface[1] = static_cast<char>(300 >> 8);
    interface[4] = 5;
    std::fill(interface.begin() + 28, interface.end() - 1, 'n');
    const struct {
        const char* what;
        const void* record;
        std::string callbackName;
        size_t allocations;
        bool reportLost;  // a failure empties the report, else one host text
    } rows[] = {
        {"volume, short name", driveE_, "OnUSB", 0, false},
        {"volume, long name", driveE_, std::string(100, 'S'), 1, false},
        {"long interface name", interface.data(), "OnUSB", 1, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        g_callbackName.Assign(View(row.callbackName));
        g_received.clear();
        ResetAllocationCount();
        const std::string report = HandleMessage(0x8000, row.record);
        const std::vector<ReceivedCall> expected = g_received;
        ASSERT_EQ(AllocationCount(), row.allocations);

        for (size_t failing = 1; failing <= row.allocations; ++failing) {
            g_received.clear();
            FailAllocationNumber(failing);
            const std::string failedReport = HandleMessage(0x8000, row.record);
            if (row.reportLost) {
                EXPECT_EQ(failedReport, "");
                EXPECT_TRUE(g_received.empty());
                continue;
            }
            EXPECT_EQ(failedReport, report);
            ASSERT_EQ(g_received.size(), expected.size());
            int emptied = 0;
            for (size_t i = 0; i < expected.size(); ++i) {
                if (g_received[i] == expected[i])
                    continue;
                EXPECT_EQ(g_received[i].name, expected[i].name);
                EXPECT_EQ(g_received[i].value, std::nullopt);
                ++emptied;
            }
            EXPECT_EQ(emptied, 1);
        }
    }
}

TEST_F(VolumeEventToHost, AValueThatCannotBeCopiedArrivesAsNull) {
    const std::string longValue(300, 'v');
    for (size_t failing : {0, 1}) {
        g_received.clear();
        FailAllocationNumber(failing);
        SetHostVariable("dw_USB_Type", View(longValue));
        ASSERT_EQ(g_received.size(), 1u);
        EXPECT_EQ(g_received[0].value, failing ? std::nullopt : std::optional<std::string>(longValue));
    }
}

}  // namespace
