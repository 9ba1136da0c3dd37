#include "report/event_report.h"

#include <string.h>

#include "report/broadcast_decoder.h"
#include "support/text.h"

static const int32_t kDbtDevnodesChanged = 0x0007;
static const int32_t kDbtDeviceArrival = 0x8000;
static const int32_t kDbtDeviceRemoveComplete = 0x8004;

// No record is read for an unlisted code, so there is no device type to
// show; -1 can never be mistaken for one, as device types print unsigned.
static const int32_t kUnknownDeviceType = -1;

struct EventName {
    int32_t code;
    TextView entry;  // five blanks and the entry text
    bool carriesRecord;      // lParam is the address of a device-broadcast record
};

static const EventName kEvents[] = {
    {0x0019, "     wParam = DBT_CONFIGCHANGECANCELED", false},
    {0x0018, "     wParam = DBT_CONFIGCHANGED", false},
    {0x8006, "     wParam = DBT_CUSTOMEVENT", true},
    {0x8000, "     wParam = DBT_DEVICEARRIVAL", true},
    {0x8001, "     wParam = DBT_DEVICEQUERYREMOVE", true},
    {0x8002, "     wParam = DBT_DEVICEQUERYREMOVEFAILED", true},
    {0x8004, "     wParam = DBT_DEVICEREMOVECOMPLETE", true},
    {0x8003, "     wParam = DBT_DEVICEREMOVEPENDING", true},
    {0x8005, "     wParam = DBT_DEVICETYPESPECIFIC", true},
    {0x0007, "     wParam = DBT_DEVNODES_CHANGED", false},
    {0x0017, "     wParam = DBT_QUERYCHANGECONFIG", false},
    {0xFFFF, "     wParam = DBT_USERDEFINED", true},
};

// 1 once a DBT_DEVNODES_CHANGED report or an arrival has been seen since the
// library loaded or since the last DBT_DEVICEREMOVECOMPLETE; while it is 1,
// DBT_DEVNODES_CHANGED reports are dropped.
static int g_suppressDevnodes = 0;

static const EventName* FindEvent(int32_t code) {
    for (const EventName& event : kEvents) {
        if (event.code == code)
            return &event;
    }
    return nullptr;
}

static int32_t Low32AsSigned(uintptr_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    int32_t number;
    memcpy(&number, &bits, sizeof number);
    return number;
}

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

    if (event->code == kDbtDeviceArrival)
        g_suppressDevnodes = 1;
    report.Append(event->entry);

    if (event->code == kDbtDevnodesChanged) {
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
    if (event->code == kDbtDeviceRemoveComplete)
        g_suppressDevnodes = 0;
}
