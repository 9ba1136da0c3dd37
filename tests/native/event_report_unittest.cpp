#include "report/event_report.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "support/text.h"
#include "tests/native/text_testing.h"
#include "watcher/volume_event.h"

using namespace std::string_literals;

// A volume record at exactly its dbch_size in its own heap block.
class VolumeRecord {
public:
    VolumeRecord(uint32_t unitMask, uint16_t flags) : bytes_(new unsigned char[18]) {
        const uint32_t fields[] = {18, 2, 0, unitMask};
        for (int i = 0; i < 16; ++i)
            bytes_[i] = static_cast<unsigned char>(fields[i / 4] >> (8 * (i % 4)));
        bytes_[16] = static_cast<unsigned char>(flags);
        bytes_[17] = static_cast<unsigned char>(flags >> 8);
    }
    std::uintptr_t Address() const { return reinterpret_cast<std::uintptr_t>(bytes_.get()); }

private:
    std::unique_ptr<unsigned char[]> bytes_;
};

static const char kDriveE[] =
    "     Device Type: DBT_DEVTYP_VOLUME     Device Name: E:\\     Drive Info:Local Drive";

static std::string Report(int32_t wParam, std::uintptr_t lParam) {
    Text report("left from before");
    BuildEventReport(wParam, lParam, report);
    return ToString(report);
}

// Back to the flag's load-time value, as the plug-in itself does it: a
// removal clears it.
static void ClearDevnodesSuppression() {
    Text report;
    BuildEventReport(0x8004, 0, report);
}

class EventReport : public ::testing::Test {
protected:
    void SetUp() override { ClearDevnodesSuppression(); }
    VolumeRecord driveE_{0x10, 0};
};

TEST_F(EventReport, EveryCode) {
    const struct {
        int32_t wParam;
        std::uintptr_t lParam;  // 1 stands for the drive E record
        std::string report;     // after "wParam = "
    } rows[] = {
        {0x8000, 1, "DBT_DEVICEARRIVAL"s + kDriveE},
        {0x8001, 1, "DBT_DEVICEQUERYREMOVE"s + kDriveE},
        {0x8002, 1, "DBT_DEVICEQUERYREMOVEFAILED"s + kDriveE},
        {0x8003, 1, "DBT_DEVICEREMOVEPENDING"s + kDriveE},
        {0x8004, 1, "DBT_DEVICEREMOVECOMPLETE"s + kDriveE},
        {0x8005, 1, "DBT_DEVICETYPESPECIFIC"s + kDriveE},
        {0x8006, 1, "DBT_CUSTOMEVENT"s + kDriveE},
        {0xFFFF, 1, "DBT_USERDEFINED"s + kDriveE},
        // These carry no record: an address in lParam is not followed.
        {0x0018, 1, "DBT_CONFIGCHANGED"},
        {0x0019, 1, "DBT_CONFIGCHANGECANCELED"},
        {0x0017, 1, "DBT_QUERYCHANGECONFIG"},
        {0x0007, 0, "DBT_DEVNODES_CHANGED      0"},
        {0x0007, 0xFFFFFFFF, "DBT_DEVNODES_CHANGED     -1"},
        {0x0007, 0x7FFFFFFF, "DBT_DEVNODES_CHANGED      2147483647"},
        // A record-carrying code without a record: the event entry alone.
        {0x8000, 0, "DBT_DEVICEARRIVAL"},
        {0x8004, 0, "DBT_DEVICEREMOVECOMPLETE"},
        {0xFFFF, 0, "DBT_USERDEFINED"},
        // Unlisted codes, compared as whole signed values.
        {0x10018, 1, " 65560\tDevice unknown: -1"},
        {0x18000, 1, " 98304\tDevice unknown: -1"},
        {-32768, 1, "-32768\tDevice unknown: -1"},
        {0, 1, " 0\tDevice unknown: -1"},
        {0x8007, 1, " 32775\tDevice unknown: -1"},
        {INT32_MIN, 0, "-2147483648\tDevice unknown: -1"},
    };
    for (const auto& row : rows) {
        ClearDevnodesSuppression();
        const std::uintptr_t lParam = row.lParam == 1 ? driveE_.Address() : row.lParam;
        EXPECT_EQ(Report(row.wParam, lParam), "     WM_DEVICECHANGE      wParam = " + row.report)
            << "wParam " << row.wParam;
    }
}

TEST_F(EventReport, SuppressionOfDevnodesChanged) {
    const std::uintptr_t volume = driveE_.Address();
    const struct {
        const char* step;
        int32_t wParam;
        std::uintptr_t lParam;
        bool reported;
    } steps[] = {
        {"first after load", 0x0007, 0, true},
        {"second", 0x0007, 0, false},
        {"arrival", 0x8000, volume, true},
        {"after arrival", 0x0007, 0, false},
        {"removal", 0x8004, volume, true},
        {"first after removal", 0x0007, 0, true},
        {"second after removal", 0x0007, 5, false},
        {"removal without record", 0x8004, 0, true},
        // Codes other than arrival and removal leave the flag alone.
        {"query remove", 0x8001, volume, true},
        {"remove pending", 0x8003, volume, true},
        {"config changed", 0x0018, 0, true},
        {"unlisted code near removal", 0x18004, 0, true},
        {"flag still clear", 0x0007, 0, true},
        {"query remove failed", 0x8002, volume, true},
        {"flag still set", 0x0007, 0, false},
        {"removal", 0x8004, volume, true},
        {"arrival without record", 0x8000, 0, true},
        {"set by a bare arrival", 0x0007, 0, false},
    };
    for (const auto& step : steps) {
        const std::string report = Report(step.wParam, step.lParam);
        EXPECT_EQ(!report.empty(), step.reported) << step.step;
    }
}

// What the volume event handler reads back out of the report, for every
// drive bit (with any higher bits also set) and every kind of drive.
TEST_F(EventReport, VolumeReportsRoundTripThroughTheHandlersSearch) {
    const char* const kinds[] = {"Local Drive", "Media Drive", "Network Drive", ""};
    for (int bit = 0; bit < 32; ++bit) {
        for (uint16_t flags = 0; flags < 4; ++flags) {
            const VolumeRecord record(~uint32_t{0} << bit, flags);
            for (int32_t event : {0x8000, 0x8004}) {
                const std::string report = Report(event, record.Address());
                const VolumeEvent read = ReadVolumeEvent(View(report));
                EXPECT_EQ(read.arrival, event == 0x8000) << report;
                EXPECT_EQ(read.removal, event == 0x8004) << report;
                EXPECT_EQ(ToString(read.drive), std::string(1, static_cast<char>('A' + bit)) + ":\\")
                    << report;
                EXPECT_EQ(ToString(read.kind), kinds[flags]) << report;
            }
        }
    }
}
