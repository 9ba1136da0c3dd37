// test-windows KIND [PLUGIN]: puts on the desktop a window that varnik-host
// meets on a client's machine, prints "ready" once it is there, and runs
// until it is killed. Each of the first four is a "Dialog1" with an edit
// control 102 whose text begins like a watcher log:
//   long-length    answers WM_GETTEXTLENGTH with 0x3FFFFFF0
//   full-buffer    fills the whole buffer of every WM_GETTEXT
//   overcount      answers WM_GETTEXT with a watcher log's first two lines and
//                  a count 100 beyond the buffer
//   recorder       prints each volume event it receives: "event 0x8000 mask
//                  0x00000030 flags 0"
//   slow-watch     a watch of the plug-in PLUGIN whose callback takes 3 s
//   pumping-watch  one whose callback reads messages for 4 s, as a message
//                  box does
// and one that acts on another program's window, then ends:
//   edit-choices   waits for the edit dialog, prints each entry of its list
//                  ("choice OnStick"), then closes it with its close box
#include <windows.h>

#include <dbt.h>

#include <cstdio>
#include <string>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/plugin_host.h"

namespace {

const wchar_t kFirstLine[] = L"Unplug and re-seat USB connection to see results";
WNDPROC g_editProc;
WNDPROC g_dialogProc;

LRESULT CALLBACK LongLength(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH)
        return 0x3FFFFFF0;
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

LRESULT CALLBACK FullBuffer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_GETTEXT || wParam == 0)
        return CallWindowProcW(g_editProc, window, message, wParam, lParam);
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    const std::wstring head = std::wstring(kFirstLine) + L"\r\n";
    for (WPARAM i = 0; i + 1 < wParam; ++i)
        buffer[i] = i < head.size() ? head[i] : L'x';
    buffer[wParam - 1] = L'\0';
    return static_cast<LRESULT>(wParam - 1);
}

LRESULT CALLBACK Overcount(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_GETTEXT || wParam == 0)
        return CallWindowProcW(g_editProc, window, message, wParam, lParam);
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    const std::wstring text =
        std::wstring(kFirstLine) + L"\r\n     WM_DEVICECHANGE      wParam = DBT_CONFIGCHANGED";
    for (WPARAM i = 0; i < wParam; ++i)
        buffer[i] = i < text.size() ? text[i] : L'\0';
    return static_cast<LRESULT>(wParam + 100);
}

LRESULT CALLBACK Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(lParam);
    if (message == WM_DEVICECHANGE && volume && volume->dbcv_devicetype == DBT_DEVTYP_VOLUME) {
        std::printf("event 0x%04X mask 0x%08lX flags %u\n", static_cast<unsigned>(wParam),
                    static_cast<unsigned long>(volume->dbcv_unitmask), volume->dbcv_flags);
        std::fflush(stdout);
    }
    return CallWindowProcW(g_dialogProc, window, message, wParam, lParam);
}

void ShowLookAlike(const std::string& kind) {
    HWND dialog = CreateWindowExW(0, L"#32770", L"Dialog1", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", kFirstLine, WS_CHILD | ES_MULTILINE, 0, 0, 90, 90, dialog,
                                reinterpret_cast<HMENU>(102), nullptr, nullptr);
    if (kind == "recorder")
        g_dialogProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Recorder)));
    else
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(kind == "long-length" ? LongLength
                                                         : kind == "overcount" ? Overcount
                                                                               : FullBuffer)));
}

// The edit dialog's list as another program reads it, one line per entry;
// then the close box, which leaves the action as it was.
int PrintEditChoices() {
    // Found once it shows, with its list filled.
    HWND dialog = nullptr;
    HWND combo = nullptr;
    PumpMessagesUntil(
        [&] {
            dialog = FindWindowW(L"#32770", L"USB Watcher Plugin");
            combo = dialog && IsWindowVisible(dialog) ? GetDlgItem(dialog, 122) : nullptr;
            return combo && SendMessageW(combo, CB_GETCOUNT, 0, 0) > 0;
        },
        60000);
    if (!combo) {
        std::fprintf(stderr, "no edit dialog with its list\n");
        return 1;
    }
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[256] = {};
        if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 256)
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        std::printf("choice %ls\n", entry);
    }
    std::fflush(stdout);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    if (kind == "edit-choices")
        return PrintEditChoices();
    PluginHost host;
    if ((kind == "slow-watch" || kind == "pumping-watch") && argc == 3) {
        std::string error;
        if (!host.Load(argv[2], &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        host.RegisterAll();
        if (kind == "slow-watch")
            host.DefineSubroutine("OnUSB", [] { Sleep(3000); });
        else
            host.DefineSubroutine("OnUSB", [] { PumpMessagesUntil([] { return false; }, 4000); });
        HostParameters start({std::string("OnUSB")});
        host.plugin().execAction(1, start.data());
    } else if (kind == "long-length" || kind == "full-buffer" || kind == "overcount" || kind == "recorder") {
        ShowLookAlike(kind);
    } else {
        std::fprintf(stderr,
                     "usage: test-windows "
                     "long-length|full-buffer|overcount|recorder|slow-watch|pumping-watch PLUGIN\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    PumpMessagesUntil([] { return false; }, INFINITE);
    return 0;
}
