#include "watcher/watcher_command.h"

#include "plugin/host_calls.h"

TextBuffer g_callbackName;

void BuildWatcherCommand(TextView name, TextBuffer& command) {
    command.Clear();
    command.Reserve(name.size + 8);
    command.Append("Gosub \"");
    command.Append(name);
    command.Append('"');
}

void ReportToHost(const char* status, TextView drive, TextView kind) {
    SetHostVariable("dw_USB_Status", status);
    SetHostVariable("dw_USB_Drive", drive);
    SetHostVariable("dw_USB_Type", kind);
    StackText<64> command;  // a callback name is short: no heap block per event
    BuildWatcherCommand(g_callbackName, command);
    RunHostScriptCommand(command);
}
