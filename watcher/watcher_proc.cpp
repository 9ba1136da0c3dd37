#include <windows.h>

#include <string>

#include "plugin/host_calls.h"
#include "report/event_report.h"
#include "watcher/volume_event.h"
#include "watcher/watcher_command.h"
#include "watcher/watcher_log.h"
#include "watcher/watcher_proc.h"
#include "watcher/watcher_state.h"

namespace {

void ReportVolume(const char* status, const VolumeEvent& event) {
    SetHostVariable("dw_USB_Status", status);
    SetHostVariable("dw_USB_Drive", event.drive);
    SetHostVariable("dw_USB_Type", event.kind);
    RunHostScriptCommand(BuildWatcherCommand(g_callbackName));
}

}  // namespace

void HandleVolumeEvent(std::string report) {
    const VolumeEvent event = ReadVolumeEvent(report);
    if (event.arrival)
        ReportVolume("Plug", event);
    if (event.removal)
        ReportVolume("UnPlug", event);
    // The host may have stopped or restarted the watch meanwhile: the line
    // goes to whichever log is current now.
    AppendToWatcherLog(report);
}

LRESULT CALLBACK WatcherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
        try {
            // Numbers are 32 bits on every build; lParam is a record address
            // or, for device-node changes, a number.
            const auto code = static_cast<int32_t>(static_cast<uint32_t>(wParam));
            std::string report = BuildEventReport(code, static_cast<std::uintptr_t>(lParam));
            if (!report.empty())
                HandleVolumeEvent(std::move(report));
        } catch (...) {
        }
    }
    return CallWindowProcA(g_previousWindowProc, window, message, wParam, lParam);
}
