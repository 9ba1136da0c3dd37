#include "watcher/watcher_window.h"

#include "plugin/host_calls.h"
#include "support/dialog_template.h"
#include "support/library_main.h"
#include "watcher/watcher_command.h"
#include "watcher/watcher_log.h"
#include "watcher/watcher_state.h"

namespace {

// WS_POPUP, WS_CLIPSIBLINGS, WS_BORDER, WS_DLGFRAME, WS_SYSMENU, WS_THICKFRAME,
// WS_MINIMIZEBOX, WS_MAXIMIZEBOX, DS_MODALFRAME, DS_SETFONT, DS_NOFAILCREATE,
// DS_3DLOOK; never WS_VISIBLE.
const DWORD kWatcherStyle = 0x84CF00D4;
const LONG_PTR kCallbackAttached = 1;

int g_showState = SW_HIDE;

INT_PTR CALLBACK WatcherDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (GetWindowLongPtrA(window, DWLP_USER) == kCallbackAttached) {
        try {
            WatcherDialogCallback(window, message, wParam, lParam);
        } catch (...) {
        }
    }
    return FALSE;  // the dialog's default processing follows in every case
}

}  // namespace

HWND CreateWatcherWindow() {
    const DialogLayout layout = {kWatcherStyle,  WS_EX_CONTROLPARENT, 70, 70, 750, 230, "Dialog1", 8,
                                 "MS Sans Serif"};
    const std::vector<WORD> dialogTemplate = BuildDialogTemplate(layout);
    HWND window =
        CreateDialogIndirectParamA(g_moduleInstance, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
                                   nullptr, WatcherDialogProc, 0);
    if (window)
        CreateWatcherLog(window);
    return window;
}

void WatcherDialogCallback(HWND, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        g_showState = SW_HIDE;
        SetHostVariable("dw_USB_Status", "Init");
        SetHostVariable("dw_USB_Drive", "");
        SetHostVariable("dw_USB_Type", "");
        RunHostScriptCommand(BuildWatcherCommand(g_callbackName));
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
    SetWindowLongPtrA(window, DWLP_USER, kCallbackAttached);
}

int WatcherShowState() {
    return g_showState;
}
