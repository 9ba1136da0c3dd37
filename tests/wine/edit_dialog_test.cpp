// The edit dialog through nbEditAction, driven by a timer on the test's own
// thread while the plug-in's modal loop runs, as a person at the keyboard
// would drive it.
#include <cstdlib>
#include <cstring>
#include <functional>

#include "tests/support/host_blocks.h"
#include "tests/support/import_hook.h"
#include "tests/wine/wine_test.h"
#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/process_usage.h"

namespace {

using Step = std::function<void(HWND dialog)>;

// The steps still to run, one per tick once the dialog exists.
std::vector<Step> g_steps;
size_t g_nextStep;
int g_idleTicks;
bool g_timedOut;

HWND FindEditDialog() {
    return FindWindowA("#32770", "USB Watcher Plugin");
}

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindEditDialog();
    if (!dialog)
        return;
    if (g_nextStep < g_steps.size()) {
        g_steps[g_nextStep++](dialog);
        return;
    }
    if (++g_idleTicks > 100) {  // every step ran and the dialog is still open
        g_timedOut = true;
        SendMessageA(dialog, WM_CLOSE, 0, 0);
    }
}

HWND Combo(HWND dialog) {
    return GetDlgItem(dialog, 122);
}

std::vector<std::string> ComboItems(HWND dialog) {
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(Combo(dialog), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char item[256] = {};
        SendMessageA(Combo(dialog), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items.push_back(item);
    }
    return items;
}

// The other edit dialog open beside `dialog`, if any.
HWND OtherEditDialog(HWND dialog) {
    for (HWND other = nullptr; (other = FindWindowExA(nullptr, other, "#32770", "USB Watcher Plugin"));)
        if (other != dialog)
            return other;
    return nullptr;
}

const Step kPressDone = [](HWND dialog) { SendMessageA(GetDlgItem(dialog, 100), BM_CLICK, 0, 0); };
const Step kCloseBox = [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
Step Type(const std::string& text) {
    return [text](HWND dialog) { SetWindowTextA(Combo(dialog), text.c_str()); };
}
// A key pressed and let go in the window that has the focus.
Step Key(WPARAM vk) {
    return [vk](HWND) {
        PostMessageA(GetFocus(), WM_KEYDOWN, vk, 0);
        PostMessageA(GetFocus(), WM_KEYUP, vk, 0);
    };
}

class EditDialogTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        host.RegisterAll();
        host.SetSubroutineList(std::string("OnUSB\r\nOnStick"));
        host.ClearCalls();
    }

    // nbEditAction with the steps acting on the dialog while it is open.
    int Edit(int action, HostParameters& parameters, std::vector<Step> steps) {
        g_steps = std::move(steps);
        g_nextStep = 0;
        g_idleTicks = 0;
        g_timedOut = false;
        const UINT_PTR timer = SetTimer(nullptr, 0, 1, DriveDialog);
        const int result = host.plugin().editAction(action, parameters.data());
        KillTimer(nullptr, timer);
        EXPECT_FALSE(g_timedOut) << "the dialog did not end after its last step";
        EXPECT_EQ(g_nextStep, g_steps.size()) << "the dialog ended before every step ran";
        EXPECT_EQ(FindEditDialog(), nullptr) << "the dialog outlived nbEditAction";
        return result;
    }
};

TEST_F(EditDialogTest, OffersTheHostsSubroutinesSortedUpToTheFirstEmptyLine) {
    host.SetSubroutineList(std::string("B\r\nA\r\n\r\nC"));
    HostParameters parameters({std::string("OnUSB")});
    std::vector<std::string> items;
    std::string text;
    EXPECT_EQ(Edit(1, parameters,
                   {[&](HWND dialog) {
                        items = ComboItems(dialog);
                        text = WindowText(Combo(dialog));
                    },
                    kCloseBox}),
              1);
    EXPECT_EQ(items, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(text, "OnUSB");
    EXPECT_EQ(host.Trace(), std::vector<std::string>{"interface-access 5 zero-filled"});
}

TEST_F(EditDialogTest, TheHostIsAskedBeforeTheDialogExists) {
    bool dialogSeen = true;
    host.WhileListingSubroutines([&] { dialogSeen = FindEditDialog() != nullptr; });
    HostParameters parameters({std::string("OnUSB")});
    Edit(1, parameters, {kCloseBox});
    EXPECT_FALSE(dialogSeen);
}

TEST_F(EditDialogTest, AValueTheHostReplacesWhileListingIsShownAsItWas) {
    HostParameters parameters({std::string("OnUSB")});
    host.WhileListingSubroutines([&] {
        char* const old = parameters.data()[0];
        std::memset(old, 'X', sizeof "OnUSB" - 1);  // whatever the freed block holds later
        GlobalFree(old);
        parameters.data()[0] = AllocHostText("Replaced");
    });
    std::string shown;
    Edit(1, parameters, {[&](HWND dialog) { shown = WindowText(Combo(dialog)); }, kCloseBox});
    EXPECT_EQ(shown, "OnUSB");
    EXPECT_EQ(parameters.Text(0), "Replaced") << "the close box leaves the host's new block alone";
}

LPVOID WINAPI RefuseHeapAlloc(HANDLE, DWORD, SIZE_T) {
    return nullptr;
}
LPVOID WINAPI RefuseHeapReAlloc(HANDLE, DWORD, LPVOID, SIZE_T) {
    return nullptr;
}

// Done frees the host's old block, if any, and stores a name that is not
// empty in a fresh GPTR block; an empty one leaves null. With the heap
// refusing every block, the box still shows the name and Done keeps it.
TEST_F(EditDialogTest, DoneStoresTheNameInAFreshHostBlock) {
    ASSERT_TRUE(WatchHostBlocks(host));
    const Step chooseSecond = [](HWND dialog) { SendMessageA(Combo(dialog), CB_SETCURSEL, 1, 0); };
    const Step nothing = [](HWND) {};
    const struct {
        const char* what;
        HostText before;
        Step edit;
        HostText after;
        bool heapRefuses;  // from this row on
    } rows[] = {
        {"typed", "OnUSB", Type("MySub"), "MySub", false},
        {"chosen", std::nullopt, chooseSecond, "OnUSB", false},  // sorted: OnStick, OnUSB
        {"emptied", "OnUSB", Type(""), std::nullopt, false},
        {"unchanged, no heap", "OnUSB", nothing, "OnUSB", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.heapRefuses) {
            ASSERT_TRUE(HookImport(host.module(), "KERNEL32.dll", "HeapAlloc",
                                   reinterpret_cast<void*>(RefuseHeapAlloc)));
            ASSERT_TRUE(HookImport(host.module(), "KERNEL32.dll", "HeapReAlloc",
                                   reinterpret_cast<void*>(RefuseHeapReAlloc)));
        }
        host.ClearCalls();
        HostParameters parameters({row.before});
        void* const oldBlock = parameters.data()[0];
        EXPECT_EQ(Edit(1, parameters, {row.edit, kPressDone}), 1);
        EXPECT_EQ(parameters.Text(0), row.after);
        const std::vector<HostCall>& calls = host.calls();
        ASSERT_EQ(calls.size(), 1u + (row.before ? 1 : 0) + (row.after ? 1 : 0))
            << ::testing::PrintToString(host.Trace());
        if (row.before) {
            EXPECT_EQ(std::get<GlobalFreeCall>(calls[1]).block, oldBlock);
        }
        if (row.after) {
            EXPECT_EQ(std::get<GlobalAllocCall>(calls.back()).flags, static_cast<UINT>(GPTR));
            EXPECT_EQ(std::get<GlobalAllocCall>(calls.back()).bytes, row.after->size() + 1);
        }
    }
}

TEST_F(EditDialogTest, TheCloseBoxLeavesTheParameterAsItWas) {
    // An earlier edit of this process, ended with Done, must not count.
    HostParameters earlier({std::string("Earlier")});
    Edit(1, earlier, {Type("Confirmed"), kPressDone});
    ASSERT_EQ(earlier.Text(0), "Confirmed");
    host.ClearCalls();
    ASSERT_TRUE(WatchHostBlocks(host));
    HostParameters parameters({std::string("OnUSB")});
    char* const oldBlock = parameters.data()[0];
    EXPECT_EQ(Edit(1, parameters, {Type("Other"), kCloseBox}), 1);
    EXPECT_EQ(parameters.data()[0], oldBlock);
    EXPECT_EQ(parameters.Text(0), "OnUSB");
    EXPECT_EQ(host.Trace(), std::vector<std::string>{"interface-access 5 zero-filled"});
}

// The dialog's loop offers keys to the dialog manager: Tab moves on, Esc
// and Enter press nothing.
TEST_F(EditDialogTest, TabMovesTheFocusEscAndEnterDoNotPressDone) {
    HostParameters parameters({std::string("OnUSB")});
    bool stillOpen = false;
    bool doneHasFocus = false;
    Edit(1, parameters,
         {Type("Typed"), Key(VK_ESCAPE), Key(VK_RETURN),
          [&](HWND dialog) { stillOpen = IsWindow(dialog) != 0; }, Key(VK_TAB),
          [&](HWND dialog) { doneHasFocus = GetFocus() == GetDlgItem(dialog, 100); }, kCloseBox});
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(doneHasFocus) << "Tab from the combo box reaches Done";
    EXPECT_EQ(parameters.Text(0), "OnUSB");
}

TEST_F(EditDialogTest, WithoutInterfaceAccessTheListIsEmptyAndTheDialogOpens) {
    host.Unload();
    std::string error;
    ASSERT_TRUE(host.Load(PluginPath(), &error)) << error;
    host.RegisterPlugIn();
    host.RegisterScriptProcessor();
    host.ClearCalls();
    HostParameters parameters({std::string("OnUSB")});
    std::vector<std::string> items = {"not read"};
    Edit(1, parameters, {[&](HWND dialog) { items = ComboItems(dialog); }, Type("X"), kPressDone});
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(parameters.Text(0), "X");
}

TEST_F(EditDialogTest, OnlyActionOneHasADialog) {
    ASSERT_TRUE(WatchHostBlocks(host));
    HostParameters parameters({std::string("OnUSB")});
    EXPECT_EQ(host.plugin().editAction(2, parameters.data()), 1);
    EXPECT_EQ(host.plugin().editAction(0, parameters.data()), 0);
    EXPECT_EQ(host.plugin().editAction(3, parameters.data()), 0);
    EXPECT_EQ(host.plugin().editAction(3, nullptr), 0);
    EXPECT_TRUE(host.calls().empty()) << ::testing::PrintToString(host.Trace());
    EXPECT_EQ(parameters.Text(0), "OnUSB");
    EXPECT_EQ(FindEditDialog(), nullptr);
}

struct Control {
    int id;
    std::string className;
    std::string text;
    DWORD style;
    RECT box;  // in the dialog's client area
    bool dialogFont;
};

Control Describe(HWND dialog, HWND control) {
    Control c = {};
    c.id = GetDlgCtrlID(control);
    char className[32] = {};
    GetClassNameA(control, className, sizeof className);
    c.className = className;
    c.text = WindowText(control);
    c.style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
    GetWindowRect(control, &c.box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.box), 2);
    c.dialogFont = SendMessageA(control, WM_GETFONT, 0, 0) == SendMessageA(dialog, WM_GETFONT, 0, 0);
    return c;
}

TEST_F(EditDialogTest, TheDialogLooksExactlyAsDesigned) {
    HostParameters parameters({std::string("OnUSB")});
    std::string caption;
    DWORD style = 0, exStyle = 0;
    RECT client = {}, frame = {};
    POINT clientOrigin = {};
    HWND owner = reinterpret_cast<HWND>(1);
    bool visible = false;
    std::vector<Control> controls;
    Edit(1, parameters,
         {[&](HWND dialog) {
              caption = WindowText(dialog);
              style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
              exStyle = static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE));
              GetClientRect(dialog, &client);
              GetWindowRect(dialog, &frame);
              ClientToScreen(dialog, &clientOrigin);
              owner = GetWindow(dialog, GW_OWNER);
              visible = IsWindowVisible(dialog) != 0;
              for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                  controls.push_back(Describe(dialog, c));
          },
          kCloseBox});
    EXPECT_EQ(caption, "USB Watcher Plugin");
    EXPECT_TRUE(visible);
    EXPECT_EQ(owner, nullptr);
    // The system adds a caption bar to a window that is neither popup nor child.
    EXPECT_EQ(style & ~(WS_CAPTION | WS_CLIPSIBLINGS | WS_VISIBLE),
              static_cast<DWORD>(WS_SYSMENU | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK));
    EXPECT_EQ(style & (WS_POPUP | WS_CHILD), 0u);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_EQ(frame.left, 300);
    EXPECT_EQ(frame.top, 300);
    EXPECT_EQ(client.right, 340);
    EXPECT_EQ(client.bottom, 160);

    ASSERT_EQ(controls.size(), 3u);
    const struct {
        int id;
        const char* className;
        const char* text;
        DWORD style;
        RECT box;
    } expected[] = {
        {111, "Static", "Neo Function", WS_CHILD | WS_VISIBLE, {20, 79, 110, 99}},
        {122,
         "ComboBox",
         "OnUSB",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT,
         {120, 74, 240, 0}},
        {100, "Button", "Done", WS_CHILD | WS_VISIBLE | WS_TABSTOP, {130, 124, 230, 148}},
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].id);
        const Control& c = controls[i];  // in creation order
        EXPECT_EQ(c.id, expected[i].id);
        EXPECT_EQ(c.className, expected[i].className);
        EXPECT_EQ(c.text, expected[i].text);
        EXPECT_EQ(c.style, expected[i].style);
        EXPECT_EQ(c.box.left, expected[i].box.left);
        EXPECT_EQ(c.box.top, expected[i].box.top);
        EXPECT_EQ(c.box.right, expected[i].box.right);
        if (expected[i].box.bottom) {  // a drop-down combo box is as high as its edit field
            EXPECT_EQ(c.box.bottom, expected[i].box.bottom);
        }
        EXPECT_TRUE(c.dialogFont);
    }
}

COLORREF BrushColour(INT_PTR brush) {
    LOGBRUSH logBrush = {};
    GetObjectA(reinterpret_cast<HBRUSH>(brush), sizeof logBrush, &logBrush);
    return logBrush.lbColor;
}

// What a dialog answers a WM_CTLCOLOR message for one of its windows: the
// brush, and the colours it left in the device context.
struct ColourAnswer {
    LRESULT brush;
    COLORREF text;
    COLORREF back;
};
ColourAnswer AskColours(HWND dialog, UINT message, HWND control) {
    HDC dc = GetDC(dialog);
    ColourAnswer answer = {};
    answer.brush =
        SendMessageA(dialog, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    answer.text = GetTextColor(dc);
    answer.back = GetBkColor(dc);
    ReleaseDC(dialog, dc);
    return answer;
}

// The brushes a dialog answers for its background and its label.
std::pair<COLORREF, COLORREF> DialogColours(HWND dialog) {
    return {BrushColour(AskColours(dialog, WM_CTLCOLORDLG, dialog).brush),
            BrushColour(AskColours(dialog, WM_CTLCOLORSTATIC, GetDlgItem(dialog, 111)).brush)};
}

// The dialog has no owner, so a second action editor can open a second edit
// dialog while the first is open. Each keeps its own outcome, colours and
// keyboard handling, whichever ends first and however.
TEST_F(EditDialogTest, TwoDialogsOpenAtOnceNeverMix) {
    const std::pair<COLORREF, COLORREF> designed = {RGB(250, 245, 255), RGB(245, 245, 255)};
    const struct {
        const char* order;
        bool innerDone;  // or closed by its close box
        bool outerDone;
        bool outerEndsFirst;
    } rows[] = {
        {"inner Done, then outer closed", true, false, false},
        {"outer Done while inner open, then inner closed", false, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.order);
        HostParameters outer({std::string("Outer")});
        HostParameters inner({std::string("Inner")});
        std::pair<COLORREF, COLORREF> outerColours;
        bool outerTabReachedDone = false;
        HWND outerDialog = nullptr;  // the only one open when the first step runs
        const Step openInner = [&](HWND dialog) {
            outerDialog = dialog;
            host.plugin().editAction(1, inner.data());
        };
        const Step endInner = [&](HWND) {
            HWND innerDialog = OtherEditDialog(outerDialog);
            SetWindowTextA(Combo(innerDialog), "typed inside");
            (row.innerDone ? kPressDone : kCloseBox)(innerDialog);
        };
        const Step endOuterFirst = [&](HWND) {
            SetWindowTextA(Combo(outerDialog), "typed outside");
            (row.outerDone ? kPressDone : kCloseBox)(outerDialog);
        };
        const Step tabInOuter = [&](HWND) {
            SetFocus(Combo(outerDialog));
            Key(VK_TAB)(outerDialog);
        };
        const Step endOuter = [&](HWND) {
            outerColours = DialogColours(outerDialog);
            outerTabReachedDone = GetFocus() == GetDlgItem(outerDialog, 100);
            endOuterFirst(outerDialog);
        };
        if (row.outerEndsFirst)
            Edit(1, outer, {openInner, endOuterFirst, endInner});
        else
            Edit(1, outer, {openInner, endInner, tabInOuter, endOuter});
        EXPECT_EQ(inner.Text(0), row.innerDone ? "typed inside" : "Inner");
        EXPECT_EQ(outer.Text(0), row.outerDone ? "typed outside" : "Outer");
        if (!row.outerEndsFirst) {
            EXPECT_EQ(outerColours, designed) << "after the inner dialog ended";
            EXPECT_TRUE(outerTabReachedDone) << "Tab in the outer dialog after the inner one ended";
        }
    }
}

TEST_F(EditDialogTest, BackgroundAndLabelColours) {
    HostParameters parameters({std::string("OnUSB")});
    std::pair<COLORREF, COLORREF> brushes;
    ColourAnswer label = {}, combo = {};
    Edit(1, parameters,
         {[&](HWND dialog) {
              brushes = DialogColours(dialog);
              label = AskColours(dialog, WM_CTLCOLORSTATIC, GetDlgItem(dialog, 111));
              combo = AskColours(dialog, WM_CTLCOLORSTATIC, Combo(dialog));
          },
          kCloseBox});
    EXPECT_EQ(brushes, std::make_pair(RGB(250, 245, 255), RGB(245, 245, 255)));
    EXPECT_EQ(label.text, RGB(5, 5, 5));
    EXPECT_EQ(label.back, RGB(245, 245, 255));
    // Other controls keep the system's own brush, as in any dialog.
    HWND plain = CreatePlainDialog();
    HWND plainChild =
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 1, 1, plain, nullptr, nullptr, nullptr);
    const LRESULT systemBrush = AskColours(plain, WM_CTLCOLORSTATIC, plainChild).brush;
    DestroyWindow(plain);
    EXPECT_NE(systemBrush, 0);
    EXPECT_EQ(combo.brush, systemBrush);
}

TEST_F(EditDialogTest, AWatchGoesOnWhileTheDialogIsOpen) {
    HostParameters start({std::string("OnUSB")});
    host.plugin().execAction(1, start.data());
    HWND watcher = WatcherWindows().at(0);
    host.ClearCalls();
    HostParameters parameters({std::string("OnUSB")});
    Edit(1, parameters, {[](HWND) { BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 4, DBTF_MEDIA); }, kCloseBox});
    EXPECT_EQ(host.Trace(), (std::vector<std::string>{
                                "interface-access 5 zero-filled",
                                "set dw_USB_Status = \"Plug\"",
                                "set dw_USB_Drive = \"E:\\\\\"",
                                "set dw_USB_Type = \"Media Drive\"",
                                "script \"Gosub \\\"OnUSB\\\"\"",
                            }));
    EXPECT_EQ(WatcherWindows(), std::vector<HWND>{watcher}) << "the watcher window is untouched";
    host.ClearCalls();
    HostParameters stop({});
    host.plugin().execAction(2, stop.data());
    EXPECT_TRUE(WatcherWindows().empty());
    EXPECT_EQ(host.Trace().front(), "set dw_USB_Status = \"End\"");
}

TEST_F(EditDialogTest, AQuitMessageEndsTheDialogAndReachesTheHostsLoop) {
    HostParameters parameters({std::string("OnUSB")});
    Edit(1, parameters, {Type("Typed"), [](HWND) { PostQuitMessage(7); }});
    EXPECT_EQ(parameters.Text(0), "OnUSB") << "ended as if closed";
    MSG msg = {};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

// GDI objects the plug-in creates and deletes, seen through its imports.
int g_gdiCreated;
int g_gdiDeleted;
decltype(&CreateSolidBrush) g_realCreateSolidBrush;
decltype(&DeleteObject) g_realDeleteObject;

HBRUSH WINAPI CountCreateSolidBrush(COLORREF colour) {
    ++g_gdiCreated;
    return g_realCreateSolidBrush(colour);
}

BOOL WINAPI CountDeleteObject(HGDIOBJ object) {
    ++g_gdiDeleted;
    return g_realDeleteObject(object);
}

TEST_F(EditDialogTest, RepeatedEditsLeaveNoGdiObjectsBehind) {
    ASSERT_TRUE(HookImport(host.module(), "GDI32.dll", "CreateSolidBrush", &CountCreateSolidBrush,
                           &g_realCreateSolidBrush));
    ASSERT_TRUE(
        HookImport(host.module(), "GDI32.dll", "DeleteObject", &CountDeleteObject, &g_realDeleteObject));
    // A thousand when VARNIK_EDIT_CYCLES=1000 (about 35 ms each under Wine).
    const char* cyclesSetting = std::getenv("VARNIK_EDIT_CYCLES");
    const int cycles = cyclesSetting ? std::atoi(cyclesSetting) : 100;
    // The system keeps what the first dialog brings in (Wine: 46 GDI objects).
    const UsageKept kept = MeasureUsageKept(
        [&] {
            HostParameters parameters({std::string("OnUSB")});
            Edit(1, parameters, {kPressDone});
            return !HasFailure();
        },
        1, cycles);
    EXPECT_EQ(kept.failedRun, -1);
    EXPECT_GT(g_gdiCreated, 0);
    EXPECT_EQ(g_gdiDeleted, g_gdiCreated);
    EXPECT_TRUE(KeepsNothing(kept)) << DescribeKept(kept) << " (" << DescribeMeasures(Measures()) << ")";
    std::printf("GDI objects: %d created, %d deleted\n", g_gdiCreated, g_gdiDeleted);
}

}  // namespace
