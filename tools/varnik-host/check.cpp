#include "tools/varnik-host/check.h"

#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <vector>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/plugin_host.h"
#include "tools/plugin_host/process_usage.h"
#include "tools/plugin_host/reload_cycles.h"
#include "tools/varnik-host/plugin_file.h"

const char kCheckHelp[] =
    "usage: varnik-host check PLUGIN\n"
    "Does Varnik work on this machine? Six steps, each on a line that ends in \"ok\"\n"
    "or \"FAILED: <why>\", then a verdict; exits 0 only when every step passed:\n"
    "  1. PLUGIN loads as a plug-in for this varnik-host's architecture\n"
    "  2. it registers dw_USB_Start and dw_USB_Stop with their exact names, hints\n"
    "     and parameter codes, and hands back its identity texts\n"
    "  3. a watch starts, and the callback runs once with \"Init\"\n"
    "  4. a rehearsed arrival and removal of drive E:, sent to this check's own\n"
    "     watcher window alone, run the callback with \"Plug\", then \"UnPlug\" of\n"
    "     E:\\; no other program hears of them. Then a second varnik-host (check\n"
    "     --send-probe) broadcasts DBT_DEVNODES_CHANGED, the routine \"devices\n"
    "     changed\" event that carries no record, and the hidden watcher window's log\n"
    "     shows that the system delivered it there. Programs that keep a list of\n"
    "     devices refresh it; the event runs no callback in any publication\n"
    "  5. the watch stops with \"End\"\n"
    "  6. loading and freeing it again and again keeps nothing: no block of the\n"
    "     process heap (counted with HeapWalk), no memory, TLS index, handle, GDI or\n"
    "     USER object. Handles are counted by GetProcessHandleCount, GDI and USER\n"
    "     objects by GetGuiResources; where those answer 0 (Wine), the step says\n"
    "     what it counted instead\n"
    "What check cannot prove: it shows that the plug-in and the message path work\n"
    "on this machine, not that the system raises volume events for a given stick.\n"
    "For that, run varnik-host watch PLUGIN and plug the stick in, or varnik-host\n"
    "log while the publication runs.\n";

const char kSendProbe[] = "--send-probe";

namespace {

const int kSteps = 6;
const char kSubroutine[] = "VarnikCheck";
// Rehearsals reach this check's own watcher windows alone: any letter will do.
const char kLetter = 'E';
const DWORD kLetterMask = 1u << (kLetter - 'A');
// The second process's probe: the event the system itself broadcasts
// whenever a device is added or removed. It carries no record, and programs
// answer it by refreshing a list, so one more changes nothing anywhere.
const WPARAM kProbeEvent = DBT_DEVNODES_CHANGED;
// What the watcher log shows for it.
const char kProbeLine[] = "     WM_DEVICECHANGE      wParam = DBT_DEVNODES_CHANGED      0";
const DWORD kProbeMilliseconds = 60000;

struct ExpectedAction {
    int number;
    const char* name;
    const char* hint;
    const char* codes;  // the type codes and the zero byte after them
    int count;
};
const ExpectedAction kActions[] = {
    {1, "dw_USB_Start", "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"", "\x01", 1},
    {2, "dw_USB_Stop", "Stops the USB Control \r\ndw_USB_Stop ", "", 0},
};
const char* const kIdentity[3] = {"Varnik 1.0", "Varnik developers", "USB Storage Checker"};
const char* const kIdentityNames[3] = {"title", "author", "description"};

int g_failed;

void Report(int step, const std::string& what, const std::string& why) {
    std::printf("%d. %s: %s\n", step, what.c_str(), why.empty() ? "ok" : ("FAILED: " + why).c_str());
    std::fflush(stdout);
    if (!why.empty())
        ++g_failed;
}

// "" when `actual` is `expected`; otherwise both, quoted.
std::string Compare(const std::string& what, const HostText& actual, const std::string& expected) {
    if (actual == expected)
        return "";
    return what + " is " + Quote(actual) + ", expected " + Quote(expected);
}

std::string CheckRegistration(PluginHost& host) {
    host.RegisterAll();
    std::vector<AddActionCall> actions;
    for (const HostCall& call : host.calls())
        if (const auto* action = std::get_if<AddActionCall>(&call))
            actions.push_back(*action);
    if (actions.size() != 2)
        return "it registered " + std::to_string(actions.size()) + " actions, expected 2";
    for (size_t i = 0; i < 2; ++i) {
        const ExpectedAction& expected = kActions[i];
        const AddActionCall& action = actions[i];
        const std::string label = "action " + std::to_string(i + 1) + "'s ";
        std::string why =
            action.number == expected.number ? "" : label + "number is " + std::to_string(action.number);
        if (why.empty())
            why = Compare(label + "name", action.name, expected.name);
        if (why.empty())
            why = Compare(label + "hint", action.hint, expected.hint);
        if (why.empty() &&
            (!action.typeCodes || *action.typeCodes != std::string(expected.codes, expected.count + 1)))
            why = label + "parameter codes are " + (action.typeCodes ? HexBytes(*action.typeCodes) : "null");
        if (why.empty() && (action.count != expected.count || action.countAgain != expected.count))
            why = label + "parameter counts are " + std::to_string(action.count) + ", " +
                  std::to_string(action.countAgain);
        if (!why.empty())
            return why;
    }
    char* texts[3] = {};
    host.plugin().initPlugIn(nullptr, &texts[0], &texts[1], &texts[2]);
    std::string why;
    for (int i = 0; i < 3; ++i) {
        if (why.empty())
            why = Compare(kIdentityNames[i], texts[i] ? HostText(texts[i]) : std::nullopt, kIdentity[i]);
        if (texts[i])
            GlobalFree(texts[i]);  // the host owns these blocks
    }
    return why;
}

// Each run of the callback subroutine as the three variables it saw.
std::vector<std::string> g_runs;

std::string Run(const std::string& status, const std::string& drive, const std::string& kind) {
    return Quote(status) + " " + Quote(drive) + " " + Quote(kind);
}

std::string Joined(const std::vector<std::string>& runs) {
    std::string text;
    for (const std::string& run : runs)
        text += (text.empty() ? "" : ", then ") + run;
    return text;
}

// "" when the callback ran exactly `expected` since run `from`.
std::string CompareRuns(size_t from, const std::vector<std::string>& expected) {
    const std::vector<std::string> runs(g_runs.begin() + static_cast<long>(from), g_runs.end());
    if (runs == expected)
        return "";
    return "the callback ran " + (runs.empty() ? std::string("not at all") : "with " + Joined(runs)) +
           "; expected " + Joined(expected);
}

std::string CheckStart(PluginHost& host) {
    host.DefineSubroutine(kSubroutine, [&host] {
        g_runs.push_back(
            Run(host.Variable("dw_USB_Status"), host.Variable("dw_USB_Drive"), host.Variable("dw_USB_Type")));
    });
    HostParameters start({std::string(kSubroutine)});
    const int answer = host.plugin().execAction(1, start.data());
    std::string why = CompareRuns(0, {Run("Init", "", "")});
    if (why.empty() && WatcherWindows().size() != 1)
        why = "no watcher window is open";
    if (why.empty() && answer != 1)
        why = "dw_USB_Start returned " + std::to_string(answer);
    return why;
}

size_t CountOf(const std::string& text, const std::string& line) {
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size()))
        ++count;
    return count;
}

// Does the system deliver a broadcast from another process to the hidden
// watcher window? The sender's own windows it calls directly, so a second
// varnik-host sends it. DBT_DEVNODES_CHANGED runs no callback, here or in
// any publication: the watcher log alone shows that it came.
std::string CheckSystemDelivery(HWND watcher) {
    const size_t runs = g_runs.size();
    const size_t seen = CountOf(WatcherLogText(watcher), kProbeLine);
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    std::string commandLine = "\"" + std::string(self, length) + "\" check " + kSendProbe;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (length == 0 || length == sizeof self ||
        !CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child))
        return "a second varnik-host did not start: error " + std::to_string(GetLastError());
    CloseHandle(child.hThread);
    // The broadcast reaches the watcher window only while this thread reads
    // its messages.
    const bool ended = PumpMessagesUntil(
        [&child] { return WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0; }, kProbeMilliseconds);
    DWORD exitCode = 0;
    if (!ended)
        TerminateProcess(child.hProcess, 1);
    else
        GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    const bool delivered = CountOf(WatcherLogText(watcher), kProbeLine) > seen;
    if (g_runs.size() != runs)
        return "DBT_DEVNODES_CHANGED ran the callback with " +
               Joined(std::vector<std::string>(g_runs.begin() + static_cast<long>(runs), g_runs.end()));
    if (delivered)
        return "";
    if (!ended)
        return "a second varnik-host's broadcast had not reached the watcher window after " +
               std::to_string(kProbeMilliseconds / 1000) + " seconds";
    if (exitCode != 0)
        return "a second varnik-host could not broadcast: error " + std::to_string(exitCode);
    return "a broadcast from a second varnik-host did not reach the hidden watcher window";
}

std::string CheckRehearsal() {
    const std::vector<HWND> watchers = WatcherWindows();
    if (watchers.empty())
        return "no watcher window is open";
    const std::string root = std::string(1, kLetter) + ":\\";
    const size_t from = g_runs.size();
    SendVolumeToWatchers(DBT_DEVICEARRIVAL, kLetterMask, 0);
    SendVolumeToWatchers(DBT_DEVICEREMOVECOMPLETE, kLetterMask, 0);
    const std::string why =
        CompareRuns(from, {Run("Plug", root, "Local Drive"), Run("UnPlug", root, "Local Drive")});
    return why.empty() ? CheckSystemDelivery(watchers.front()) : why;
}

std::string CheckStop(PluginHost& host) {
    const size_t from = g_runs.size();
    HostParameters stop({});
    host.plugin().execAction(2, stop.data());
    std::string why = CompareRuns(from, {Run("End", "", "")});
    if (why.empty() && !WatcherWindows().empty())
        why = "a watcher window is still open";
    return why;
}

std::string CheckReloads(const std::string& path) {
    for (const ReloadCycle& cycle : ReloadCycles(path, 200, 50)) {
        std::string error;
        const UsageKept kept =
            MeasureUsageKept([&] { return cycle.run(&error); }, 5, cycle.count, cycle.heapBytesPerRun);
        if (kept.failedRun >= 0)
            return cycle.name + std::string(", run ") + std::to_string(kept.failedRun + 1) + ": " + error;
        if (!KeepsNothing(kept))
            return std::to_string(cycle.count) + " " + cycle.name + " kept " + DescribeKept(kept);
    }
    return "";
}

}  // namespace

int Check(const std::string& path) {
    g_failed = 0;
    {
        PluginHost host;
        std::string error;
        const bool loaded = LoadPlugin(host, path, &error);
        Report(1, std::string("loads as a plug-in for ") + OwnArchitecture(), error);
        if (!loaded) {
            std::printf("FAILED at step 1 of %d: the other steps need a plug-in that loads\n", kSteps);
            return 1;
        }
        Report(2, "registers dw_USB_Start and dw_USB_Stop and hands back its identity texts",
               CheckRegistration(host));
        Report(3, "a watch starts and runs the callback once with \"Init\"", CheckStart(host));
        Report(4,
               std::string("Plug and UnPlug of ") + kLetter +
                   ": reach this check's watcher alone; "
                   "a second process's broadcast reaches it",
               CheckRehearsal());
        Report(5, "the watch stops with \"End\"", CheckStop(host));
    }
    std::printf("   counted: %s\n", DescribeMeasures(Measures()).c_str());
    Report(6, "loading and freeing it again and again keeps nothing", CheckReloads(path));
    if (g_failed == 0)
        std::printf(
            "ok: all %d steps passed: the plug-in and the message path work on this machine "
            "(whether it raises volume events for a given stick is not shown: see check --help)\n",
            kSteps);
    else
        std::printf("FAILED: %d of %d steps failed\n", g_failed, kSteps);
    return g_failed == 0 ? 0 : 1;
}

int SendProbe() {
    if (BroadcastDeviceChange(kProbeEvent, nullptr))
        return 0;
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<int>(error) : 1;
}
