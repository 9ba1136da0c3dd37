#include <cstdio>
#include <cstring>

#include "tests/wine/wine_test.h"
#include "tools/plugin_host/device_broadcast.h"

namespace {

std::string g_pluginPath;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A second process for tests across processes: a watch of its own, in a
// host that registers no script callback, then a volume arrival (drive H)
// broadcast to every top-level window. Exits 0 when its own host heard the
// arrival and ran no script line: nothing of the first process came along.
int RunSecondProcess() {
    PluginHost host;
    std::string error;
    if (!host.Load(g_pluginPath, &error))
        return 2;
    host.RegisterPlugIn();
    host.plugin().registerScriptProcessor(nullptr);
    HostParameters start({std::string("Second")});
    host.plugin().execAction(1, start.data());
    if (!BroadcastVolume(DBT_DEVICEARRIVAL, 1u << 7, DBTF_MEDIA))
        return 1;
    const bool own = host.Variable("dw_USB_Status") == "Plug" && host.Variable("dw_USB_Drive") == "H:\\" &&
                     host.unhandledLines().empty();
    return own ? 0 : 3;
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
    // Unbuffered: a process ended from outside still shows how far it got.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    const char kOption[] = "--plugin=";
    bool secondProcess = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kOption, sizeof kOption - 1) == 0)
            g_pluginPath = argv[i] + sizeof kOption - 1;
        secondProcess = secondProcess || std::strcmp(argv[i], "--second-process") == 0;
        // A test that crashes must end, not wait on a crash dialog (scripts/wine-run's test).
        if (std::strcmp(argv[i], "--crash") == 0)
            RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    }
    if (g_pluginPath.empty()) {
        std::fprintf(stderr, "usage: %s --plugin=PATH [--second-process | --crash | gtest options]\n", argv[0]);
        return 2;
    }
    if (secondProcess)
        return RunSecondProcess();
    const int result = RUN_ALL_TESTS();
    // CTest runs one test per name it was given: a name with no test behind
    // it (deleted, commented out) must fail, not pass having run nothing.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matches --gtest_filter=%s\n", GTEST_FLAG_GET(filter).c_str());
        return 1;
    }
    return result;
}
