#include "watcher/watcher_window.h"

#include "support/dialog_template.h"
#include "support/library_main.h"
#include "watcher/watcher_command.h"
#include "watcher/watcher_log.h"
#include "watcher/watcher_state.h"

namespace {

// Never WS_VISIBLE.
const DWORD kWatcherStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_BORDER | WS_DLGFRAME | WS_SYSMENU | WS_THICKFRAME |
                            WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE |
                            DS_3DLOOK;
static_assert(kWatcherStyle == 0x84CF00D4, "the watcher window's designed style");
// The window's own flags, in its DWLP_USER.
const LONG_PTR kCallbackAttached = 1;
const LONG_PTR kHoldsModule = 2;

void SetFlag(HWND window, LONG_PTR flag) {
    SetWindowLongPtrA(window, DWLP_USER, GetWindowLongPtrA(window, DWLP_USER) | flag);
}

INT_PTR CALLBACK WatcherDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only these two mean anything to the callback, so no other message (a
    // device event above all) pays for reading the window's data.
    const bool forCallback = message == WM_INITDIALOG || message == WM_NCACTIVATE;
    if (forCallback && (GetWindowLongPtrA(window, DWLP_USER) & kCallbackAttached))
        WatcherDialogCallback(window, message, wParam, lParam);
    return FALSE;  // the dialog's default processing follows in every case
}

}  // namespace

HWND CreateWatcherWindow(HWND& log) {
    const DialogLayout layout = {kWatcherStyle,  WS_EX_CONTROLPARENT, 70, 70, 750, 230, "Dialog1", 8,
                                 "MS Sans Serif"};
    DialogTemplate dialogTemplate;
    BuildDialogTemplate(layout, dialogTemplate);
    HWND window = CreateDialogIndirectParamA(g_moduleInstance, dialogTemplate.get(), nullptr, WatcherDialogProc, 0);
    log = window ? CreateWatcherLog(window) : nullptr;
    return window;
}

void WatcherDialogCallback(HWND, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ReportToHost("Init", "", "");
        break;
    case WM_NCACTIVATE:
        if (wParam == 0) {
            g_savedFocus = GetFocus();
        } else if (g_savedFocus) {
            SetFocus(g_savedFocus);
            g_savedFocus = nullptr;
        }
        break;
    }
}

void AttachWatcherDialogCallback(HWND window) {
    SetFlag(window, kCallbackAttached);
}

void MarkHoldsModule(HWND window) {
    SetFlag(window, kHoldsModule);
}

bool HoldsModule(HWND window) {
    return (GetWindowLongPtrA(window, DWLP_USER) & kHoldsModule) != 0;
}
