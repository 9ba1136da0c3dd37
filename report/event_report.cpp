#include "report/event_report.h"

#include "report/broadcast_decoder.h"
#include "support/text.h"

namespace {

// No record is read for an unlisted code, so there is no device type to
// show; -1 can never be mistaken for one, as device types print unsigned.
const int32_t kUnknownDeviceType = -1;

// What an event does to the suppression of DBT_DEVNODES_CHANGED reports.
enum class Suppression { kLeaves, kSets, kClears, kDevnodes };

struct EventName {
    int32_t code;
    TextView entry;  // five blanks and the entry text
    bool carriesRecord;      // lParam is the address of a device-broadcast record
    Suppression suppression;
};

const EventName kEvents[] = {
    {0x0019, "     wParam = DBT_CONFIGCHANGECANCELED", false, Suppression::kLeaves},
    {0x0018, "     wParam = DBT_CONFIGCHANGED", false, Suppression::kLeaves},
    {0x8006, "     wParam = DBT_CUSTOMEVENT", true, Suppression::kLeaves},
    {0x8000, "     wParam = DBT_DEVICEARRIVAL", true, Suppression::kSets},
    {0x8001, "     wParam = DBT_DEVICEQUERYREMOVE", true, Suppression::kLeaves},
    {0x8002, "     wParam = DBT_DEVICEQUERYREMOVEFAILED", true, Suppression::kLeaves},
    {0x8004, "     wParam = DBT_DEVICEREMOVECOMPLETE", true, Suppression::kClears},
    {0x8003, "     wParam = DBT_DEVICEREMOVEPENDING", true, Suppression::kLeaves},
    {0x8005, "     wParam = DBT_DEVICETYPESPECIFIC", true, Suppression::kLeaves},
    {0x0007, "     wParam = DBT_DEVNODES_CHANGED", false, Suppression::kDevnodes},
    {0x0017, "     wParam = DBT_QUERYCHANGECONFIG", false, Suppression::kLeaves},
    {0xFFFF, "     wParam = DBT_USERDEFINED", true, Suppression::kLeaves},
};

// 1 once a DBT_DEVNODES_CHANGED report or an arrival has been seen since the
// library loaded or since the last DBT_DEVICEREMOVECOMPLETE; while it is 1,
// DBT_DEVNODES_CHANGED reports are dropped.
int g_suppressDevnodes = 0;

const EventName* FindEvent(int32_t code) {
    for (const EventName& event : kEvents) {
        if (event.code == code)
            return &event;
    }
    return nullptr;
}

int32_t Low32AsSigned(uintptr_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    int32_t number;
    CopyBytes(&number, &bits, sizeof number);
    return number;
}

}  // namespace

void BuildEventReport(int32_t wParam, uintptr_t lParam, TextBuffer& report) {
    report.Clear();
    report.Append("     WM_DEVICECHANGE ");

    const EventName* event = FindEvent(wParam);
    if (!event) {
        report.Append("     wParam = ");
        AppendNumberText(report, wParam);
        report.Append("\tDevice unknown: ");
        AppendNumberText(report, kUnknownDeviceType);
        return;
    }

    if (event->suppression == Suppression::kSets)
        g_suppressDevnodes = 1;
    report.Append(event->entry);

    if (event->suppression == Suppression::kDevnodes) {
        report.Append("     ");
        AppendNumberText(report, Low32AsSigned(lParam));
        if (g_suppressDevnodes) {
            report.Clear();
            return;
        }
        g_suppressDevnodes = 1;
        return;
    }

    // The system always sends a record with these codes, but any program can
    // broadcast one without: then the event entry stands alone.
    if (event->carriesRecord && lParam != 0) {
        AppendBroadcastEntries(report, reinterpret_cast<const void*>(lParam));
    }
    if (event->suppression == Suppression::kClears)
        g_suppressDevnodes = 0;
}
