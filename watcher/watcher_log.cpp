#include "watcher/watcher_log.h"

#include "support/library_main.h"
#include "support/line_queue.h"
#include "watcher/watcher_state.h"
#include "watcher/watcher_window.h"

namespace {

const int kLogId = 102;
const char kFirstText[] = "Unplug and re-seat USB connection to see results";
const DWORD kLogStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_LEFT | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
static_assert(kLogStyle == 0x503100C4, "the watcher log's designed style");
// The default 30,000 characters would silently cut EM_REPLACESEL.
const WPARAM kLogLimit = 0x7FFFFFFE;

HWND g_bufferedLog;   // the control the waiting lines belong to; null once it is destroyed
LineQueue g_pending;  // lines not yet in that control

// Every waiting line goes into its control, one chunk at a time, straight to
// the control's own procedure, past our subclass.
void WriteBufferedLines() {
    LineChunk* first = TakeLines(g_pending);
    HWND log = g_bufferedLog;
    const WatcherRecord* record = log ? WatcherLogRecordOf(log) : nullptr;
    if (record) {
        const WNDPROC editProc = record->logProc;
        for (const LineChunk* chunk = first; chunk; chunk = chunk->next) {
            const LRESULT end = CallWindowProcA(editProc, log, WM_GETTEXTLENGTH, 0, 0);
            CallWindowProcA(editProc, log, EM_SETSEL, end, end);
            CallWindowProcA(editProc, log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(chunk->text()));
        }
    }
    FreeLines(first);
}

LRESULT CALLBACK WatcherLogProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam) {
    const WatcherRecord* record = WatcherLogRecordOf(log);
    if (!record)  // never in practice: the record outlives its log
        return 0;
    const WNDPROC editProc = record->logProc;
    if (message == WM_NCDESTROY) {
        // Nothing names a log that is gone: its waiting lines go with it.
        if (log == g_bufferedLog) {
            g_bufferedLog = nullptr;
            FreeLines(TakeLines(g_pending));
        }
        if (log == g_watcherLog)
            g_watcherLog = nullptr;
    } else if (log == g_bufferedLog && message != WM_DESTROY) {
        WriteBufferedLines();
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

void AppendToWatcherLog(TextView line) {
    HWND log = g_watcherLog;
    if (!log)
        return;
    if (log != g_bufferedLog) {
        WriteBufferedLines();  // an earlier window's lines go to its own log
        g_bufferedLog = log;
    }
    AppendLine(g_pending, line);  // memory that cannot be had loses this line only
}

void ReleaseWatcherLogBuffer() {
    FreeLines(TakeLines(g_pending));
}
