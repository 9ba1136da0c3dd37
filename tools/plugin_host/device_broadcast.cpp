#include "tools/plugin_host/device_broadcast.h"

#include <algorithm>

DEV_BROADCAST_VOLUME VolumeRecord(DWORD unitMask, WORD flags) {
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitMask;
    volume.dbcv_flags = flags;
    return volume;
}

bool BroadcastDeviceChange(WPARAM event, const void* record) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record),
                               SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

bool BroadcastVolume(WPARAM event, DWORD unitMask, WORD flags) {
    const DEV_BROADCAST_VOLUME volume = VolumeRecord(unitMask, flags);
    return BroadcastDeviceChange(event, &volume);
}

namespace {

BOOL CALLBACK CollectWatcherWindow(HWND window, LPARAM found) {
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770" && WindowText(window) == "Dialog1")
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> WatcherWindows() {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectWatcherWindow, reinterpret_cast<LPARAM>(&found));
    std::reverse(found.begin(), found.end());  // enumeration runs newest first
    return found;
}

void SendVolumeToWatchers(WPARAM event, DWORD unitMask, WORD flags) {
    DEV_BROADCAST_VOLUME volume = VolumeRecord(unitMask, flags);
    for (HWND window : WatcherWindows())
        SendMessageA(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
    const int copied = GetWindowTextA(window, &text[0], static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

std::string WatcherLogText(HWND watcherWindow) {
    return WindowText(GetDlgItem(watcherWindow, 102));
}

std::string VolumeLogLine(const std::string& event, const std::string& drive, const std::string& kind) {
    return "     WM_DEVICECHANGE      wParam = " + event +
           "     Device Type: DBT_DEVTYP_VOLUME     Device Name: " + drive + "     Drive Info:" + kind;
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (milliseconds != INFINITE && elapsed >= milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(50, milliseconds - elapsed),
                                  QS_ALLINPUT);
    }
}
