#include "support/text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include "gtest/gtest.h"

static std::string Signed(int32_t value) {
    std::string text;
    AppendNumberText(text, value);
    return text;
}

static std::string Unsigned(uint32_t value) {
    std::string text;
    AppendUnsignedNumberText(text, value);
    return text;
}

static std::string Guid(const unsigned char (&bytes)[16]) {
    std::string text;
    AppendGuidText(text, bytes);
    return text;
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
    std::string text = "Node:";
    AppendNumberText(text, -3);
    AppendUnsignedNumberText(text, 12);
    EXPECT_EQ(text, "Node:-3 12");
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
    using std::string_view;
    const std::size_t npos = string_view::npos;
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
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FindText(row.text, row.what), row.at) << "'" << row.what << "' in '" << row.text << "'";
    }
}
