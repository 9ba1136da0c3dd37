// The plug-in against real system-raised volume events: run under
// scripts/fake-udisks2/with-fake-udisks2, it loads the plug-in in the test host,
// starts a watch as a publication's script does (dw_USB_Start "OnUSB"), asks
// for a fake USB stick to be plugged in and taken out, and lets Wine's own
// mount manager broadcast the arrival and the removal. Why a program of its
// own rather than a GoogleTest case: it talks to the driver through its
// standard output while it pumps messages (broadcasts reach the watcher
// window only while this thread pumps), and the whole exchange is one test.
//
// It checks what the script sees (Init, Plug, UnPlug, End, each once, with the
// pinned drive root and "Media Drive"), the exact host calls, that the drive
// exists while Plug runs and is gone while UnPlug runs, that the watcher's log
// matches the broadcasts, and, with a window of its own that sees the same
// broadcasts, that Wine sent each volume event exactly once.
//
// usage: mount_manager_e2e --plugin=PATH --drive=LETTER
#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/plugin_host.h"

namespace {

const char kSubroutine[] = "OnUSB";
const char kStick[] = "stick1";
const DWORD kEventWaitMs = 30000;
// After the removal: long enough for a doubled or late broadcast to show.
const DWORD kSettleMs = 1000;

struct ScriptEvent {
    std::string status;
    std::string drive;
    std::string type;
    DWORD logicalDrives;  // GetLogicalDrives() while the subroutine ran
};

// A WM_DEVICECHANGE as it reached the observer window.
struct Broadcast {
    WPARAM event;
    bool hasRecord;
    DEV_BROADCAST_VOLUME record;  // the header only, unless a volume record
};

std::vector<Broadcast> g_broadcasts;
std::vector<std::string> g_failures;

void Check(bool ok, const std::string& what) {
    if (!ok)
        g_failures.push_back(what);
}

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", value);
    return text;
}

const char* EventName(WPARAM event) {
    switch (event) {
    case DBT_DEVICEARRIVAL: return "DBT_DEVICEARRIVAL";
    case DBT_DEVICEREMOVECOMPLETE: return "DBT_DEVICEREMOVECOMPLETE";
    case DBT_DEVNODES_CHANGED: return "DBT_DEVNODES_CHANGED";
    default: return "other";
    }
}

LRESULT CALLBACK ObserverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        Broadcast seen = {wParam, lParam != 0, {}};
        if (lParam) {
            // The record lives only for this call.
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
            const size_t size = header->dbch_devicetype == DBT_DEVTYP_VOLUME &&
                                        header->dbch_size >= sizeof(DEV_BROADCAST_VOLUME)
                                    ? sizeof(DEV_BROADCAST_VOLUME)
                                    : sizeof(DEV_BROADCAST_HDR);
            std::memcpy(&seen.record, header, size);
        }
        g_broadcasts.push_back(seen);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden top-level window like the watcher's, independent of the plug-in.
HWND CreateObserver() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ObserverProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VarnikE2eObserver";
    if (!RegisterClassA(&windowClass))
        return nullptr;
    return CreateWindowExA(0, windowClass.lpszClassName, "observer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

// The driver acts on these lines (see scripts/fake-udisks2/with-fake-udisks2).
void Ask(const std::string& request) {
    std::printf("fake-udisks2: %s\n", request.c_str());
    std::fflush(stdout);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    for (size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2)
        lines.push_back(text.substr(begin, end - begin));
    lines.push_back(text.substr(begin));
    return lines;
}

int Run(const std::string& pluginPath, char letter) {
    const std::string root = std::string(1, letter) + ":\\";
    const DWORD driveBit = 1u << (letter - 'A');

    PluginHost host;
    std::string error;
    if (!host.Load(pluginPath, &error)) {
        std::fprintf(stderr, "mount_manager_e2e: %s\n", error.c_str());
        return 1;
    }
    host.RegisterAll();
    host.ClearCalls();

    std::vector<ScriptEvent> events;
    host.DefineSubroutine(kSubroutine, [&] {
        events.push_back({host.Variable("dw_USB_Status"), host.Variable("dw_USB_Drive"),
                          host.Variable("dw_USB_Type"), GetLogicalDrives()});
        const ScriptEvent& e = events.back();
        std::printf("%s runs: dw_USB_Status=%s dw_USB_Drive=%s dw_USB_Type=%s\n", kSubroutine, e.status.c_str(),
                    e.drive.c_str(), e.type.c_str());
        std::fflush(stdout);
    });

    HWND observer = CreateObserver();
    Check(observer != nullptr, "the observer window could not be made");
    Check((GetLogicalDrives() & driveBit) == 0, root + " exists before the stick is plugged in");

    HostParameters start({std::string(kSubroutine)});
    Check(host.plugin().execAction(1, start.data()) == 1, "dw_USB_Start did not answer 1");
    const std::vector<HWND> watchers = WatcherWindows();
    Check(watchers.size() == 1, "dw_USB_Start made " + std::to_string(watchers.size()) + " watcher windows, not 1");

    Ask(std::string("plug ") + kStick + " " + letter);
    if (!PumpMessagesUntil([&] { return events.size() >= 2; }, kEventWaitMs))
        Check(false, "no Plug reached the script within " + std::to_string(kEventWaitMs / 1000) + " s");
    Ask(std::string("unplug ") + kStick);
    if (!PumpMessagesUntil([&] { return events.size() >= 3; }, kEventWaitMs))
        Check(false, "no UnPlug reached the script within " + std::to_string(kEventWaitMs / 1000) + " s");
    PumpMessagesUntil([] { return false; }, kSettleMs);

    const std::string log = watchers.empty() ? "" : WatcherLogText(watchers[0]);
    HostParameters stop({});
    Check(host.plugin().execAction(2, stop.data()) == 1, "dw_USB_Stop did not answer 1");
    Check(WatcherWindows().empty(), "a watcher window is left after dw_USB_Stop");

    // What the script saw, in order, each once.
    const std::vector<std::vector<std::string>> expected = {
        {"Init", "", ""}, {"Plug", root, "Media Drive"}, {"UnPlug", root, "Media Drive"}, {"End", "", ""}};
    Check(events.size() == expected.size(),
          "the script ran " + std::to_string(events.size()) + " times, not " + std::to_string(expected.size()));
    for (size_t i = 0; i < events.size() && i < expected.size(); ++i) {
        const std::vector<std::string> seen = {events[i].status, events[i].drive, events[i].type};
        Check(seen == expected[i], "run " + std::to_string(i + 1) + " saw " + seen[0] + " '" + seen[1] + "' '" +
                                       seen[2] + "', not " + expected[i][0] + " '" + expected[i][1] + "' '" +
                                       expected[i][2] + "'");
    }
    for (const ScriptEvent& e : events) {
        if (e.status == "Plug")
            Check(e.logicalDrives & driveBit, root + " is not a drive while Plug runs");
        if (e.status == "UnPlug")
            Check(!(e.logicalDrives & driveBit), root + " is still a drive while UnPlug runs");
    }

    // Every host call, exactly.
    std::vector<std::string> calls;
    for (const auto& e : expected) {
        const std::vector<std::string> more = ReportCalls(e[0], e[1], e[2], kSubroutine);
        calls.insert(calls.end(), more.begin(), more.end());
    }
    const std::vector<std::string> trace = host.Trace();
    Check(trace == calls, "the host calls differ from Init, Plug, UnPlug, End (see the trace below)");
    Check(host.unhandledLines().empty(), "the plug-in ran a script line other than Gosub \"OnUSB\"");

    // What Wine broadcast, seen by a window of our own.
    int arrivals = 0;
    int removals = 0;
    for (const Broadcast& b : g_broadcasts) {
        std::printf("broadcast %s (0x%04X)", EventName(b.event), static_cast<unsigned>(b.event));
        if (b.hasRecord)
            std::printf(": size %lu, type %lu", b.record.dbcv_size, b.record.dbcv_devicetype);
        if (b.hasRecord && b.record.dbcv_devicetype == DBT_DEVTYP_VOLUME) {
            std::printf(", unit mask 0x%08lX, flags 0x%X", b.record.dbcv_unitmask, b.record.dbcv_flags);
            const bool expectedRecord = b.record.dbcv_size == sizeof(DEV_BROADCAST_VOLUME) &&
                                        b.record.dbcv_unitmask == driveBit &&
                                        b.record.dbcv_flags == DBTF_MEDIA;
            Check(expectedRecord, std::string("a ") + EventName(b.event) + " volume record is not for " + root +
                                      " with DBTF_MEDIA alone: mask " + Hex(b.record.dbcv_unitmask) +
                                      ", flags " + Hex(b.record.dbcv_flags));
            arrivals += b.event == DBT_DEVICEARRIVAL;
            removals += b.event == DBT_DEVICEREMOVECOMPLETE;
        }
        std::printf("\n");
    }
    Check(arrivals == 1, "Wine broadcast " + std::to_string(arrivals) + " volume arrivals, not 1");
    Check(removals == 1, "Wine broadcast " + std::to_string(removals) + " volume removals, not 1");

    // The watcher's log: its first line, then one report per broadcast, with
    // the two volume reports as the plug-in writes them.
    const std::vector<std::string> logLines = SplitLines(log);
    Check(logLines.size() == g_broadcasts.size() + 1,
          "the watcher's log has " + std::to_string(logLines.size() - 1) + " reports for " +
              std::to_string(g_broadcasts.size()) + " broadcasts");
    int arrivalLines = 0;
    int removalLines = 0;
    for (const std::string& line : logLines) {
        arrivalLines += line == VolumeLogLine("DBT_DEVICEARRIVAL", root, "Media Drive");
        removalLines += line == VolumeLogLine("DBT_DEVICEREMOVECOMPLETE", root, "Media Drive");
    }
    Check(arrivalLines == 1 && removalLines == 1, "the watcher's log holds " + std::to_string(arrivalLines) +
                                                      " arrival and " + std::to_string(removalLines) +
                                                      " removal reports for " + root + ", not 1 and 1");

    std::printf("host calls:\n");
    for (const std::string& line : trace)
        std::printf("  %s\n", line.c_str());
    std::printf("watcher log:\n");
    for (const std::string& line : logLines)
        std::printf("  |%s\n", line.c_str());
    for (const std::string& failure : g_failures)
        std::printf("FAIL: %s\n", failure.c_str());
    std::printf("%s\n", g_failures.empty() ? "PASS: Plug and UnPlug from Wine's mount manager reached the script"
                                           : "FAILED");
    if (observer)
        DestroyWindow(observer);
    return g_failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string plugin;
    std::string drive;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--plugin=", 0) == 0)
            plugin = arg.substr(9);
        else if (arg.rfind("--drive=", 0) == 0)
            drive = arg.substr(8);
    }
    if (plugin.empty() || drive.size() != 1 || drive[0] < 'C' || drive[0] > 'Y') {
        std::fprintf(stderr, "usage: mount_manager_e2e --plugin=PATH --drive=LETTER (C to Y)\n");
        return 2;
    }
    return Run(plugin, drive[0]);
}
