// The host-call layer on its own, linked into the test: what crosses into
// the host's callbacks, byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/host_calls.h"
#include "plugin/host_context.h"
#include "plugin/host_text.h"
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

// A text on the process heap that outgrows its block while other blocks
// follow it, as in a busy host's heap, moves with all its bytes.
TEST(PluginMemory, AGrowingTextMovesWithItsBytes) {
    Text text;
    std::string expected;
    std::vector<void*> neighbours;
    bool moved = false;
    for (int i = 0; i < 14; ++i) {
        const std::string piece(size_t{16} << (i / 2), static_cast<char>('a' + i));
        const char* before = text.empty() ? nullptr : text.data();
        text.Append(TextView(piece.data(), piece.size()));
        expected += piece;
        moved = moved || (before && text.data() != before);
        neighbours.push_back(HeapAlloc(GetProcessHeap(), 0, 32));  // right after the block, as likely as not
    }
    EXPECT_TRUE(moved) << "the heap never moved the text";
    EXPECT_EQ(std::string(text.data(), text.size()), expected);
    for (void* block : neighbours)
        HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace
