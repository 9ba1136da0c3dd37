#include <cstdio>
#include <cstring>

#include "tests/wine/wine_test.h"
#include "tools/testhost/device_broadcast.h"

namespace {

std::string g_pluginPath;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

}  // namespace

HWND CreatePlainDialog() {
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass, caption;
    } plainTemplate = {{WS_POPUP, 0, 0, 0, 0, 100, 100}, 0, 0, 0};
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &plainTemplate.header, nullptr,
                                      PlainDialogProc, 0);
}

const std::string& PluginPath() {
    return g_pluginPath;
}

int main(int argc, char** argv) {
    // A second process for tests of broadcasts that cross processes.
    if (argc == 2 && std::strcmp(argv[1], "--broadcast-volume-arrival") == 0)
        return BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 7, DBTF_MEDIA) ? 0 : 1;
    ::testing::InitGoogleTest(&argc, argv);
    const char kOption[] = "--plugin=";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], kOption, sizeof kOption - 1) == 0)
            g_pluginPath = argv[i] + sizeof kOption - 1;
    if (g_pluginPath.empty()) {
        std::fprintf(stderr, "usage: %s --plugin=PATH [gtest options]\n", argv[0]);
        return 2;
    }
    const int result = RUN_ALL_TESTS();
    // CTest runs one test per name it was given: a name with no test behind
    // it (deleted, commented out) must fail, not pass having run nothing.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matches --gtest_filter=%s\n", GTEST_FLAG_GET(filter).c_str());
        return 1;
    }
    return result;
}
