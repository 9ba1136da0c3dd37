// Registration and identity through the exports, as the host calls them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tests/wine/wine_test.h"
#include "tools/testhost/heap_blocks.h"
#include "tools/testhost/process_usage.h"

namespace {

const std::string kStartHint = "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"";
const std::string kStopHint = "Stops the USB Control \r\ndw_USB_Stop ";

std::vector<AddActionCall> AddActions(const std::vector<HostCall>& calls) {
    std::vector<AddActionCall> actions;
    for (const HostCall& call : calls)
        if (auto* action = std::get_if<AddActionCall>(&call))
            actions.push_back(*action);
    return actions;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

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

TEST_F(PluginTest, RegistersBothActionsInTableOrder) {
    host.RegisterPlugIn();
    EXPECT_EQ(host.Trace(),
              (std::vector<std::string>{
                  "add-action 1 \"dw_USB_Start\" hint \"Starts the USB Control \\r\\ndw_USB_Start "
                  "\\\"CallBack Neo Function\\\"\" codes \"\\x01\\x00\" count 1 1",
                  "add-action 2 \"dw_USB_Stop\" hint \"Stops the USB Control \\r\\ndw_USB_Stop \" codes "
                  "\"\\x00\" count 0 0",
              }));
}

TEST_F(PluginTest, HintsAndTypeCodesAreExactBytes) {
    host.RegisterPlugIn();
    const std::vector<AddActionCall> actions = AddActions(host.calls());
    ASSERT_EQ(actions.size(), 2u);

    const AddActionCall& start = actions[0];
    ASSERT_TRUE(start.hint);
    EXPECT_EQ(*start.hint, kStartHint);
    EXPECT_EQ(start.hint->size(), 61u);
    EXPECT_EQ(CountOf(*start.hint, "\r\n"), 1u);
    EXPECT_EQ(CountOf(*start.hint, "\""), 2u);
    EXPECT_EQ(std::count_if(start.hint->begin(), start.hint->end(), [](unsigned char c) { return c < 0x20; }),
              2);  // the CR and the LF, nothing else
    EXPECT_EQ(start.typeCodes, std::string("\x01\x00", 2));

    const AddActionCall& stop = actions[1];
    ASSERT_TRUE(stop.hint);
    EXPECT_EQ(stop.hint->size(), 36u);
    EXPECT_EQ(stop.hint->back(), ' ');
    // No parameters, yet a real pointer to a zero byte.
    EXPECT_EQ(stop.typeCodes, std::string(1, '\0'));
    EXPECT_EQ(stop.count, 0);
    EXPECT_EQ(stop.countAgain, 0);
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
    ASSERT_TRUE(host.WatchHostBlocks());
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
    ASSERT_TRUE(host.WatchHostBlocks());
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

bool LoadAndFree() {
    HMODULE module = LoadLibraryA(PluginPath().c_str());
    if (!module || !GetProcAddress(module, "DW_USB_STOP"))
        return false;
    return FreeLibrary(module);
}

// What a host does with the plug-in in one session: load, register, start a
// watch, see volumes come and go, stop, free. Freed, the plug-in holds none
// of the heap blocks it allocated, however few bytes they are.
size_t g_blocksLeftAfterFree;
bool FullCycle() {
    TestHost host;
    std::string error;
    if (!host.Load(PluginPath(), &error))
        return false;
    TrackHeapBlocks(host.module());
    RunWatchSession(host, 10);
    host.Unload();
    g_blocksLeftAfterFree += LiveHeapBlocks();
    return GetModuleHandleA("varnik.nbp") == nullptr;
}

// A host may free the plug-in and load it again, many times in one process:
// each cycle must give back everything: memory, TLS indexes, handles (a
// process has about a thousand TLS indexes). `make soak` runs longer.
TEST(Library, LoadingAndFreeingItAgainAndAgainKeepsNothing) {
    const struct {
        const char* name;
        bool (*cycle)();
        int count;
    } rows[] = {{"load and free", LoadAndFree, 1000}, {"full cycle", FullCycle, 100}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < 5; ++i)  // what the first cycles bring in may stay
            ASSERT_TRUE(row.cycle());
        const ProcessUsage before = MeasureProcessUsage();
        for (int i = 0; i < row.count; ++i)
            ASSERT_TRUE(row.cycle()) << "cycle " << i;
        const ProcessUsage after = MeasureProcessUsage();
        EXPECT_EQ(after.lowestFreeTlsIndex, before.lowestFreeTlsIndex);
        EXPECT_EQ(after.lowestFreeHandle, before.lowestFreeHandle);
        const double kbPerCycle =
            (static_cast<double>(after.committedPrivateBytes) - static_cast<double>(before.committedPrivateBytes)) /
            1024.0 / row.count;
        EXPECT_LE(kbPerCycle, 1.0) << "KB of private memory kept per cycle";
        std::printf("%s: %.2f KB per cycle over %d cycles\n", row.name, kbPerCycle, row.count);
    }
    EXPECT_EQ(g_blocksLeftAfterFree, 0u) << "the plug-in's own heap blocks left after it was freed";
}

}  // namespace
