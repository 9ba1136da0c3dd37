#include "watcher/watcher_log.h"

#include "support/library_main.h"
#include "watcher/watcher_state.h"

namespace {

const int kLogId = 102;
const char kFirstText[] = "Unplug and re-seat USB connection to see results";
const DWORD kLogStyle = 0x503100C4;  // child, visible, both scroll bars, tab stop, multiline
// The default 30,000 characters would silently cut EM_REPLACESEL.
const WPARAM kLogLimit = 0x7FFFFFFE;

HWND g_bufferedLog;     // the control the buffered lines belong to
TextBuffer g_pending;   // lines not yet in that control
WNDPROC g_editProc;     // the EDIT class's own procedure

void WriteBufferedLines() {
    if (g_pending.empty())
        return;
    Text lines;
    lines.Swap(g_pending);
    HWND log = g_bufferedLog;
    if (!IsWindow(log))
        return;
    // Straight to the control's own procedure, past our subclass.
    const LRESULT end = CallWindowProcA(g_editProc, log, WM_GETTEXTLENGTH, 0, 0);
    CallWindowProcA(g_editProc, log, EM_SETSEL, end, end);
    CallWindowProcA(g_editProc, log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(lines.c_str()));
}

LRESULT CALLBACK WatcherLogProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam) {
    if (log == g_bufferedLog) {
        if (message == WM_NCDESTROY) {
            g_bufferedLog = nullptr;
            g_pending.Release();
        } else if (message != WM_DESTROY) {
            WriteBufferedLines();
        }
    }
    return CallWindowProcA(g_editProc, log, message, wParam, lParam);
}

}  // namespace

HWND CreateWatcherLog(HWND watcherWindow) {
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
    g_editProc = reinterpret_cast<WNDPROC>(
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
    g_pending.Append("\r\n");
    g_pending.Append(line);
}

void ReleaseWatcherLogBuffer() {
    g_pending.Release();
}
