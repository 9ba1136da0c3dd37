#include "support/text.h"

static const char kHexDigits[] = "0123456789ABCDEF";

static void AppendDigits(std::string& out, uint32_t value) {
    char digits[10];  // 4294967295 has ten digits
    std::size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.append(digits + start, sizeof digits - start);
}

static char* PutHexByte(char* at, unsigned char byte) {
    *at++ = kHexDigits[byte >> 4];
    *at++ = kHexDigits[byte & 0x0F];
    return at;
}

void AppendNumberText(std::string& out, int32_t value) {
    if (value < 0) {
        out += '-';
        // Negating in unsigned arithmetic keeps INT32_MIN defined.
        AppendDigits(out, 0u - static_cast<uint32_t>(value));
    } else {
        out += ' ';
        AppendDigits(out, static_cast<uint32_t>(value));
    }
}

void AppendUnsignedNumberText(std::string& out, uint32_t value) {
    out += ' ';
    AppendDigits(out, value);
}

void AppendGuidText(std::string& out, const unsigned char* bytes) {
    char text[38];
    char* at = text;
    *at++ = '{';
    // Data1, Data2 and Data3 are stored least significant byte first.
    for (int i = 3; i >= 0; --i)
        at = PutHexByte(at, bytes[i]);
    *at++ = '-';
    for (int i = 5; i >= 4; --i)
        at = PutHexByte(at, bytes[i]);
    *at++ = '-';
    for (int i = 7; i >= 6; --i)
        at = PutHexByte(at, bytes[i]);
    *at++ = '-';
    // Data4 is a byte array: stored order.
    for (int i = 8; i < 10; ++i)
        at = PutHexByte(at, bytes[i]);
    *at++ = '-';
    for (int i = 10; i < 16; ++i)
        at = PutHexByte(at, bytes[i]);
    *at = '}';
    out.append(text, sizeof text);
}

std::size_t FindText(std::string_view text, std::string_view what) {
    return text.find(what);
}
