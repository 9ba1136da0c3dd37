#include "plugin/edit_dialog.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/choice_list.h"
#include "plugin/host_calls.h"
#include "plugin/host_context.h"
#include "support/dialog_template.h"
#include "support/library_main.h"
#include "support/message_pump.h"
#include "support/unique_gdi.h"

namespace {

const int kDoneId = 100;
const int kLabelId = 111;
const int kComboId = 122;
const int kSubroutineListRequest = 5;
const COLORREF kDialogBackground = RGB(250, 245, 255);
const COLORREF kLabelText = RGB(5, 5, 5);
const COLORREF kLabelBackground = RGB(245, 245, 255);

// Kept from one edit to the next.
std::vector<std::string> g_choices;
std::string g_editedValue;
bool g_confirmed;

// Only while a dialog is open.
HBRUSH g_dialogBrush;
HBRUSH g_labelBrush;

std::string SubroutineList() {
    InterfaceAccessCallback interfaceAccess = g_host.interfaceAccess;
    if (!interfaceAccess)
        return std::string();
    unsigned char record[64] = {};
    interfaceAccess(kSubroutineListRequest, record);
    const char* list = nullptr;
    std::memcpy(&list, record, sizeof list);  // the first field points to the host's text
    return list ? std::string(list) : std::string();
}

std::string WindowTextOf(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

HWND AddControl(HWND dialog, const char* className, const char* text, DWORD style, int x, int y, int width,
                int height, int id) {
    HWND control =
        CreateWindowExA(0, className, text, style, x, y, width, height, dialog,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_moduleInstance, nullptr);
    if (control)
        SendMessageA(control, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), TRUE);
    return control;
}

void OnDone(HWND dialog) {
    g_editedValue = WindowTextOf(GetDlgItem(dialog, kComboId));
    g_confirmed = true;
    DestroyWindow(dialog);
}

INT_PTR OnCtlColorStatic(HDC dc, HWND control) {
    if (GetDlgCtrlID(control) != kLabelId)
        return FALSE;
    SetTextColor(dc, kLabelText);
    SetBkColor(dc, kLabelBackground);
    return reinterpret_cast<INT_PTR>(g_labelBrush);
}

INT_PTR CALLBACK EditDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
        case WM_COMMAND:
            // Only Done acts: Enter and Esc arrive as IDOK and IDCANCEL and do nothing.
            if (LOWORD(wParam) != kDoneId)
                return FALSE;
            OnDone(dialog);
            return TRUE;
        case WM_CLOSE:  // the close box or Close on the system menu
            DestroyWindow(dialog);
            return TRUE;
        case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(g_dialogBrush);
        case WM_CTLCOLORSTATIC:
            return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        }
    } catch (...) {
    }
    return FALSE;
}

HWND CreateEditDialog(const std::string& currentValue) {
    // Laid out in pixels: the template's size is replaced right after creation.
    const DialogLayout layout = {WS_SYSMENU | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK,
                                 WS_EX_TOPMOST,
                                 0,
                                 0,
                                 200,
                                 100,
                                 "USB Watcher Plugin",
                                 8,
                                 "MS Sans Serif"};
    const std::vector<WORD> dialogTemplate = BuildDialogTemplate(layout);
    HWND dialog =
        CreateDialogIndirectParamA(g_moduleInstance, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
                                   nullptr, EditDialogProc, 0);
    if (!dialog)
        return nullptr;

    RECT frame = {0, 0, 340, 160};  // the client area
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 300, 300, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    AddControl(dialog, "STATIC", "Neo Function", WS_CHILD | WS_VISIBLE, 20, 79, 90, 20, kLabelId);
    HWND combo =
        AddControl(dialog, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT, 120,
                   74, 120, 120, kComboId);
    AddControl(dialog, "BUTTON", "Done", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 130, 124, 100, 24, kDoneId);
    for (const std::string& choice : OfferedChoices(g_choices))
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
    SetWindowTextA(combo, currentValue.c_str());
    return dialog;
}

// Runs until the dialog is gone. A WM_QUIT meant for the host ends the dialog
// as if it were closed, and is left for the host's own loop.
void RunModal(HWND dialog) {
    HWND outerDialog = g_activeDialog;
    g_activeDialog = dialog;
    while (IsWindow(dialog)) {
        if (!PumpOneMessage()) {
            g_confirmed = false;
            DestroyWindow(dialog);
        }
    }
    g_activeDialog = outerDialog;
}

}  // namespace

void EditStartAction(char** parameters) {
    const char* current = parameters ? parameters[0] : nullptr;
    const std::string currentValue = current ? current : "";
    g_choices = SplitChoices(SubroutineList());

    // Created for this dialog and deleted with it, whatever happens.
    UniqueBrush dialogBrush(CreateSolidBrush(kDialogBackground));
    UniqueBrush labelBrush(CreateSolidBrush(kLabelBackground));
    g_dialogBrush = dialogBrush.get();
    g_labelBrush = labelBrush.get();

    g_confirmed = false;
    HWND dialog = CreateEditDialog(currentValue);
    if (dialog) {
        ShowWindow(dialog, SW_SHOW);
        SetFocus(GetDlgItem(dialog, kComboId));
        RunModal(dialog);
    }
    g_dialogBrush = nullptr;
    g_labelBrush = nullptr;

    if (g_confirmed && parameters)
        SetHostText(&parameters[0], g_editedValue);
}
