#include "watcher/watcher_log.h"

#include "support/library_hold.h"
#include "support/library_main.h"
#include "support/line_queue.h"
#include "watcher/watcher_window.h"

namespace {

const int kLogId = 102;
const char kFirstText[] = "Unplug and re-seat USB connection to see results";
const DWORD kLogStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_LEFT | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
static_assert(kLogStyle == 0x503100C4, "the watcher log's designed style");
// The default 30,000 characters would silently cut EM_REPLACESEL.
const WPARAM kLogLimit = 0x7FFFFFFE;

// Every waiting line goes into the record's log, one chunk at a time,
// straight to the control's own procedure, past our subclass.
void WriteWaitingLines(WatcherRecord* record) {
    LineChunk* first = TakeLines(record->waitingLines);
    for (const LineChunk* chunk = first; chunk; chunk = chunk->next) {
        const LRESULT end = CallWindowProcA(record->logProc, record->log, WM_GETTEXTLENGTH, 0, 0);
        CallWindowProcA(record->logProc, record->log, EM_SETSEL, end, end);
        CallWindowProcA(record->logProc, record->log, EM_REPLACESEL, FALSE,
                        reinterpret_cast<LPARAM>(chunk->text()));
    }
    FreeLines(first);
}

LRESULT CALLBACK WatcherLogProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam) {
    const LibraryFrame frame;
    WatcherRecord* record = WatcherLogRecordOf(log);
    if (!record)  // never in practice: the record outlives its log
        return 0;
    const WNDPROC editProc = record->logProc;
    if (message == WM_NCDESTROY) {
        // Nothing names a log that is gone: its waiting lines go with it.
        record->log = nullptr;
        FreeLines(TakeLines(record->waitingLines));
    } else if (record->waitingLines.first && message != WM_DESTROY) {
        WriteWaitingLines(record);
    }
    return CallWindowProcA(editProc, log, message, wParam, lParam);
}

}  // namespace

HWND CreateWatcherLog(HWND watcherWindow, WatcherRecord* record) {
    // Dialog units: x 5, y 5, 740 wide, 225 high.
    RECT box = {5, 5, 740, 225};
    MapDialogRect(watcherWindow, &box);
    HWND log = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", kFirstText, kLogStyle, box.left, box.top, box.right,
                               box.bottom, watcherWindow, reinterpret_cast<HMENU>(kLogId), g_moduleInstance,
                               nullptr);
    if (!log)
        return nullptr;
    SendMessageA(log, WM_SETFONT, SendMessageA(watcherWindow, WM_GETFONT, 0, 0), TRUE);
    SendMessageA(log, EM_SETLIMITTEXT, kLogLimit, 0);
    SetWindowLongPtrA(log, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    record->logProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatcherLogProc)));
    return log;
}

void AppendToWatcherLog(WatcherRecord* record, TextView line) {
    if (record->log)
        AppendLine(record->waitingLines, line);  // memory that cannot be had loses this line only
}
