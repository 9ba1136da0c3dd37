// The real host is 32-bit: every export must pop its own arguments (stdcall).
// Only 32-bit x86 has calling conventions to tell apart, so this program is
// built for the 32-bit product only.
#include "tests/support/stack_check.h"
#include "tests/wine/wine_test.h"

namespace {

int CdeclAdd(int a, int b) {
    return a + b;
}

// The check below must be able to fail: a cdecl function leaves its arguments.
TEST(StackCheck, SeesACdeclFunctionLeaveItsArguments) {
    const uintptr_t arguments[2] = {1, 2};
    EXPECT_EQ(StackDriftOfCall(reinterpret_cast<const void*>(&CdeclAdd), arguments, 2), -8);
}

// The real host is 32-bit and trusts every export to pop its own arguments.
TEST_F(PluginTest, EveryExportPopsItsOwnArguments) {
    char* title = nullptr;
    const uintptr_t none[4] = {};
    const uintptr_t init[4] = {0, reinterpret_cast<uintptr_t>(&title), 0, 0};
    const uintptr_t unknownAction[2] = {3, 0};
    const struct {
        const char* name;
        const void* function;
        const uintptr_t* arguments;
        int count;
    } calls[] = {
        {"nbRegisterPlugIn", reinterpret_cast<const void*>(host.plugin().registerPlugIn), none, 4},
        {"nbInitPlugIn", reinterpret_cast<const void*>(host.plugin().initPlugIn), init, 4},
        {"nbRegisterScriptProcessor", reinterpret_cast<const void*>(host.plugin().registerScriptProcessor),
         none, 1},
        {"nbRegisterInterfaceAccess", reinterpret_cast<const void*>(host.plugin().registerInterfaceAccess),
         none, 1},
        {"nbExecAction", reinterpret_cast<const void*>(host.plugin().execAction), unknownAction, 2},
        {"nbEditAction", reinterpret_cast<const void*>(host.plugin().editAction), unknownAction, 2},
        {"nbMessage", reinterpret_cast<const void*>(host.plugin().message), none, 2},
        {"DW_USB_STOP", reinterpret_cast<const void*>(host.plugin().usbStop), none, 0},
    };
    for (const auto& call : calls)
        EXPECT_EQ(StackDriftOfCall(call.function, call.arguments, call.count), 0) << call.name;
    GlobalFree(title);
}

}  // namespace
