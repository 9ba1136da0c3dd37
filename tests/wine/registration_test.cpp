// Registration and identity through the exports, as the host calls them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "tests/support/heap_blocks.h"
#include "tests/support/host_blocks.h"
#include "tests/wine/wine_test.h"
#include "tools/plugin_host/device_broadcast.h"
#include "tools/plugin_host/process_usage.h"
#include "tools/plugin_host/reload_cycles.h"

namespace {

// The hints as designed: the start hint 61 bytes with one CR LF and two
// quotes and no other control character, the stop hint 36 ending in a blank.
constexpr char kStartHint[] = "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"";
constexpr char kStopHint[] = "Stops the USB Control \r\ndw_USB_Stop ";

constexpr int CountOf(const char* text, char what) {
    return *text ? (*text == what) + CountOf(text + 1, what) : 0;
}
constexpr int ControlCharacters(const char* text) {
    return *text ? (static_cast<unsigned char>(*text) < 0x20) + ControlCharacters(text + 1) : 0;
}
static_assert(sizeof kStartHint - 1 == 61 && CountOf(kStartHint, '\r') == 1 &&
                  CountOf(kStartHint, '\n') == 1 && CountOf(kStartHint, '"') == 2 &&
                  ControlCharacters(kStartHint) == 2,
              "the start hint as designed");
static_assert(sizeof kStopHint - 1 == 36 && kStopHint[sizeof kStopHint - 2] == ' ',
              "the stop hint as designed");

// A second host's add-action callback, to see which one a registration uses,
// and a first one that registers the second from inside its own call.
std::vector<std::string> g_registered;
const PluginExports* g_plugin;
void CALLBACK OtherAddAction(int number, const char*, const char*, const char*, int, int) {
    g_registered.push_back("other " + std::to_string(number));
}
void CALLBACK ReRegisteringAddAction(int number, const char*, const char*, const char*, int, int) {
    g_registered.push_back("first " + std::to_string(number));
    if (number == 1)
        g_plugin->registerPlugIn(OtherAddAction, nullptr, nullptr, nullptr);
}

// Every byte of both actions: names, hints, type codes (a zero byte even for
// no parameter), counts.
TEST_F(PluginTest, RegistersBothActionsInTableOrder) {
    host.RegisterPlugIn();
    EXPECT_EQ(
        host.Trace(),
        (std::vector<std::string>{
            "add-action 1 \"dw_USB_Start\" hint " + Quote(kStartHint) + " codes \"\\x01\\x00\" count 1 1",
            "add-action 2 \"dw_USB_Stop\" hint " + Quote(kStopHint) + " codes \"\\x00\" count 0 0",
        }));
}

TEST_F(PluginTest, SecondRegistrationRegistersAgainThroughTheNewCallback) {
    host.RegisterPlugIn();
    host.ClearCalls();
    g_registered.clear();
    host.plugin().registerPlugIn(OtherAddAction, nullptr, nullptr, nullptr);
    EXPECT_EQ(g_registered, (std::vector<std::string>{"other 1", "other 2"}));
    EXPECT_TRUE(host.calls().empty());

    // From inside the call, the rest of the outer registration goes to the
    // callback stored meanwhile.
    g_registered.clear();
    g_plugin = &host.plugin();
    host.plugin().registerPlugIn(ReRegisteringAddAction, nullptr, nullptr, nullptr);
    EXPECT_EQ(g_registered, (std::vector<std::string>{"first 1", "other 1", "other 2", "other 2"}));
}

TEST_F(PluginTest, NullAddActionCallbackRegistersNothing) {
    host.plugin().registerPlugIn(nullptr, nullptr, nullptr, nullptr);
    host.RegisterScriptProcessor();
    host.RegisterInterfaceAccess();
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(PluginTest, IdentityTextsArriveInFixedZeroTerminatedHostBlocks) {
    char* texts[3] = {};
    host.plugin().initPlugIn(nullptr, &texts[0], &texts[1], &texts[2]);
    const std::string expected[3] = {"Varnik 1.0", "Varnik developers", "USB Storage Checker"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i]);
        ASSERT_NE(texts[i], nullptr);
        EXPECT_EQ(GlobalSize(texts[i]), expected[i].size() + 1);
        EXPECT_EQ(std::string(texts[i], expected[i].size() + 1), expected[i] + '\0');
        EXPECT_EQ(GlobalHandle(texts[i]), static_cast<HGLOBAL>(texts[i]));  // fixed memory
        EXPECT_EQ(GlobalFree(texts[i]), nullptr) << "the host must be able to free the block";
    }
    EXPECT_TRUE(host.calls().empty()) << "nbInitPlugIn calls no host callback";
}

TEST_F(PluginTest, OldIdentityBlocksAreFreedBeforeNewOnesAreStored) {
    ASSERT_TRUE(WatchHostBlocks(host));
    char* title = AllocHostText("old title");
    char* author = nullptr;
    char* description = AllocHostText("old description");
    void* const oldTitle = title;
    void* const oldDescription = description;

    host.plugin().initPlugIn(nullptr, &title, &author, &description);

    const std::vector<HostCall>& calls = host.calls();
    ASSERT_EQ(calls.size(), 5u) << ::testing::PrintToString(host.Trace());
    auto freed = [&](size_t i) { return std::get<GlobalFreeCall>(calls[i]).block; };
    auto allocated = [&](size_t i) { return std::get<GlobalAllocCall>(calls[i]); };
    EXPECT_EQ(freed(0), oldTitle);
    EXPECT_EQ(allocated(1).flags, static_cast<UINT>(GPTR));
    EXPECT_EQ(allocated(1).bytes, sizeof "Varnik 1.0");
    EXPECT_EQ(allocated(1).block, title);
    EXPECT_EQ(allocated(2).bytes, sizeof "Varnik developers");  // nothing to free first
    EXPECT_EQ(allocated(2).block, author);
    EXPECT_EQ(freed(3), oldDescription);
    EXPECT_EQ(allocated(4).bytes, sizeof "USB Storage Checker");
    EXPECT_STREQ(description, "USB Storage Checker");
    for (char* block : {title, author, description})
        GlobalFree(block);
}

TEST_F(PluginTest, NullTextVariableAddressesAreSkipped) {
    char* author = nullptr;
    host.plugin().initPlugIn(nullptr, nullptr, &author, nullptr);
    ASSERT_NE(author, nullptr);
    EXPECT_STREQ(author, "Varnik developers");
    GlobalFree(author);
}

TEST_F(PluginTest, MessagesChangeNothingAndCallNothing) {
    host.RegisterAll();
    ASSERT_TRUE(WatchHostBlocks(host));
    host.ClearCalls();
    for (int code : {0, 1, 2, 5, 100, -1})
        host.plugin().message(code, 12345);
    EXPECT_TRUE(host.calls().empty());
}

std::string VersionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "<missing>";
    return std::string(value, length ? length - 1 : 0);
}

TEST(VersionResource, NamesTheProductAndItsVersion) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(PluginPath().c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(PluginPath().c_str(), 0, size, info.data()));
    EXPECT_EQ(VersionString(info, "ProductName"), "Varnik");
    EXPECT_EQ(VersionString(info, "ProductVersion"), "1.0");
    EXPECT_EQ(VersionString(info, "FileDescription"), "USB Storage Checker");
    EXPECT_EQ(VersionString(info, "OriginalFilename"), "varnik.nbp");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);  // 1.0
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

// What a host does with the plug-in in one session: load, register, start a
// watch, see volumes come and go, stop, free. Freed, the plug-in holds none
// of the heap blocks it allocated, however few bytes they are; while the
// watch runs and its log is read after every event (as `varnik-host log
// --follow` does), no more than the name's and the window's record.
size_t g_blocksLeftAfterFree;
size_t g_mostBlocksWhileRead;
bool FullCycle(std::string* error) {
    const bool freed = WholeSession(
        PluginPath(), 10, error, [](PluginHost& host) { TrackHeapBlocks(host.module()); },
        [] {
            WatcherLogText(WatcherWindows().at(0));
            g_mostBlocksWhileRead = std::max(g_mostBlocksWhileRead, LiveHeapBlocks());
        });
    g_blocksLeftAfterFree += LiveHeapBlocks();
    return freed;
}

// A host may free the plug-in and load it again, many times in one process:
// each cycle must give back everything: memory, TLS indexes, handles (a
// process has about a thousand TLS indexes). `make soak` runs longer.
TEST(Library, LoadingAndFreeingItAgainAndAgainKeepsNothing) {
    std::vector<ReloadCycle> cycles = ReloadCycles(PluginPath(), 1000, 100);
    cycles[1].run = FullCycle;  // whole sessions, their heap blocks counted
    std::printf("%s\n", DescribeMeasures(Measures()).c_str());
    for (const ReloadCycle& cycle : cycles) {
        SCOPED_TRACE(cycle.name);
        // What the first cycles bring in may stay.
        std::string error;
        const UsageKept kept =
            MeasureUsageKept([&] { return cycle.run(&error); }, 5, cycle.count, cycle.heapBytesPerRun);
        ASSERT_EQ(kept.failedRun, -1) << "cycle " << kept.failedRun << ": " << error;
        EXPECT_TRUE(KeepsNothing(kept)) << DescribeKept(kept);
        std::printf("%s: %.2f KB per cycle over %d cycles\n", cycle.name, kept.kbPerRun, cycle.count);
    }
    EXPECT_EQ(g_blocksLeftAfterFree, 0u) << "the plug-in's own heap blocks left after it was freed";
    EXPECT_EQ(g_mostBlocksWhileRead, 2u) << "lines written into the log give their chunks back";
}

// The same count catches each thing a plug-in keeps per load, one plug-in
// built to keep each (tests/wine/keeps_one_thing.cpp), and sees nothing else.
TEST(Library, TheReloadCountCatchesEveryKindOfThingKept) {
    char buffer[MAX_PATH];
    const std::string program(buffer, GetModuleFileNameA(nullptr, buffer, sizeof buffer));
    const std::string folder = program.substr(0, program.rfind('\\') + 1);  // they are built beside this test
    const struct {
        const char* dll;
        long UsageKept::*count;  // null: the memory row
    } rows[] = {{"keeps-handle.dll", &UsageKept::handles},
                {"keeps-tls-index.dll", &UsageKept::tlsIndexes},
                {"keeps-gdi-object.dll", &UsageKept::gdiObjects},
                {"keeps-memory.dll", nullptr},
                {"keeps-heap-block.dll", &UsageKept::heapBytes}};
    const int count = 100;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dll);
        const std::string path = folder + row.dll;
        std::string error;
        const UsageKept kept =
            MeasureUsageKept([&] { return LoadAndFree(path, &error); }, 5, count, kLoadAndFreeHeapBytes);
        ASSERT_EQ(kept.failedRun, -1) << "cycle " << kept.failedRun;
        EXPECT_FALSE(KeepsNothing(kept)) << DescribeMeasures(Measures());
        UsageKept others = kept;
        if (row.count == &UsageKept::heapBytes) {
            // 24 bytes a load, which a low-fragmentation heap lists as a few larger blocks
            EXPECT_GE(kept.heapBytes, 12L * count) << DescribeKept(kept);
            others.heapBlocks = others.heapBytes = 0;
        } else if (row.count) {
            EXPECT_NEAR(kept.*row.count, count, 2) << DescribeKept(kept);
            others.*row.count = 0;
        } else {
            EXPECT_NEAR(kept.kbPerRun, 64.0, 1.0);
            others.kbPerRun = 0;
        }
        EXPECT_TRUE(KeepsNothing(others)) << "kept besides: " << DescribeKept(others);
    }
}

}  // namespace
