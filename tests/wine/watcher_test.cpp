// The device watcher through the exports: starting and stopping a watch,
// volume events broadcast as the system broadcasts them, and a host script
// that re-enters the plug-in from its callback subroutine.
#include <cstdlib>
#include <cstring>
#include <functional>

#include "tests/support/heap_blocks.h"
#include "tests/support/host_blocks.h"
#include "tests/support/import_hook.h"
#include "tests/wine/wine_test.h"
#include "tools/plugin_host/device_broadcast.h"

namespace {

const char kFirstLogText[] = "Unplug and re-seat USB connection to see results";

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class WatcherTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        host.RegisterAll();
        host.ClearCalls();
    }

    // dw_USB_Start "name", as the host's script runs it.
    int Start(const HostText& name) {
        HostParameters parameters({name});
        return host.plugin().execAction(1, parameters.data());
    }
    int Stop() {
        HostParameters parameters({});
        return host.plugin().execAction(2, parameters.data());
    }
    // dw_USB_Start "OnUSB", its host calls forgotten: the watcher window.
    HWND Watch() {
        Start("OnUSB");
        host.ClearCalls();
        return WatcherWindows().at(0);
    }
};

// The start also gives the thread's queue one pass: of two messages
// waiting, the first is dispatched before it returns, the second is not.
TEST_F(WatcherTest, StartReportsInitOnceBeforeItReturns) {
    std::string statusSeen;
    host.DefineSubroutine("OnUSB", [&] { statusSeen = host.Variable("dw_USB_Status"); });
    HWND waiting = CreatePlainDialog();
    ASSERT_TRUE(PostMessageA(waiting, WM_USER + 1, 0, 0));
    ASSERT_TRUE(PostMessageA(waiting, WM_USER + 2, 0, 0));
    EXPECT_EQ(Start("OnUSB"), 1);
    EXPECT_EQ(host.Trace(), ReportCalls("Init", "", "", "OnUSB"));
    EXPECT_EQ(statusSeen, "Init");
    EXPECT_EQ(WatcherWindows().size(), 1u);
    MSG left = {};
    EXPECT_TRUE(PeekMessageA(&left, waiting, WM_USER + 1, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(left.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_FALSE(PeekMessageA(&left, waiting, WM_USER + 1, WM_USER + 2, PM_REMOVE));
    DestroyWindow(waiting);
}

// A window's place and size in its parent's client area, as left, top,
// width, height.
std::vector<LONG> PlacedInParent(HWND window) {
    RECT placed = {};
    GetWindowRect(window, &placed);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&placed), 2);
    return {placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top};
}

INT_PTR CALLBACK HandleNothing(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A hidden dialog of the watcher's size and font, laid out by the system
// from a template with one edit control, id 102, where the log belongs.
HWND SystemLaidOutLog() {
    static const wchar_t kFont[] = L"MS Sans Serif";
    alignas(DWORD) WORD words[64] = {};
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words);
    *header = {WS_POPUP | DS_SETFONT, 0, 1, 70, 70, 750, 230};
    WORD* at = words + sizeof(DLGTEMPLATE) / sizeof(WORD) + 3;  // no menu, the dialog class, no caption
    *at++ = 8;                                                   // points
    std::memcpy(at, kFont, sizeof kFont);
    at += sizeof kFont / sizeof(WORD);
    at = words + ((at - words + 1) & ~1);  // the item starts on a DWORD
    *reinterpret_cast<DLGITEMTEMPLATE*>(at) = {WS_CHILD, 0, 5, 5, 740, 225, 102};
    at += sizeof(DLGITEMTEMPLATE) / sizeof(WORD);
    *at++ = 0xFFFF;
    *at++ = 0x0081;  // the EDIT class; then no text, no creation data
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(words), nullptr,
                                      HandleNothing, 0);
}

TEST_F(WatcherTest, WatcherWindowIsAHiddenDialogWithItsLog) {
    HWND window = Watch();
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowLongA(window, GWL_STYLE), static_cast<LONG>(0x84CF00D4));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);

    // Its size and place come from the template (checked where the template
    // is built); the system fits a dialog that large into the screen.

    HWND log = GetDlgItem(window, 102);
    ASSERT_NE(log, nullptr);
    char className[16] = {};
    GetClassNameA(log, className, sizeof className);
    EXPECT_STREQ(className, "Edit");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(log, GWL_STYLE)) & ~WS_BORDER, 0x503100C4u);
    EXPECT_TRUE(GetWindowLongA(log, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(WindowText(log), kFirstLogText);
    EXPECT_EQ(SendMessageA(log, WM_GETFONT, 0, 0), SendMessageA(window, WM_GETFONT, 0, 0));

    // Where the system itself lays out an edit control at x 5, y 5, 740 wide
    // and 225 high (dialog units) in a dialog with the watcher's font.
    HWND systemLaidOut = SystemLaidOutLog();
    ASSERT_NE(systemLaidOut, nullptr);
    EXPECT_EQ(PlacedInParent(log), PlacedInParent(GetDlgItem(systemLaidOut, 102)));
    DestroyWindow(systemLaidOut);
}

TEST_F(WatcherTest, VolumeArrivalAndRemovalReachTheScript) {
    const struct {
        DWORD mask;
        WORD flags;
        const char* drive;
        const char* kind;
    } rows[] = {
        {1u << 5, 0, "F:\\", "Local Drive"},
        {1u << 4, DBTF_MEDIA, "E:\\", "Media Drive"},
        {(1u << 2) | (1u << 4), DBTF_NET, "C:\\", "Network Drive"},  // the lowest drive only
        {1u << 25, 3, "Z:\\", ""},
        {0, 0, "   ", "Local Drive"},  // no drive: the blanks that open the next entry
    };
    HWND window = Watch();
    std::string expectedLog = kFirstLogText;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.drive);
        host.ClearCalls();
        ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, row.mask, row.flags));
        ASSERT_TRUE(BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, row.mask, row.flags));
        EXPECT_EQ(host.Trace(), Concat(ReportCalls("Plug", row.drive, row.kind, "OnUSB"),
                                       ReportCalls("UnPlug", row.drive, row.kind, "OnUSB")));
        expectedLog += "\r\n" + VolumeLogLine("DBT_DEVICEARRIVAL", row.mask ? row.drive : "", row.kind);
        expectedLog +=
            "\r\n" + VolumeLogLine("DBT_DEVICEREMOVECOMPLETE", row.mask ? row.drive : "", row.kind);
    }
    EXPECT_EQ(WatcherLogText(window), expectedLog);
}

// The log line of a local drive's arrival, drive 0 being A:.
std::string ArrivalLogLine(DWORD drive) {
    return VolumeLogLine("DBT_DEVICEARRIVAL", std::string(1, static_cast<char>('A' + drive)) + ":\\", "Local Drive");
}

// Well past the EDIT control's default 30,000 characters.
TEST_F(WatcherTest, ALongLogKeepsEveryLineForEveryReader) {
    HWND log = GetDlgItem(Watch(), 102);
    const int events = 400;
    std::string expected = kFirstLogText;
    for (int i = 0; i < events; ++i) {
        const DWORD drive = static_cast<DWORD>(i % 26);
        ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << drive, 0));
        expected += "\r\n" + ArrivalLogLine(drive);
    }
    ASSERT_GT(expected.size(), 30000u);
    EXPECT_EQ(SendMessageA(log, EM_GETLINECOUNT, 0, 0), events + 1);
    char line[256] = {};
    *reinterpret_cast<WORD*>(line) = sizeof line;
    const LRESULT copied = SendMessageA(log, EM_GETLINE, events, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(std::string(line, static_cast<size_t>(copied)),
              VolumeLogLine("DBT_DEVICEARRIVAL", "J:\\", "Local Drive"));
    EXPECT_EQ(WindowText(log), expected);
}

// The plug-in's heap, through its import of HeapAlloc: one request refused.
decltype(&HeapAlloc) g_realHeapAlloc;
bool g_refuseNextAllocation;

LPVOID WINAPI RefuseOnce(HANDLE heap, DWORD flags, SIZE_T size) {
    if (g_refuseNextAllocation) {
        g_refuseNextAllocation = false;
        return nullptr;
    }
    return g_realHeapAlloc(heap, flags, size);
}

// Memory refused while the log grows loses that event's line, none other.
TEST_F(WatcherTest, AFailedGrowthLosesOnlyItsOwnLine) {
    HWND log = GetDlgItem(Watch(), 102);
    ASSERT_TRUE(HookImport(host.module(), "KERNEL32.dll", "HeapAlloc", &RefuseOnce, &g_realHeapAlloc));
    g_refuseNextAllocation = false;
    std::string expected = kFirstLogText;
    int refused = -1;
    for (int i = 0; refused < 0 || i < refused + 20; ++i) {
        ASSERT_LT(i, 20000) << "the log never grew";
        g_refuseNextAllocation = g_refuseNextAllocation || i == 20;  // lines before it are waiting
        const DWORD drive = static_cast<DWORD>(i % 26);
        ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << drive, 0));
        if (i >= 20 && refused < 0 && !g_refuseNextAllocation) {
            refused = i;
            continue;
        }
        expected += "\r\n" + ArrivalLogLine(drive);
    }
    EXPECT_EQ(WindowText(log), expected) << "refused while event " << refused << " was logged";
}

TEST_F(WatcherTest, OtherEventsReachOnlyTheLog) {
    HWND window = Watch();

    const DEV_BROADCAST_VOLUME volume = VolumeRecord(1u << 4, 0);
    struct {
        DEV_BROADCAST_HDR header;
        char name[8];
    } port = {{sizeof port, DBT_DEVTYP_PORT, 0}, "COM7"};
    ASSERT_TRUE(BroadcastDeviceChange(DBT_DEVICEQUERYREMOVE, &volume));
    ASSERT_TRUE(BroadcastDeviceChange(DBT_DEVICEREMOVEPENDING, &volume));
    ASSERT_TRUE(BroadcastDeviceChange(DBT_DEVICEARRIVAL, &port));
    ASSERT_TRUE(BroadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE, &port));
    ASSERT_TRUE(BroadcastDeviceChange(DBT_CONFIGCHANGED, nullptr));

    EXPECT_TRUE(host.calls().empty()) << ::testing::PrintToString(host.Trace());
    EXPECT_EQ(WatcherLogText(window),
              std::string(kFirstLogText) +                                                    //
                  "\r\n" + VolumeLogLine("DBT_DEVICEQUERYREMOVE", "E:\\", "Local Drive") +    //
                  "\r\n" + VolumeLogLine("DBT_DEVICEREMOVEPENDING", "E:\\", "Local Drive") +  //
                  "\r\n     WM_DEVICECHANGE      wParam = DBT_DEVICEARRIVAL"
                  "     Device Type: DBT_DEVTYP_PORT     Device Name: COM7"
                  "\r\n     WM_DEVICECHANGE      wParam = DBT_DEVICEREMOVECOMPLETE"
                  "     Device Type: DBT_DEVTYP_PORT     Device Name: COM7"
                  "\r\n     WM_DEVICECHANGE      wParam = DBT_CONFIGCHANGED");
}

TEST_F(WatcherTest, TheDialogsOwnProcedureAnswersEveryMessage) {
    HWND window = Watch();
    HWND plain = CreatePlainDialog();
    ASSERT_NE(plain, nullptr);

    const DEV_BROADCAST_VOLUME volume = VolumeRecord(1u << 4, 0);
    const LPARAM record = reinterpret_cast<LPARAM>(&volume);
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } messages[] = {
        {WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, record},
        {WM_DEVICECHANGE, DBT_DEVICEARRIVAL, record},
        {WM_DEVICECHANGE, DBT_CONFIGCHANGECANCELED, 0},
        {WM_GETDLGCODE, 0, 0},
        {WM_USER + 7, 1, 2},
    };
    for (const auto& m : messages) {
        SCOPED_TRACE(m.message);
        EXPECT_EQ(SendMessageA(window, m.message, m.wParam, m.lParam),
                  SendMessageA(plain, m.message, m.wParam, m.lParam));
    }
    DestroyWindow(plain);
}

TEST_F(WatcherTest, DeactivationSavesTheFocusAndActivationGivesItBack) {
    HWND watcher = Watch();
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND field =
        CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 40, 20, other, nullptr, nullptr, nullptr);
    ASSERT_NE(field, nullptr);
    SetFocus(field);
    ASSERT_EQ(GetFocus(), field);
    SendMessageA(watcher, WM_NCACTIVATE, FALSE, 0);  // saves the focus window
    SetFocus(other);
    SendMessageA(watcher, WM_NCACTIVATE, TRUE, 0);  // gives it back, once
    EXPECT_EQ(GetFocus(), field);
    SetFocus(other);
    SendMessageA(watcher, WM_NCACTIVATE, TRUE, 0);
    EXPECT_EQ(GetFocus(), other) << "the saved window is forgotten after use";
    DestroyWindow(other);
}

TEST_F(WatcherTest, RepeatedDeviceNodeChangesAreNotLogged) {
    HWND window = Watch();
    ASSERT_TRUE(BroadcastDeviceChange(DBT_DEVNODES_CHANGED, nullptr));
    ASSERT_TRUE(BroadcastDeviceChange(DBT_DEVNODES_CHANGED, nullptr));
    EXPECT_EQ(
        WatcherLogText(window),
        std::string(kFirstLogText) + "\r\n     WM_DEVICECHANGE      wParam = DBT_DEVNODES_CHANGED      0");
}

// What a window of this thread is sent, in order: close and destroy only.
HWND g_watched;
std::vector<UINT> g_closeAndDestroy;

LRESULT CALLBACK RecordCloseAndDestroy(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == g_watched && (sent->message == WM_CLOSE || sent->message == WM_DESTROY))
        g_closeAndDestroy.push_back(sent->message);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(WatcherTest, StopClosesTheWindowAndReportsEnd) {
    g_watched = Watch();
    g_closeAndDestroy.clear();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordCloseAndDestroy, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(Stop(), 1);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(g_closeAndDestroy, (std::vector<UINT>{WM_CLOSE, WM_DESTROY})) << "closed, then destroyed";
    EXPECT_EQ(host.Trace(), ReportCalls("End", "", "", "OnUSB"));
    EXPECT_TRUE(WatcherWindows().empty());

    host.ClearCalls();
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, 0));
    EXPECT_TRUE(host.calls().empty()) << "no window, no event";
}

TEST_F(WatcherTest, StopWhileIdleStillReportsEndTwice) {
    EXPECT_EQ(Stop(), 1);
    EXPECT_EQ(Stop(), 1);
    EXPECT_EQ(host.Trace(), Concat(ReportCalls("End", "", "", ""), ReportCalls("End", "", "", "")));
    EXPECT_EQ(host.unhandledLines(), (std::vector<HostText>{"Gosub \"\"", "Gosub \"\""}));
}

TEST_F(WatcherTest, NullOrOddNamesGoIntoTheCommandUnchanged) {
    EXPECT_EQ(Start(std::nullopt), 1);
    EXPECT_EQ(Start("Say \"hi\"\r\n"), 1);
    EXPECT_EQ(host.plugin().execAction(1, nullptr), 1);  // no parameter list: an empty name too
    EXPECT_EQ(host.unhandledLines(),
              (std::vector<HostText>{"Gosub \"\"", "Gosub \"Say \"hi\"\r\n\"", "Gosub \"\""}));
}

TEST_F(WatcherTest, UnknownActionsTouchNothing) {
    ASSERT_TRUE(WatchHostBlocks(host));
    HostParameters parameters({"OnUSB"});
    EXPECT_EQ(host.plugin().execAction(0, parameters.data()), 0);
    EXPECT_EQ(host.plugin().execAction(3, parameters.data()), 0);
    EXPECT_EQ(host.plugin().execAction(-1, nullptr), 0);
    EXPECT_TRUE(host.calls().empty());
    EXPECT_EQ(parameters.Text(0), "OnUSB");
    EXPECT_TRUE(WatcherWindows().empty());
}

TEST_F(WatcherTest, DirectExportsStartAndStopAndReturnNull) {
    EXPECT_EQ(host.plugin().usbStart("Direct"), nullptr);
    EXPECT_EQ(host.plugin().usbStart(nullptr), nullptr);
    EXPECT_EQ(host.plugin().usbStop(), nullptr);
    EXPECT_EQ(host.unhandledLines(), (std::vector<HostText>{"Gosub \"Direct\"", "Gosub \"\"", "Gosub \"\""}));
    EXPECT_EQ(WatcherWindows().size(), 1u) << "the stop closes only the newer window";
}

// Lines after a log's first text, each introduced by CR LF.
std::string LogAfterFirstText(const std::vector<std::string>& lines) {
    std::string log = kFirstLogText;
    for (const std::string& line : lines)
        log += "\r\n" + line;
    return log;
}

// What the host's script does from inside the callback subroutine, in a
// watch for OnUSB that hears E: arrive and go: what the host heard, the
// watcher windows left (oldest first, each with its log's lines), and
// whether the library is unmapped once the host has destroyed those
// windows, stopped and freed it. A window destroyed inside its own procedure
// cannot give its hold on the library back there: when the host has freed
// the library meanwhile, it stays until the host calls it again. Memory
// checked by Wine's heap checking: no record is touched after it is freed.
TEST_F(WatcherTest, WhatTheCallbackDoesRows) {
    HWND window = nullptr;
    auto status = [&] { return host.Variable("dw_USB_Status"); };
    auto plugOf = [&](const char* drive) {
        return status() == "Plug" && host.Variable("dw_USB_Drive") == drive;
    };
    const auto init = ReportCalls("Init", "", "", "OnUSB");
    const auto plugE = ReportCalls("Plug", "E:\\", "Local Drive", "OnUSB");
    const auto plugF = ReportCalls("Plug", "F:\\", "Local Drive", "OnUSB");
    const auto unplugE = ReportCalls("UnPlug", "E:\\", "Local Drive", "OnUSB");
    const auto end = ReportCalls("End", "", "", "OnUSB");
    const std::string arrivalE = VolumeLogLine("DBT_DEVICEARRIVAL", "E:\\", "Local Drive");
    const std::string arrivalF = VolumeLogLine("DBT_DEVICEARRIVAL", "F:\\", "Local Drive");
    const std::string removalE = VolumeLogLine("DBT_DEVICEREMOVECOMPLETE", "E:\\", "Local Drive");
    const struct {
        const char* what;
        bool freedAfterStart;  // the host frees the library as soon as the start returns
        std::function<void()> script;
        std::vector<std::vector<std::string>> trace;
        std::vector<std::vector<std::string>> logs;
        bool unloads;
    } rows[] = {
        {"stops the watch",
         false,
         [&] {
             if (status() == "Plug")
                 Stop();
         },
         {init, plugE, end},
         {},
         true},
        {"starts another watch",
         false,
         [&] {
             if (status() == "Plug")
                 Start("OnUSB");
         },
         {init, plugE, init, unplugE, unplugE},
         {{}, {arrivalE, removalE, removalE}},
         true},
        {"stops and starts again",
         false,
         [&] {
             if (status() == "Plug") {
                 Stop();
                 Start("OnUSB");
             }
         },
         {init, plugE, end, init, unplugE},
         {{arrivalE, removalE}},
         true},
        {"a nested event arrives",
         false,
         [&] {
             if (plugOf("E:\\"))
                 BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 5, 0);
         },
         {init, plugE, plugF, unplugE},
         {{arrivalF, arrivalE, removalE}},
         true},
        {"destroys the window",
         false,
         [&] {
             if (status() == "Plug")
                 DestroyWindow(window);
         },
         {init, plugE},
         {},
         true},
        {"destroys the window inside a nested event",
         false,
         [&] {
             if (plugOf("E:\\"))
                 BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 5, 0);
             else if (plugOf("F:\\"))
                 DestroyWindow(window);
         },
         {init, plugE, plugF},
         {},
         true},
        {"stops the watch in its Init run",
         false,
         [&] {
             if (status() == "Init")
                 Stop();
         },
         {init, end},
         {},
         true},
        {"stops, then the host frees the library",
         false,
         [&] {
             if (status() == "Plug") {
                 Stop();
                 host.Unload();
             }
         },
         {init, plugE, end},
         {},
         false},
        {"frees the library, then destroys the window",
         false,
         [&] {
             if (status() == "Plug") {
                 host.Unload();
                 DestroyWindow(window);
             }
         },
         {init, plugE},
         {},
         false},
        {"loads the library, stops and frees it again",
         true,
         [&] {
             if (status() == "Plug") {
                 std::string error;
                 ASSERT_TRUE(host.Load(PluginPath(), &error)) << error;
                 host.plugin().usbStop();
                 host.Unload();
             }
         },
         {init, plugE, end},
         {},
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string error;
        ASSERT_TRUE(host.Load(PluginPath(), &error)) << error;
        host.RegisterAll();
        host.ClearCalls();
        TrackHeapBlocks(host.module());
        host.DefineSubroutine("OnUSB", row.script);
        window = nullptr;
        Start("OnUSB");
        if (!WatcherWindows().empty())
            window = WatcherWindows()[0];
        if (row.freedAfterStart)
            host.Unload();
        ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, 0));
        ASSERT_TRUE(BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, 1u << 4, 0));

        std::vector<std::string> trace;
        for (const auto& calls : row.trace)
            trace = Concat(trace, calls);
        EXPECT_EQ(host.Trace(), trace);
        const std::vector<HWND> windows = WatcherWindows();
        ASSERT_EQ(windows.size(), row.logs.size());
        for (size_t i = 0; i < windows.size(); ++i)
            EXPECT_EQ(WatcherLogText(windows[i]), LogAfterFirstText(row.logs[i])) << "window " << i;
        EXPECT_EQ(LiveHeapBlocks(), 1 + windows.size())
            << "the callback name's block and each window's record";
        EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "a freed block was written";

        host.DefineSubroutine("OnUSB", [] {});
        for (HWND left : windows)
            DestroyWindow(left);
        if (host.module()) {
            Stop();
            host.Unload();
        }
        EXPECT_EQ(GetModuleHandleA("varnik.nbp") == nullptr, row.unloads);
        ASSERT_TRUE(host.Load(PluginPath(), &error)) << error;
        host.RegisterAll();
        host.Unload();
        ASSERT_EQ(GetModuleHandleA("varnik.nbp"), nullptr) << "gone once the host has called it again";
    }
}

// A host that frees the library and then destroys the watcher window
// itself: the window's hold cannot go back inside its own procedure, so the
// library stays until the host calls it again. A host that loads it again
// starts afresh: its stop runs no name of the earlier watch.
TEST_F(WatcherTest, AWatchTheHostEndedItselfIsNotTheNextLoads) {
    HWND window = Watch();
    host.Unload();
    DestroyWindow(window);
    EXPECT_NE(GetModuleHandleA("varnik.nbp"), nullptr) << "kept until the host calls it again";
    std::string error;
    ASSERT_TRUE(host.Load(PluginPath(), &error)) << error;
    host.RegisterAll();
    host.ClearCalls();
    Stop();
    EXPECT_EQ(host.Trace(), ReportCalls("End", "", "", ""));
    host.Unload();
    EXPECT_EQ(GetModuleHandleA("varnik.nbp"), nullptr);
}

// Lines still waiting for the earlier window's log when the newer window
// starts go to that earlier log.
TEST_F(WatcherTest, TwoStartsHandleEachEventTwiceForTheNewerName) {
    Start("A");
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, 0));
    Start("B");
    std::vector<HWND> windows = WatcherWindows();
    ASSERT_EQ(windows.size(), 2u);
    host.ClearCalls();
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, 1u << 4, 0));
    const std::vector<std::string> once = ReportCalls("UnPlug", "E:\\", "Local Drive", "B");
    EXPECT_EQ(host.Trace(), Concat(once, once));
    const std::string arrival = "\r\n" + VolumeLogLine("DBT_DEVICEARRIVAL", "E:\\", "Local Drive");
    const std::string removal = "\r\n" + VolumeLogLine("DBT_DEVICEREMOVECOMPLETE", "E:\\", "Local Drive");
    EXPECT_EQ(WatcherLogText(windows[1]), kFirstLogText + removal + removal);
    EXPECT_EQ(WatcherLogText(windows[0]), kFirstLogText + arrival);

    Stop();
    EXPECT_EQ(WatcherWindows(), std::vector<HWND>{windows[0]});
    host.ClearCalls();
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, 1u << 4, 0));
    EXPECT_EQ(host.Trace(), once);
    EXPECT_EQ(WatcherLogText(windows[0]), kFirstLogText + arrival) << "no log is current any more";
}

// The test program itself, run again, loads the plug-in for a watch of its
// own and broadcasts from its own process: the two copies share nothing, not
// the callbacks, not the name, not the window.
TEST_F(WatcherTest, AnotherProcessSharesNothingAndItsEventsArrive) {
    Watch();
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --second-process \"--plugin=" + PluginPath() + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    // The sender waits for our answer: keep the messages moving until it ends.
    PumpMessagesUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 30000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(host.Trace(), ReportCalls("Plug", "H:\\", "Media Drive", "OnUSB"));
}

// The plug-in's device registration, watched through its import table.
struct Registration {
    std::string filter;
    DWORD flags;
    HDEVNOTIFY handle;
};
std::vector<Registration> g_registrations;
std::vector<HDEVNOTIFY> g_unregistered;
bool g_refuseRegistration;
decltype(&RegisterDeviceNotificationA) g_realRegister;
decltype(&UnregisterDeviceNotification) g_realUnregister;

HDEVNOTIFY WINAPI RecordRegister(HANDLE recipient, LPVOID filter, DWORD flags) {
    const DWORD size = *static_cast<const DWORD*>(filter);
    HDEVNOTIFY handle = g_refuseRegistration ? nullptr : g_realRegister(recipient, filter, flags);
    g_registrations.push_back({std::string(static_cast<const char*>(filter), size), flags, handle});
    return handle;
}

BOOL WINAPI RecordUnregister(HDEVNOTIFY handle) {
    g_unregistered.push_back(handle);
    return g_realUnregister(handle);
}

// The template the plug-in hands CreateDialogIndirectParamA, as words.
decltype(&CreateDialogIndirectParamA) g_realCreateDialog;
std::vector<WORD> g_template;
HINSTANCE g_dialogInstance;
HWND g_dialogOwner = reinterpret_cast<HWND>(1);

HWND WINAPI RecordCreateDialog(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner, DLGPROC proc,
                               LPARAM param) {
    g_dialogInstance = instance;
    g_dialogOwner = owner;
    const WORD* words = reinterpret_cast<const WORD*>(dialogTemplate);
    size_t count = sizeof(DLGTEMPLATE) / sizeof(WORD) + 2;  // header, menu, class
    for (int strings = 0; strings < 2; ++count)             // caption, font name
        if (words[count] == 0)
            ++strings;
    g_template.assign(words, words + count);
    HWND dialog = g_realCreateDialog(instance, dialogTemplate, owner, proc, param);
    if (WindowText(dialog) == "USB Watcher Plugin")
        PostMessageA(dialog, WM_CLOSE, 0, 0);  // the edit dialog's loop ends it at once
    return dialog;
}

std::vector<WORD> Words(const DLGTEMPLATE& header) {
    const WORD* words = reinterpret_cast<const WORD*>(&header);
    return std::vector<WORD>(words, words + sizeof header / sizeof(WORD));
}

void AppendWide(std::vector<WORD>& words, const char* text) {
    do
        words.push_back(static_cast<unsigned char>(*text));
    while (*text++);
}

HWND WINAPI FailToCreateDialog(HINSTANCE, LPCDLGTEMPLATEA, HWND, DLGPROC, LPARAM) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

class RegistrationTest : public WatcherTest {
protected:
    void SetUp() override {
        WatcherTest::SetUp();
        g_registrations.clear();
        g_unregistered.clear();
        g_refuseRegistration = false;
        ASSERT_TRUE(HookImport(host.module(), "USER32.dll", "RegisterDeviceNotificationA", &RecordRegister,
                               &g_realRegister));
        ASSERT_TRUE(HookImport(host.module(), "USER32.dll", "UnregisterDeviceNotification", &RecordUnregister,
                               &g_realUnregister));
    }
};

TEST_F(RegistrationTest, RegistersForAllInterfaceClassesOnlyWhileStarting) {
    Start("OnUSB");
    ASSERT_EQ(g_registrations.size(), 1u);
    const Registration& r = g_registrations[0];
    std::string expected(288, '\0');
    expected[0] = 0x20;  // 288, little-endian
    expected[1] = 0x01;
    expected[4] = 5;  // DBT_DEVTYP_DEVICEINTERFACE
    EXPECT_EQ(r.filter, expected);
    EXPECT_EQ(r.flags, 4u);
    ASSERT_NE(r.handle, nullptr) << "Wine accepted the registration";
    EXPECT_EQ(g_unregistered, std::vector<HDEVNOTIFY>{r.handle}) << "cancelled before the start returns";

    // A start from inside the "Init" run: each start cancels its own.
    g_registrations.clear();
    g_unregistered.clear();
    host.DefineSubroutine("Outer", [&] { Start("Inner"); });
    Start("Outer");
    ASSERT_EQ(g_registrations.size(), 2u);
    EXPECT_EQ(g_unregistered, (std::vector<HDEVNOTIFY>{g_registrations[1].handle, g_registrations[0].handle}));
}

// Both dialogs: no items, no menu, the standard class, MS Sans Serif at 8
// points, never WS_VISIBLE; the edit dialog is laid out in pixels afterwards.
TEST_F(RegistrationTest, BothDialogsComeFromExactTemplates) {
    ASSERT_TRUE(HookImport(host.module(), "USER32.dll", "CreateDialogIndirectParamA", &RecordCreateDialog,
                           &g_realCreateDialog));
    const struct {
        const char* caption;
        DLGTEMPLATE header;
        std::function<void()> open;
    } rows[] = {
        {"Dialog1", {0x84CF00D4, WS_EX_CONTROLPARENT, 0, 70, 70, 750, 230}, [&] { Start("OnUSB"); }},
        {"USB Watcher Plugin",
         {WS_SYSMENU | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK, WS_EX_TOPMOST, 0, 0, 0, 200, 100},
         [&] {
             HostParameters parameters({std::string("OnUSB")});
             host.plugin().editAction(1, parameters.data());
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.caption);
        g_template.clear();
        g_dialogOwner = reinterpret_cast<HWND>(1);
        row.open();
        std::vector<WORD> expected = Words(row.header);
        expected.push_back(0);  // no menu
        expected.push_back(0);  // the standard dialog class
        AppendWide(expected, row.caption);
        expected.push_back(8);
        AppendWide(expected, "MS Sans Serif");
        EXPECT_EQ(g_template, expected);
        EXPECT_EQ(g_dialogInstance, host.module());
        EXPECT_EQ(g_dialogOwner, nullptr);
    }
}

TEST_F(RegistrationTest, ARefusedRegistrationChangesNothingVisible) {
    g_refuseRegistration = true;
    Start("OnUSB");
    EXPECT_EQ(host.Trace(), ReportCalls("Init", "", "", "OnUSB"));
    EXPECT_TRUE(g_unregistered.empty()) << "nothing to cancel";
    host.ClearCalls();
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, 0));
    EXPECT_EQ(host.Trace(), ReportCalls("Plug", "E:\\", "Local Drive", "OnUSB"));
}

TEST_F(RegistrationTest, AWindowThatCannotBeCreatedLeavesTheWatcherIdle) {
    ASSERT_TRUE(HookImport(host.module(), "USER32.dll", "CreateDialogIndirectParamA", &FailToCreateDialog,
                           &g_realCreateDialog));
    TrackHeapBlocks(host.module());
    Start("OnUSB");
    EXPECT_EQ(host.Trace(), ReportCalls("Init", "", "", "OnUSB"));
    EXPECT_TRUE(g_registrations.empty());
    EXPECT_TRUE(WatcherWindows().empty());
    EXPECT_EQ(LiveHeapBlocks(), 1u) << "the callback name's block alone: no record kept";
    host.ClearCalls();
    Stop();
    EXPECT_EQ(host.Trace(), ReportCalls("End", "", "", "OnUSB"));
}

BOOL WINAPI FailToHoldModule(DWORD, LPCSTR, HMODULE* module) {
    *module = nullptr;
    return FALSE;
}

// A hold on the library that failed is not released: the host's stays.
TEST_F(WatcherTest, AHoldThatFailedReleasesNothing) {
    ASSERT_NE(HookImport(host.module(), "KERNEL32.dll", "GetModuleHandleExA",
                         reinterpret_cast<void*>(FailToHoldModule)),
              nullptr);
    Start("OnUSB");
    Stop();
    char path[MAX_PATH] = {};
    EXPECT_NE(GetModuleFileNameA(host.module(), path, MAX_PATH), 0u) << "the library is still loaded";
}

// The host may free the library while a watch runs; the watcher window must
// not be left with a procedure in unmapped code.
TEST_F(WatcherTest, FreeingTheLibraryWhileWatchingIsSafe) {
    Watch();
    host.Unload();
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, 0));
    ASSERT_TRUE(BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, 1u << 4, 0));
    EXPECT_EQ(host.Trace(), Concat(ReportCalls("Plug", "E:\\", "Local Drive", "OnUSB"),
                                   ReportCalls("UnPlug", "E:\\", "Local Drive", "OnUSB")));
    EXPECT_EQ(WatcherLogText(WatcherWindows().at(0)).substr(0, sizeof kFirstLogText - 1), kFirstLogText);
}

}  // namespace
