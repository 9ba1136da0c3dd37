// The host-call layer on its own, linked into the test: what crosses into
// the host's callbacks, byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "plugin/host_calls.h"
#include "plugin/host_context.h"
#include "plugin/host_text.h"
#include "support/memory.h"
#include "tests/native/host_recorder.h"

namespace {

std::string g_stored = "Sub1";

// A host that changes the text the plug-in passed in, as a script that
// re-enters the plug-in can.
void CALLBACK SetVariableThatChangesTheSource(const char* name, const char* value) {
    g_stored = "changed";
    g_received.push_back({Received(name), Received(value), value});
}

class HostCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_host = HostContext();
        g_received.clear();
        g_stored = "Sub1";
    }
    void TearDown() override { g_host = HostContext(); }
};

TEST_F(HostCallsTest, EmptyTextsCrossAsNullPointers) {
    g_host.setVariable = RecordVariable;
    g_host.script = RecordScript;
    SetHostVariable("dw_USB_Drive", "");
    SetHostVariable("dw_USB_Status", "Init");
    RunHostScriptCommand(Text());
    ASSERT_EQ(g_received.size(), 3u);
    EXPECT_EQ(g_received[0].name, "dw_USB_Drive");
    EXPECT_EQ(g_received[0].value, std::nullopt);
    EXPECT_EQ(g_received[1].value, "Init");
    EXPECT_EQ(g_received[2].name, std::nullopt);
}

TEST_F(HostCallsTest, TheHostGetsACopyNotTheCallersText) {
    g_host.setVariable = SetVariableThatChangesTheSource;
    SetHostVariable("dw_USB_Drive", TextView(g_stored.c_str()));
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_NE(g_received[0].valueAddress, static_cast<const void*>(g_stored.c_str()));
    EXPECT_EQ(g_received[0].value, "Sub1");
}

TEST_F(HostCallsTest, MissingCallbacksAreNotCalled) {
    SetHostVariable("dw_USB_Status", "End");
    RunHostScriptCommand(Text("Gosub \"\""));
    EXPECT_TRUE(g_received.empty());
}

TEST_F(HostCallsTest, SetHostTextStoresAZeroFilledFixedBlockOrNull) {
    char* variable = nullptr;
    SetHostText(&variable, "abc");
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(GlobalSize(variable), 4u);
    EXPECT_EQ(std::string(variable, 4), std::string("abc\0", 4));

    SetHostText(&variable, "");
    EXPECT_EQ(variable, nullptr) << "an empty text frees the old block and leaves null";

    SetHostText(nullptr, "skipped");  // must not crash
}

// The plug-in's own heap functions: a growth that cannot be had fails, and
// the caller's block is still a valid block of the heap, holding its bytes,
// for the caller to free.
TEST(PluginMemory, AFailedGrowthKeepsTheCallersBlock) {
    char* block = static_cast<char*>(ReallocateMemory(nullptr, 16));
    ASSERT_NE(block, nullptr);
    CopyBytes(block, "fifteen bytes..", 16);
    EXPECT_EQ(ReallocateMemory(block, static_cast<size_t>(-1) / 2), nullptr) << "more than any heap has";
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, block));
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block), 16u);
    EXPECT_STREQ(block, "fifteen bytes..");
    FreeMemory(block);
}

}  // namespace
