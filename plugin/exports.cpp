// The library's exports, as the host calls them: all stdcall, all on the
// host's thread. Each is a frame of the library's code (support/library_hold.h).
#include <windows.h>

#include "plugin/action_table.h"
#include "plugin/edit_dialog.h"
#include "plugin/host_context.h"
#include "plugin/host_text.h"
#include "support/library_hold.h"
#include "watcher/watch.h"
#include "watcher/watcher_state.h"

namespace {

const char kTitle[] = "Varnik 1.0";
const char kAuthor[] = "Varnik developers";
const char kDescription[] = "USB Storage Checker";

}  // namespace

extern "C" {

void WINAPI nbRegisterPlugIn(AddActionCallback addAction, UnusedHostValue second, UnusedHostValue third,
                             SetVariableCallback setVariable) {
    const ExportFrame frame;
    ForgetEndedWatch();
    g_host.addAction = addAction;
    g_host.second = second;
    g_host.third = third;
    g_host.setVariable = setVariable;
    RegisterActions();
}

void WINAPI nbInitPlugIn(HWND hostWindow, char** title, char** author, char** description) {
    const ExportFrame frame;
    g_host.hostWindow = hostWindow;
    SetHostText(title, kTitle);
    SetHostText(author, kAuthor);
    SetHostText(description, kDescription);
}

void WINAPI nbRegisterScriptProcessor(ScriptCallback script) {
    const ExportFrame frame;
    g_host.script = script;
}

void WINAPI nbRegisterInterfaceAccess(InterfaceAccessCallback interfaceAccess) {
    const ExportFrame frame;
    g_host.interfaceAccess = interfaceAccess;
}

// Action 1 starts a watch with the callback subroutine named by its one
// parameter (a null entry is an empty name); action 2 stops it. The result
// says only that the action number was known, never what happened.
int WINAPI nbExecAction(int action, char** parameters) {
    const ExportFrame frame;
    if (action != kActionStart && action != kActionStop)
        return 0;
    if (action == kActionStart)
        StartWatch(parameters ? parameters[0] : nullptr);
    else
        StopWatch();
    return 1;
}

// Only dw_USB_Start has a parameter to edit; the result does not tell
// whether the value changed.
int WINAPI nbEditAction(int action, char** parameters) {
    const ExportFrame frame;
    if (action != kActionStart && action != kActionStop)
        return 0;
    if (action == kActionStart)
        EditStartAction(parameters);
    return 1;
}

// No host message leads to any action: a running watch is not stopped here.
void WINAPI nbMessage(int code, int value) {
    const ExportFrame frame;
    (void)code;
    (void)value;
}

void* WINAPI DW_USB_START(const char* name) {
    const ExportFrame frame;
    StartWatch(name);
    return nullptr;
}

void* WINAPI DW_USB_STOP() {
    const ExportFrame frame;
    StopWatch();
    return nullptr;
}

}  // extern "C"
