// The cost of one volume event under Wine, two ways, each next to its floor:
//
// - direct: SendMessage of the arrival to the watcher window, against a
//   dialog made from the same in-memory template and subclassed the same
//   way, which passes WM_DEVICECHANGE on to its dialog procedure and makes
//   the same four host calls;
// - broadcast: SendMessageTimeout to HWND_BROADCAST, against a bare
//   top-level window making the same four host calls; on a fresh watch,
//   and with 100, 10,000 and 100,000 events already logged. Afterwards the
//   log must hold every line.
//
// Both sides talk to the same host, whose callbacks do nothing. Each ratio
// is of medians: the direct sends alternate with their floor's, and the
// broadcast goal alternates a fresh watch with a bare window in rounds.
//
// varnik-broadcast-bench PLUGIN [SAMPLES]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/plugin_library.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

const DEV_BROADCAST_VOLUME kDriveE = VolumeRecord(1u << 4, DBTF_MEDIA);

// Adds the time of one arrival, in microseconds, the mean of a run of
// `run`: Wine's clock ticks every 0.1 us, a tenth of a direct send.
template <typename Send>
void Time(std::vector<double>* times, Send send, int run = 1) {
    const double start = Now();
    for (int i = 0; i < run; ++i)
        send();
    times->push_back((Now() - start) * 1e6 / run);
}

template <typename Send>
void TimeRepeatedly(int count, Send send, std::vector<double>* times) {
    for (int i = 0; i < count; ++i)
        Time(times, send);
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The host: its callbacks do nothing, for the plug-in and the floors alike.
void CALLBACK HostSetVariable(const char*, const char*) {}
void CALLBACK HostScript(const char*) {}
SetVariableFn volatile g_setVariable = HostSetVariable;
ScriptFn volatile g_script = HostScript;

void FourHostCalls() {
    g_setVariable("dw_USB_Status", "Plug");
    g_setVariable("dw_USB_Drive", "E:\\");
    g_setVariable("dw_USB_Type", "Media Drive");
    g_script("Gosub \"OnUSB\"");
}

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL)
        FourHostCalls();
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateBareWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VarnikBareWindow";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "VarnikBareWindow", "bare", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

// The floor of the direct path: the watcher's own template, subclassed as
// the watcher is, the previous procedure kept in the window's own data.
INT_PTR CALLBACK FloorDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE && wParam == DBT_DEVICEARRIVAL)
        FourHostCalls();
    const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

void AppendWide(std::vector<WORD>& words, const char* text) {
    for (; *text; ++text)
        words.push_back(static_cast<unsigned char>(*text));
    words.push_back(0);
}

HWND CreateFloorDialog() {
    DLGTEMPLATE header = {0x84CF00D4, WS_EX_CONTROLPARENT, 0, 70, 70, 750, 230};
    std::vector<WORD> words(sizeof header / sizeof(WORD));
    std::memcpy(words.data(), &header, sizeof header);
    words.push_back(0);  // no menu
    words.push_back(0);  // the standard dialog class
    AppendWide(words, "Dialog1");
    words.push_back(8);
    AppendWide(words, "MS Sans Serif");
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), nullptr,
                                             FloorDialogProc, 0);
    SetWindowLongPtrA(dialog, GWLP_USERDATA,
                      SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FloorWindowProc)));
    return dialog;
}

void SendArrival(HWND window) {
    SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&kDriveE));
}

void BroadcastArrival() {
    BroadcastDeviceChange(DBT_DEVICEARRIVAL, &kDriveE);
}

void MeasureBroadcastFloor(int samples, std::vector<double>* times) {
    HWND bare = CreateBareWindow();
    TimeRepeatedly(samples, BroadcastArrival, times);
    DestroyWindow(bare);
}

void PrintRatio(const char* what, double us, double floorUs) {
    std::printf("%-46s %9.2f us %9.2f us %7.2fx\n", what, us, floorUs, us / floorUs);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnik-broadcast-bench PLUGIN [SAMPLES]\n");
        return 2;
    }
    const int samples = argc > 2 ? std::max(10, std::atoi(argv[2])) : 400;
    PluginLibrary plugin;
    std::string error;
    if (!LoadPluginLibrary(argv[1], &plugin, &error)) {
        std::fprintf(stderr, "varnik-broadcast-bench: %s\n", error.c_str());
        return 1;
    }

    plugin.exports.registerPlugIn(nullptr, nullptr, nullptr, HostSetVariable);
    plugin.exports.registerScriptProcessor(HostScript);

    // The broadcast goal: a bare window alone and a fresh watch alone take
    // turns in rounds, so that a machine whose speed drifts (an emulated one
    // does) weighs on both alike.
    const int kRounds = 10;
    std::vector<double> broadcastFloorTimes, freshWatchTimes;
    for (int round = 0; round < kRounds; ++round) {
        MeasureBroadcastFloor(samples / kRounds, &broadcastFloorTimes);
        plugin.exports.usbStart("OnUSB");
        TimeRepeatedly(samples / kRounds, BroadcastArrival, &freshWatchTimes);
        plugin.exports.usbStop();
    }

    plugin.exports.usbStart("OnUSB");
    const std::vector<HWND> watchers = WatcherWindows();
    if (watchers.size() != 1) {
        std::fprintf(stderr, "varnik-broadcast-bench: no watcher window\n");
        return 1;
    }
    HWND watcher = watchers[0];

    // The direct floor lives beside the watch: the two take turns.
    HWND floorDialog = CreateFloorDialog();
    const int kDirectRun = 10;
    std::vector<double> directTimes, directFloorTimes;
    for (int i = 0; i < samples; ++i) {
        Time(&directTimes, [&] { SendArrival(watcher); }, kDirectRun);
        Time(&directFloorTimes, [&] { SendArrival(floorDialog); }, kDirectRun);
    }
    DestroyWindow(floorDialog);
    int sent = samples * kDirectRun;
    std::vector<std::pair<std::string, double>> broadcastRows = {
        {"broadcast, fresh watch (goal 1.5x)", Median(freshWatchTimes)}};
    for (int logged : {100, 10000, 100000}) {
        while (sent < logged) {
            BroadcastArrival();
            ++sent;
        }
        std::vector<double> times;
        TimeRepeatedly(samples, BroadcastArrival, &times);
        sent += samples;
        char label[64];
        std::snprintf(label, sizeof label, "broadcast, %d logged", logged);
        broadcastRows.emplace_back(label, Median(times));
    }

    const double readStart = Now();  // the lines still waiting go into the control
    const std::string log = WatcherLogText(watcher);
    const double readMs = (Now() - readStart) * 1e3;
    size_t lines = 1;
    for (size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2))
        ++lines;
    size_t at = 0;
    for (int shown = 0; shown < 10 && (at = log.find("\r\n", at)) != std::string::npos; at += 2) {
        const std::string line = log.substr(at + 2, log.find("\r\n", at + 2) - at - 2);
        if (line.find("DBT_DEVICEARRIVAL") == std::string::npos) {
            std::printf("other: %s\n", line.c_str());
            ++shown;
        }
    }
    std::printf("log: %zu lines for %d events (%s), %zu bytes, read in %.0f ms\n", lines, sent,
                lines == static_cast<size_t>(sent) + 1 ? "every line" : "LINES MISSING", log.size(), readMs);
    plugin.exports.usbStop();
    FreePluginLibrary(&plugin);

    std::printf("%-46s %12s %12s %8s\n", "one volume arrival", "varnik", "floor", "ratio");
    PrintRatio("direct send (goal 1.5x)", Median(directTimes), Median(directFloorTimes));
    for (const auto& row : broadcastRows)
        PrintRatio(row.first.c_str(), row.second, Median(broadcastFloorTimes));
    return lines == static_cast<size_t>(sent) + 1 ? 0 : 1;
}
