#include "support/text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "gtest/gtest.h"
#include "tests/native/test_memory.h"
#include "tests/native/text_testing.h"

static std::string Signed(int32_t value) {
    Text text;
    AppendNumberText(text, value);
    return ToString(text);
}

static std::string Unsigned(uint32_t value) {
    Text text;
    AppendUnsignedNumberText(text, value);
    return ToString(text);
}

static std::string Guid(const unsigned char (&bytes)[16]) {
    Text text;
    AppendGuidText(text, bytes);
    return ToString(text);
}

TEST(NumberText, SignedRows) {
    const struct {
        int32_t value;
        const char* text;
    } rows[] = {
        {0, " 0"},
        {7, " 7"},
        {10, " 10"},
        {-1, "-1"},
        {-10, "-10"},
        {INT32_MAX, " 2147483647"},
        {INT32_MIN, "-2147483648"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Signed(row.value), row.text) << row.value;
}

TEST(NumberText, UnsignedRows) {
    const struct {
        uint32_t value;
        const char* text;
    } rows[] = {
        {0, " 0"},
        {4096, " 4096"},
        {2147483648u, " 2147483648"},
        {4294967295u, " 4294967295"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Unsigned(row.value), row.text) << row.value;
}

TEST(NumberText, AppendsWithoutDisturbingWhatIsThere) {
    Text text("Node:");
    AppendNumberText(text, -3);
    AppendUnsignedNumberText(text, 12);
    EXPECT_EQ(ToString(text), "Node:-3 12");
}

// Reading every number back: the value survives, and the text is a blank or a
// minus sign followed by digits alone (no leading zeros, no grouping).
TEST(NumberText, RoundTrip) {
    for (int64_t value = INT32_MIN; value <= INT32_MAX; value += 9973 * 1117) {
        const std::string text = Signed(static_cast<int32_t>(value));
        ASSERT_EQ(text[0], value < 0 ? '-' : ' ') << value;
        ASSERT_EQ(text.find_first_not_of("0123456789", 1), std::string::npos) << text;
        ASSERT_TRUE(text.size() == 2 || text[1] != '0') << text;
        ASSERT_EQ(std::strtoll(text.c_str(), nullptr, 10), value) << text;
    }
    for (uint64_t value = 0; value <= UINT32_MAX; value += 9973 * 2237) {
        const std::string text = Unsigned(static_cast<uint32_t>(value));
        ASSERT_EQ(text[0], ' ');
        ASSERT_EQ(std::strtoull(text.c_str(), nullptr, 10), value) << text;
    }
}

TEST(GuidText, Rows) {
    const struct {
        unsigned char bytes[16];
        const char* text;
    } rows[] = {
        {{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8},
         "{76543210-BA98-FEDC-0102-030405060708}"},
        // The volume device-interface class as the system stores it.
        {{0x0D, 0x63, 0xF5, 0x53, 0xBF, 0xB6, 0xD0, 0x11, 0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B},
         "{53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Guid(row.bytes), row.text);
}

static int HexValue(char digit) {
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;  // lower case or anything else is wrong
}

// Every byte in every position comes back from the text: the bytes of Data1,
// Data2 and Data3 from their reversed places, those of Data4 in order.
TEST(GuidText, RoundTrip) {
    const int digitAt[16] = {7, 5, 3, 1, 12, 10, 17, 15, 20, 22, 25, 27, 29, 31, 33, 35};
    for (int value = 0; value < 256; ++value) {
        unsigned char bytes[16];
        for (int i = 0; i < 16; ++i)
            bytes[i] = static_cast<unsigned char>(value + 37 * i);
        const std::string text = Guid(bytes);
        ASSERT_EQ(text.size(), 38u);
        ASSERT_EQ(text.front(), '{');
        ASSERT_EQ(text.back(), '}');
        for (int dash : {9, 14, 19, 24})
            ASSERT_EQ(text[dash], '-') << text;
        for (int i = 0; i < 16; ++i) {
            const int high = HexValue(text[digitAt[i]]);
            const int low = HexValue(text[digitAt[i] + 1]);
            ASSERT_GE(high, 0) << text;
            ASSERT_GE(low, 0) << text;
            ASSERT_EQ(high * 16 + low, bytes[i]) << "byte " << i << " in " << text;
        }
    }
}

TEST(FindText, Rows) {
    using string_view = TextView;
    const std::size_t npos = kTextNotFound;
    const struct {
        string_view text;
        string_view what;
        std::size_t at;
    } rows[] = {
        {"DBT_DEVICEARRIVAL", "DBT_DEVICEARRIVAL", 0},
        {"     Device Name: E:\\", "Device Name: ", 5},
        {"a Drive Info: b Drive Info:", "Drive Info:", 2},  // first occurrence
        {"device name: ", "Device Name: ", npos},           // case matters
        {string_view("x\0Drive\0Info", 12), string_view("\0Info", 5), 7},
        {"", "a", npos},
        {"abc", "", 0},
        {"ab", "abc", npos},
        {"aab", "ab", 1},
        {"abab", "b", 1},
        {"xxDrive Info", "Drive Info:", npos},  // a match may not run past the end
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FindText(row.text, row.what), row.at)
            << "'" << ToString(row.what) << "' in '" << ToString(row.text) << "'";
    }
}

// A text owns its bytes, is always NUL-terminated, and may be extended with
// its own bytes, however far it grows.
// A copy would share the block and free it twice.
static_assert(!std::is_copy_constructible_v<TextBuffer> && !std::is_copy_assignable_v<TextBuffer>,
              "a text cannot be copied by accident");

// The test heap moves every block that grows, as a busy host's heap may.
TEST(Text, GrowsAndCopiesItsOwnBytes) {
    Text text("ab");
    for (int i = 0; i < 6; ++i)
        text.Append(text);  // 2 << 6 bytes, moved by every growth
    std::string expected;
    for (int i = 0; i < 64; ++i)
        expected += "ab";
    EXPECT_EQ(ToString(text), expected);
    EXPECT_EQ(text.data()[text.size()], '\0');
    text.Assign(TextView(text.data() + 1, 3));  // from its own bytes
    EXPECT_EQ(ToString(text), "bab");
    char* added = text.Extend(4);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(std::string(added, 5), std::string(5, '\0'));
    text.Truncate(2);
    EXPECT_STREQ(text.data(), "ba");
    Text moved(static_cast<Text&&>(text));
    EXPECT_STREQ(moved.data(), "ba");
    EXPECT_TRUE(text.empty());
    EXPECT_STREQ(text.data(), "");
}

// A stack text moves to the heap only when it outgrows its own bytes (filled
// to the brim, its NUL is still its own), and trades bytes, never its storage.
TEST(Text, AStackTextKeepsItsStorage) {
    StackText<4> small;
    small.Append("abc");
    ResetAllocationCount();
    small.Append("d");
    EXPECT_EQ(AllocationCount(), 0u);
    small.Append("e");
    EXPECT_EQ(AllocationCount(), 1u) << "a fifth byte does not fit four";
    small.Append("f");
    EXPECT_EQ(ToString(small), "abcdef");
    StackText<8> other;
    other.Append("xy");
    Text heap("heap text");
    other.Swap(heap);
    EXPECT_EQ(ToString(other), "heap text");
    EXPECT_EQ(ToString(heap), "xy");
    small.Assign(TextView(small).Slice(2, 2));
    EXPECT_EQ(ToString(small), "cd");
}

// Memory that cannot be had leaves the text empty, and it stays empty: no
// half-built text, until it is cleared and used anew.
TEST(Text, AnAllocationThatFailsLeavesItEmpty) {
    Text text("first block");
    FailAllocationNumber(1);
    text.Append(std::string(100, 'x').c_str());
    EXPECT_TRUE(text.empty());
    text.Append("more");
    EXPECT_TRUE(text.empty()) << "stays empty after a failure";
    EXPECT_EQ(text.Extend(3), nullptr);
    text.Clear();
    text.Append("again");
    EXPECT_EQ(ToString(text), "again");

    // Whichever allocation fails, an assignment into a stack text leaves the
    // whole text or an empty one that stays empty.
    for (size_t failing = 1; failing <= 3; ++failing) {
        StackText<4> small;
        small.Append("ab");
        FailAllocationNumber(failing);
        small.Assign("more than four");
        small.Append("!");
        const std::string got = ToString(small);
        EXPECT_TRUE(got.empty() || got == "more than four!") << "allocation " << failing << " failed: " << got;
    }
    ResetAllocationCount();

    // More than any heap holds fails at once, and a swap trades that state.
    Text huge;
    huge.Reserve(kTextNotFound);
    huge.Append("x");
    EXPECT_TRUE(huge.empty());
    StackText<8> other;
    other.Append("xy");
    other.Swap(huge);
    other.Append("z");
    EXPECT_TRUE(other.empty()) << "the failed state goes with the swap";
    EXPECT_EQ(ToString(huge), "xy");
}
