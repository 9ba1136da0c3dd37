// Varnik as shipped, but its watcher window never hears DBT_DEVNODES_CHANGED:
// it suppresses the event as it suppresses a repeated one. `check` step 4's
// probe from a second process then never shows in the watcher log, and the
// step must fail. Built from the product's own sources with this file in
// place of report/event_report.cpp.
#define BuildEventReport BuildEventReportAsShipped
#include "report/event_report.cpp"
#undef BuildEventReport

void BuildEventReport(int32_t wParam, uintptr_t lParam, TextBuffer& report) {
    const int32_t kDevnodesChanged = 0x0007;
    if (wParam == kDevnodesChanged)
        report.Clear();
    else
        BuildEventReportAsShipped(wParam, lParam, report);
}
