// varnik-host: the plug-in without the authoring application. Loads a
// plug-in the way the host does and lets a person look at it, watch with it
// edit an action with it, or see a whole watch in a demo:
//
//   varnik-host list PLUGIN
//   varnik-host demo PLUGIN [--mount-manager | --broadcast]
//   varnik-host watch PLUGIN [--seconds N] [--json]
//   varnik-host edit PLUGIN [--choices A,B,C] [--value X]
//   varnik-host plug|unplug DRIVE [DRIVE...] [--media | --net] [--folder DIR] [--wait N] [--broadcast]
//   varnik-host log [--follow] [--seconds N] [--json]
//   varnik-host check PLUGIN
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/plugin_host.h"
#include "tools/varnik-host/check.h"
#include "tools/varnik-host/demo.h"
#include "tools/varnik-host/log.h"
#include "tools/varnik-host/output.h"
#include "tools/varnik-host/plugin_file.h"
#include "tools/varnik-host/rehearse.h"

namespace {

const char kUsage[] =
    "usage: varnik-host list PLUGIN\n"
    "       varnik-host demo PLUGIN [--mount-manager | --broadcast]\n"
    "       varnik-host watch PLUGIN [--seconds N] [--json]\n"
    "       varnik-host edit PLUGIN [--choices A,B,C] [--value X]\n"
    "       varnik-host plug DRIVE [DRIVE...] [--media | --net] [--folder DIR] [--wait N] [--broadcast]\n"
    "       varnik-host unplug DRIVE [DRIVE...] [--media | --net] [--folder DIR] [--wait N] [--broadcast]\n"
    "       varnik-host log [--follow] [--seconds N] [--json]\n"
    "       varnik-host check PLUGIN\n"
    "       varnik-host COMMAND --help\n"
    "plug and unplug rehearse without a stick: they send each running watch a\n"
    "volume's arrival or removal and say which watch received it.\n"
    "log prints what running watches saw; check tells whether Varnik works here;\n"
    "demo shows a whole watch, a stick plugged in and taken out.\n";

const char kListHelp[] =
    "usage: varnik-host list PLUGIN\n"
    "Loads PLUGIN and prints what it registers with a host: each action with its\n"
    "number, name, hint (control characters shown as \\r \\n), parameter type codes\n"
    "and counts, then its title, author and description.\n";

const char kWatchHelp[] =
    "usage: varnik-host watch PLUGIN [--seconds N] [--json]\n"
    "Starts a watch and prints a line each time the plug-in has the host run the\n"
    "callback subroutine: status (Init, Plug, UnPlug, End), drive and kind of drive.\n"
    "Runs for N seconds, or until Ctrl+C, then stops the watch cleanly.\n"
    "  --seconds N  stop after N seconds (default: run until Ctrl+C)\n"
    "  --json       one JSON object per line instead of text\n";

const char kEditHelp[] =
    "usage: varnik-host edit PLUGIN [--choices A,B,C] [--value X]\n"
    "Shows the plug-in's edit dialog for dw_USB_Start, as the host's action editor\n"
    "does, and prints the callback name it leaves in the action.\n"
    "  --choices A,B,C  the host's subroutines offered in the list\n"
    "  --value X        the callback name the action holds before the edit\n";

int List(PluginHost& host) {
    host.RegisterAll();
    for (const HostCall& call : host.calls()) {
        const auto* action = std::get_if<AddActionCall>(&call);
        if (!action)
            continue;
        std::printf("action %d %s\n", action->number, action->name ? action->name->c_str() : "");
        std::printf("  hint:   %s\n", Quote(action->hint).c_str());
        std::printf("  codes:  %s\n", action->typeCodes ? HexBytes(*action->typeCodes).c_str() : "none");
        std::printf("  count:  %d, %d\n", action->count, action->countAgain);
    }
    char* texts[3] = {};
    host.plugin().initPlugIn(nullptr, &texts[0], &texts[1], &texts[2]);
    const char* labels[3] = {"title", "author", "description"};
    for (int i = 0; i < 3; ++i) {
        std::printf("%-12s %s\n", labels[i], Quote(texts[i] ? HostText(texts[i]) : std::nullopt).c_str());
        if (texts[i])
            GlobalFree(texts[i]);  // the host owns these blocks
    }
    return 0;
}

// Set by Ctrl+C, on the console's own thread; the pump looks every 50 ms.
volatile LONG g_breakRequested;

BOOL WINAPI OnConsoleBreak(DWORD) {
    InterlockedExchange(&g_breakRequested, 1);
    return TRUE;
}

int Watch(PluginHost& host, int seconds, bool json) {
    host.RegisterAll();
    const char kSubroutine[] = "VarnikHostEvent";
    host.DefineSubroutine(kSubroutine, [&] {
        const std::string status = host.Variable("dw_USB_Status");
        const std::string drive = host.Variable("dw_USB_Drive");
        const std::string kind = host.Variable("dw_USB_Type");
        if (json)
            std::printf("{\"status\": %s, \"drive\": %s, \"type\": %s}\n", Json(status).c_str(),
                        Json(drive).c_str(), Json(kind).c_str());
        else
            std::printf("%-7s %-4s %s\n", status.c_str(), drive.c_str(), kind.c_str());
        std::fflush(stdout);
    });
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    HostParameters start({std::string(kSubroutine)});
    host.plugin().execAction(1, start.data());

    // Broadcasts reach the watcher only while this thread pumps messages.
    PumpMessagesUntil([] { return g_breakRequested != 0; },
                      seconds < 0 ? INFINITE : static_cast<DWORD>(seconds) * 1000);
    HostParameters stop({});
    host.plugin().execAction(2, stop.data());
    return 0;
}

int Edit(PluginHost& host, const std::string& choices, const HostText& value) {
    host.RegisterAll();
    std::string list;
    for (char c : choices)
        list += c == ',' ? std::string("\r\n") : std::string(1, c);
    host.SetSubroutineList(list);
    HostParameters parameters({value});
    host.plugin().editAction(1, parameters.data());
    const HostText result = parameters.Text(0);
    std::printf("%s\n", result ? result->c_str() : "");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    if (command == "log") {
        for (const std::string& arg : args)
            if (arg == "--help" || arg == "-h") {
                std::fputs(kLogHelp, stdout);
                return 0;
            }
        return Log(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    if (command == "check" && args.size() == 2 && args[1] == kSendProbe)
        return SendProbe();
    if (command == "plug" || command == "unplug") {
        const bool arrival = command == "plug";
        for (const std::string& arg : args)
            if (arg == "--help" || arg == "-h") {
                std::fputs(RehearsalHelp(arrival).c_str(), stdout);
                return 0;
            }
        return Rehearse(arrival, std::vector<std::string>(args.begin() + 1, args.end()));
    }
    const char* help = command == "list"    ? kListHelp
                       : command == "demo"  ? kDemoHelp
                       : command == "watch" ? kWatchHelp
                       : command == "edit"  ? kEditHelp
                       : command == "check" ? kCheckHelp
                                            : nullptr;
    if (!help)
        return UsageError("unknown command: " + command, kUsage);

    std::string plugin;
    int seconds = -1;
    bool json = false;
    DemoEvents demoEvents = DemoEvents::kOwnWatcher;
    std::string choices;
    HostText value;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") {
            std::fputs(help, stdout);
            return 0;
        } else if (command == "watch" && arg == "--seconds" && hasValue) {
            if (!ParseSeconds(args[++i], &seconds))
                return UsageError(kSecondsError, help);
        } else if (command == "watch" && arg == "--json") {
            json = true;
        } else if (command == "demo" && (arg == "--mount-manager" || arg == "--broadcast")) {
            const DemoEvents asked =
                arg == "--broadcast" ? DemoEvents::kBroadcast : DemoEvents::kMountManager;
            if (demoEvents != DemoEvents::kOwnWatcher && demoEvents != asked)
                return UsageError("--mount-manager and --broadcast exclude each other", help);
            demoEvents = asked;
        } else if (command == "edit" && arg == "--choices" && hasValue) {
            choices = args[++i];
        } else if (command == "edit" && arg == "--value" && hasValue) {
            value = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("bad option for " + command + ": " + arg, help);
        } else if (plugin.empty()) {
            plugin = arg;
        } else {
            return UsageError("one plug-in at a time: " + arg, help);
        }
    }
    if (plugin.empty())
        return UsageError("no plug-in given", help);
    if (command == "check")
        return Check(plugin);

    PluginHost host;
    std::string error;
    if (!LoadPlugin(host, plugin, &error))
        return Fail(error);
    if (command == "list")
        return List(host);
    if (command == "demo") {
        std::printf("plug-in      %s\n", plugin.c_str());
        List(host);
        return Demo(host, demoEvents);
    }
    if (command == "watch")
        return Watch(host, seconds, json);
    return Edit(host, choices, value);
}
