#include "report/broadcast_decoder.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "tests/native/text_testing.h"

using namespace std::string_literals;

static std::string U32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

static std::string U16(uint16_t value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

// A record whose dbch_size is its exact length.
static std::string Record(uint32_t type, const std::string& body) {
    return U32(static_cast<uint32_t>(12 + body.size())) + U32(type) + U32(0) + body;
}

static std::string WithDeclaredSize(std::string record, uint32_t size) {
    return record.replace(0, 4, U32(size));
}

// The record sits in a heap block of exactly its length, so AddressSanitizer
// stops any read past it.
static std::string Decode(const std::string& record) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[record.size()]);
    std::memcpy(block.get(), record.data(), record.size());
    Text entries;
    AppendBroadcastEntries(entries, block.get());
    return ToString(entries);
}

static const std::string kGuid = "\x10\x32\x54\x76\x98\xBA\xDC\xFE\x01\x02\x03\x04\x05\x06\x07\x08"s;
static const char kGuidText[] = "{76543210-BA98-FEDC-0102-030405060708}";

struct Row {
    const char* name;
    std::string record;
    std::string entries;
};

// Every expected text is a device type entry; the rows say what follows
// its "     Device Type".
static void ExpectRows(const Row* rows, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(Decode(rows[i].record), "     Device Type" + rows[i].entries) << rows[i].name;
    }
}

TEST(BroadcastDecoder, Volume) {
    const Row rows[] = {
        {"drive E, flags 0", Record(2, U32(0x10) + U16(0)),
         ": DBT_DEVTYP_VOLUME     Device Name: E:\\     Drive Info:Local Drive"},
        // The system's record is 20 bytes with padding; the flags are 16 bits.
        {"drives C and E, media", Record(2, U32(0x14) + U16(1) + "\xFF\xFF"s),
         ": DBT_DEVTYP_VOLUME     Device Name: C:\\     Drive Info:Media Drive"},
        {"no drive, network", Record(2, U32(0) + U16(2)),
         ": DBT_DEVTYP_VOLUME     Device Name:      Drive Info:Network Drive"},
        {"flags 3", Record(2, U32(1) + U16(3)), ": DBT_DEVTYP_VOLUME     Device Name: A:\\     Drive Info:"},
        {"flags 0x100 are not 0", Record(2, U32(1) + U16(0x100)),
         ": DBT_DEVTYP_VOLUME     Device Name: A:\\     Drive Info:"},
        {"bit 26", Record(2, U32(0x04000000) + U16(0)),
         ": DBT_DEVTYP_VOLUME     Device Name: [:\\     Drive Info:Local Drive"},
        {"bit 31", Record(2, U32(0x80000000) + U16(1)),
         ": DBT_DEVTYP_VOLUME     Device Name: `:\\     Drive Info:Media Drive"},
        // Bytes past dbch_size are not the record's, even where memory follows.
        {"declared 14 of 18", WithDeclaredSize(Record(2, U32(0x00100000) + U16(1)), 14),
         ": DBT_DEVTYP_VOLUME     Device Name:      Drive Info:Local Drive"},
        {"declared 8", WithDeclaredSize(U32(0) + U32(2), 8),
         ": DBT_DEVTYP_VOLUME     Device Name:      Drive Info:Local Drive"},
    };
    ExpectRows(rows, sizeof rows / sizeof rows[0]);
}

TEST(BroadcastDecoder, NumberRecords) {
    const Row rows[] = {
        {"OEM", Record(0, U32(0xFFFFFFFF) + U32(7)),
         ": DBT_DEVTYP_OEM     Device Identifier:  4294967295\tDevice Function:  7"},
        {"device node", Record(1, U32(4096)), ": DBT_DEVTYP_DEVNODE     Device Node:  4096"},
        {"network", Record(4, U32(5) + U32(1)), ": DBT_DEVTYP_NET     Device Name:  5"},
        {"handle", Record(6, U32(0xFFFFFFFF) + U32(0x1234) + kGuid + U32(0xFFFFFFFF) + "\xFF"s),
         ": DBT_DEVTYP_HANDLE     Device Handle:  4294967295"
         "     Device Handle Notify:  4660     Device Guid: "s +
             kGuidText + "     Event Offset: -1     Binary Data:  255"},
        {"handle without data", Record(6, U32(1) + U32(2) + kGuid + U32(8)),
         ": DBT_DEVTYP_HANDLE     Device Handle:  1"
         "     Device Handle Notify:  2     Device Guid: "s +
             kGuidText + "     Event Offset:  8     Binary Data:  0"},
        {"handle with more data", Record(6, U32(1) + U32(2) + kGuid + U32(8) + "XYZ"s),
         ": DBT_DEVTYP_HANDLE     Device Handle:  1"
         "     Device Handle Notify:  2     Device Guid: "s +
             kGuidText + "     Event Offset:  8     Binary Data:  88"},
    };
    ExpectRows(rows, sizeof rows / sizeof rows[0]);
}

TEST(BroadcastDecoder, Names) {
    const Row rows[] = {
        {"port", Record(3, "COM1\0"s), ": DBT_DEVTYP_PORT     Device Name: COM1"},
        {"port name ends at the first NUL", Record(3, "COM3\0XYZ\0"s),
         ": DBT_DEVTYP_PORT     Device Name: COM3"},
        {"port name without NUL ends with the record", Record(3, "LPT1"s),
         ": DBT_DEVTYP_PORT     Device Name: LPT1"},
        {"port name bytes as they are", Record(3, "P\xE9\t\x01\0"s),
         ": DBT_DEVTYP_PORT     Device Name: P\xE9\t\x01"},
        {"empty port name", Record(3, "\0"s), ": DBT_DEVTYP_PORT     Device Name: "},
        {"port name cut at 260", Record(3, std::string(300, 'A')),
         ": DBT_DEVTYP_PORT     Device Name: " + std::string(260, 'A')},
        {"interface", Record(5, kGuid + "\\\\?\\USB#VID_0781&PID_5567#4C53\0"s),
         ": DBT_DEVTYP_DEVICEINTERFACE     Device Name: \\\\?\\USB#VID_0781&PID_5567#4C53"
         "\tGUID: "s +
             kGuidText},
        {"interface name without NUL", Record(5, kGuid + "ab"s),
         ": DBT_DEVTYP_DEVICEINTERFACE     Device Name: ab\tGUID: "s + kGuidText},
        {"interface name cut at 260", Record(5, kGuid + std::string(300, 'B') + "\0"s),
         ": DBT_DEVTYP_DEVICEINTERFACE     Device Name: " + std::string(260, 'B') + "\tGUID: " + kGuidText},
        {"interface cut inside its GUID", Record(5, kGuid.substr(0, 8)),
         ": DBT_DEVTYP_DEVICEINTERFACE     Device Name: "
         "\tGUID: {76543210-BA98-FEDC-0000-000000000000}"},
    };
    ExpectRows(rows, sizeof rows / sizeof rows[0]);
}

// Unlisted types show the length of whatever sits where an interface name would.
TEST(BroadcastDecoder, UnlistedTypes) {
    const Row rows[] = {
        {"type 7", Record(7, kGuid + "abc\0"s), " unknown:  7     Device Name:  3"},
        {"type 0x102 is not 2", Record(0x102, U32(0x10) + U16(0)), " unknown:  258     Device Name:  0"},
        {"largest type, header only", Record(0xFFFFFFFF, ""), " unknown:  4294967295     Device Name:  0"},
        {"name without NUL", Record(9, kGuid + "abcd"s), " unknown:  9     Device Name:  4"},
        {"over-long", Record(8, kGuid + std::string(400, 'C')), " unknown:  8     Device Name:  260"},
    };
    ExpectRows(rows, sizeof rows / sizeof rows[0]);
}

// Below 12 bytes only dbch_size bytes are read, never fewer than the size
// field itself; what the record lacks counts as zero.
TEST(BroadcastDecoder, ShortHeaders) {
    const Row rows[] = {
        {"size field only", U32(4), ": DBT_DEVTYP_OEM     Device Identifier:  0\tDevice Function:  0"},
        {"declared 0", U32(0), ": DBT_DEVTYP_OEM     Device Identifier:  0\tDevice Function:  0"},
        {"declared 2", U32(2), ": DBT_DEVTYP_OEM     Device Identifier:  0\tDevice Function:  0"},
        {"one byte of the type", U32(5) + "\x03"s, ": DBT_DEVTYP_PORT     Device Name: "},
        // Type 0x305 with only its low byte inside the record reads as type 5.
        {"declared 5 of a longer record", WithDeclaredSize(Record(0x305, kGuid), 5),
         ": DBT_DEVTYP_DEVICEINTERFACE     Device Name: "
         "\tGUID: {00000000-0000-0000-0000-000000000000}"},
        {"handle header of 11", U32(11) + U32(6) + "\x7F\x7F\x7F"s,
         ": DBT_DEVTYP_HANDLE     Device Handle:  0     Device Handle Notify:  0"
         "     Device Guid: {00000000-0000-0000-0000-000000000000}     Event Offset:  0"
         "     Binary Data:  0"},
    };
    ExpectRows(rows, sizeof rows / sizeof rows[0]);
}

// Each call fills its copies anew: a long name cannot leak into a short one.
TEST(BroadcastDecoder, NothingCarriesOverBetweenCalls) {
    Decode(Record(5, kGuid + std::string(300, 'L')));
    Decode(Record(9, kGuid + std::string(300, 'L')));
    const Row rows[] = {
        {"interface cut short", Record(5, kGuid.substr(0, 4)),
         ": DBT_DEVTYP_DEVICEINTERFACE     Device Name: \tGUID: {76543210-0000-0000-0000-000000000000}"},
        {"unlisted, header only", Record(9, ""), " unknown:  9     Device Name:  0"},
    };
    ExpectRows(rows, sizeof rows / sizeof rows[0]);
}
