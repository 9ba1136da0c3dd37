#include "watcher/watcher_window.h"

#include "support/dialog_template.h"
#include "support/library_hold.h"
#include "support/library_main.h"
#include "support/memory.h"
#include "watcher/watcher_log.h"
#include "watcher/watcher_proc.h"
#include "watcher/watcher_state.h"

namespace {

// Never WS_VISIBLE.
const DWORD kWatcherStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_BORDER | WS_DLGFRAME | WS_SYSMENU | WS_THICKFRAME |
                            WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE |
                            DS_3DLOOK;
static_assert(kWatcherStyle == 0x84CF00D4, "the watcher window's designed style");

// Deactivation saves the focus window; the next activation gives it back,
// once.
void KeepFocusAcrossActivation(WatcherRecord* record, bool active) {
    if (!active) {
        record->savedFocus = GetFocus();
    } else if (record->savedFocus) {
        SetFocus(record->savedFocus);
        record->savedFocus = nullptr;
    }
}

INT_PTR CALLBACK WatcherDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    // Only activation means anything here, so no other message (a device
    // event above all) pays for reading the window's data.
    if (message != WM_NCACTIVATE)
        return FALSE;
    const LibraryFrame frame;
    WatcherRecord* record = WatcherRecordOf(window);  // null while the window is created
    if (record && record->watchesActivation)
        KeepFocusAcrossActivation(record, wParam != 0);
    return FALSE;  // the dialog's default processing follows
}

}  // namespace

WatcherRecord* WatcherRecordOf(HWND window) {
    return reinterpret_cast<WatcherRecord*>(GetWindowLongPtrA(window, DWLP_USER));
}

WatcherRecord* WatcherLogRecordOf(HWND log) {
    return reinterpret_cast<WatcherRecord*>(GetWindowLongPtrA(log, GWLP_USERDATA));
}

HWND CreateWatcherWindow() {
    auto* record = static_cast<WatcherRecord*>(AllocateMemory(sizeof(WatcherRecord)));
    if (!record)
        return nullptr;
    *record = WatcherRecord();
    const DialogLayout layout = {kWatcherStyle,  WS_EX_CONTROLPARENT, 70, 70, 750, 230, "Dialog1", 8,
                                 "MS Sans Serif"};
    DialogTemplate dialogTemplate;
    BuildDialogTemplate(layout, dialogTemplate);
    HWND window = CreateDialogIndirectParamA(g_moduleInstance, dialogTemplate.get(), nullptr, WatcherDialogProc, 0);
    if (!window) {
        FreeMemory(record);
        return nullptr;
    }
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    record->log = CreateWatcherLog(window, record);
    record->holdsLibrary = TakeLibraryHold();
    // No message reaches the window between the two calls.
    record->windowProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatcherWindowProc)));
    return window;
}

void EnterWatcherCall(WatcherRecord* record, WatcherCall& call) {
    call.outer = record->calls;
    call.windowGone = false;
    record->calls = &call;
}

bool LeaveWatcherCall(WatcherRecord* record, WatcherCall& call) {
    if (call.windowGone)
        return false;
    record->calls = call.outer;
    return true;
}

void ForgetWatcherWindow(HWND window) {
    WatcherRecord* record = WatcherRecordOf(window);
    if (g_watcherWindow == window)
        g_watcherWindow = nullptr;
    if (!record)
        return;
    SetWindowLongPtrA(window, DWLP_USER, 0);
    for (WatcherCall* call = record->calls; call; call = call->outer)
        call->windowGone = true;
    if (record->holdsLibrary)
        LetGoOfLibraryHold();  // this procedure is still to return into the library
    FreeLines(TakeLines(record->waitingLines));
    FreeMemory(record);
}
