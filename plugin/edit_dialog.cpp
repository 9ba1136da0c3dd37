#include "plugin/edit_dialog.h"

#include <windows.h>

#include "plugin/choice_list.h"
#include "plugin/host_context.h"
#include "plugin/host_text.h"
#include "support/dialog_template.h"
#include "support/library_hold.h"
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
// A subroutine name fits: the dialog needs no heap block for an ordinary
// one, so memory running out never empties the box over a named action.
const size_t kNameRoom = 256;
using NameText = StackText<kNameRoom>;

// One open edit dialog. The dialog has no owner, so the host's windows stay
// usable and a second action editor can open a second dialog meanwhile: each
// keeps its own outcome and brushes, reached through DWLP_USER.
struct EditSession {
    NameText editedValue;
    bool confirmed;
    HBRUSH dialogBrush;
    HBRUSH labelBrush;
};

EditSession* SessionOf(HWND dialog) {
    return reinterpret_cast<EditSession*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The host's text, one subroutine per line; it stays the host's.
TextView SubroutineList() {
    InterfaceAccessCallback interfaceAccess = g_host.interfaceAccess;
    if (!interfaceAccess)
        return TextView();
    unsigned char record[64] = {};
    interfaceAccess(kSubroutineListRequest, record);
    const char* list = nullptr;
    CopyBytes(&list, record, sizeof list);  // the first field points to the host's text
    return TextView(list);
}

// False if the text could not be read for want of memory.
bool ReadWindowText(HWND window, TextBuffer& text) {
    text.Clear();
    const int length = GetWindowTextLengthA(window);
    if (length <= 0)
        return true;
    char* bytes = text.Extend(static_cast<size_t>(length));
    if (!bytes)
        return false;
    const int copied = GetWindowTextA(window, bytes, length + 1);
    text.Truncate(copied > 0 ? static_cast<size_t>(copied) : 0);
    return true;
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

// A name that cannot be read leaves the action's value as it was.
void OnDone(HWND dialog, EditSession* session) {
    session->confirmed = ReadWindowText(GetDlgItem(dialog, kComboId), session->editedValue);
    DestroyWindow(dialog);
}

INT_PTR OnCtlColorStatic(const EditSession* session, HDC dc, HWND control) {
    if (GetDlgCtrlID(control) != kLabelId)
        return FALSE;
    SetTextColor(dc, kLabelText);
    SetBkColor(dc, kLabelBackground);
    return reinterpret_cast<INT_PTR>(session->labelBrush);
}

INT_PTR CALLBACK EditDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    const LibraryFrame frame;
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return FALSE;
    }
    EditSession* session = SessionOf(dialog);
    if (!session)  // messages of the creation, before WM_INITDIALOG
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        // Only Done acts: Enter and Esc arrive as IDOK and IDCANCEL and do nothing.
        if (LOWORD(wParam) != kDoneId)
            return FALSE;
        OnDone(dialog, session);
        return TRUE;
    case WM_CLOSE:  // the close box or Close on the system menu
        DestroyWindow(dialog);
        return TRUE;
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(session->dialogBrush);
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(session, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    }
    return FALSE;
}

// The offered lines of the host's list, each followed by a NUL, as the combo
// box takes them; none is empty, and the host's text is not needed again.
void BuildChoices(TextView hostList, TextBuffer& choices) {
    ChoiceReader lines(hostList);
    TextView line;
    while (lines.NextOffered(line)) {
        choices.Append(line);
        choices.Append('\0');
    }
}

void AddChoices(HWND combo, TextView choices) {
    for (size_t at = 0; at < choices.size;) {
        const char* choice = choices.data + at;
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
        at += TextView(choice).size + 1;
    }
}

HWND CreateEditDialog(EditSession* session, TextView choices, const TextBuffer& currentValue) {
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
    DialogTemplate dialogTemplate;
    BuildDialogTemplate(layout, dialogTemplate);
    HWND dialog = CreateDialogIndirectParamA(g_moduleInstance, dialogTemplate.get(), nullptr, EditDialogProc,
                                             reinterpret_cast<LPARAM>(session));
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
    AddChoices(combo, choices);
    SetWindowTextA(combo, currentValue.data());
    return dialog;
}

// Runs until the dialog is gone. A WM_QUIT meant for the host ends the dialog
// as if it were closed, and is left for the host's own loop.
void RunModal(HWND dialog, EditSession* session) {
    HWND outerDialog = g_activeDialog;
    g_activeDialog = dialog;
    while (IsWindow(dialog)) {
        if (!PumpOneMessage()) {
            session->confirmed = false;
            DestroyWindow(dialog);
        }
    }
    g_activeDialog = outerDialog;
}

}  // namespace

void EditStartAction(char** parameters) {
    // The host may free or replace the parameter's block while it lists its
    // subroutines, so the value is copied before it is asked. A name too
    // long to copy without memory that cannot be had opens no dialog: an
    // empty box must not replace it.
    const TextView hostValue(parameters ? parameters[0] : nullptr);
    NameText currentValue;
    currentValue.Append(hostValue);
    if (currentValue.size() != hostValue.size)
        return;
    Text choices;
    BuildChoices(SubroutineList(), choices);

    // Created for this dialog and deleted with it, whatever happens.
    UniqueBrush dialogBrush(CreateSolidBrush(kDialogBackground));
    UniqueBrush labelBrush(CreateSolidBrush(kLabelBackground));
    EditSession session = {};
    session.dialogBrush = dialogBrush.get();
    session.labelBrush = labelBrush.get();

    HWND dialog = CreateEditDialog(&session, choices, currentValue);
    if (dialog) {
        ShowWindow(dialog, SW_SHOW);
        SetFocus(GetDlgItem(dialog, kComboId));
        RunModal(dialog, &session);
    }
    if (session.confirmed && parameters)
        SetHostText(&parameters[0], session.editedValue);
}
