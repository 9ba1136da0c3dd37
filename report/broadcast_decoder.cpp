#include "report/broadcast_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "support/text.h"

// dbch_devicetype values.
static const uint32_t kDevTypOem = 0;
static const uint32_t kDevTypDevnode = 1;
static const uint32_t kDevTypVolume = 2;
static const uint32_t kDevTypPort = 3;
static const uint32_t kDevTypNet = 4;
static const uint32_t kDevTypDeviceInterface = 5;
static const uint32_t kDevTypHandle = 6;

// Our record copies. Every field of these records is a DWORD (the volume
// flags a WORD), so the layout and the offsets are the same in both DLLs.
static const std::size_t kHeaderCopySize = 12;
static const std::size_t kOemCopySize = 20;
static const std::size_t kDevnodeCopySize = 16;
static const std::size_t kVolumeCopySize = 18;
static const std::size_t kPortCopySize = 272;       // header + 260-byte name
static const std::size_t kInterfaceCopySize = 288;  // header + GUID + name
static const std::size_t kHandleCopySize = 41;      // fields + first data byte

// Field offsets, the same in the system's record and in our copy.
static const std::size_t kType = 4;                 // dbch_devicetype
static const std::size_t kOemIdentifier = 12;       // dbco_identifier
static const std::size_t kOemSuppFunc = 16;         // dbco_suppfunc
static const std::size_t kDevnode = 12;             // dbcd_devnode
static const std::size_t kVolumeUnitMask = 12;      // dbcv_unitmask
static const std::size_t kVolumeFlags = 16;         // dbcv_flags
static const std::size_t kPortName = 12;            // dbcp_name
static const std::size_t kNetResource = 12;         // dbcn_resource
static const std::size_t kInterfaceClassGuid = 12;  // dbcc_classguid
static const std::size_t kInterfaceName = 28;       // dbcc_name
static const std::size_t kHandle = 12;              // dbch_handle
static const std::size_t kHandleNotify = 16;        // dbch_hdevnotify
static const std::size_t kHandleEventGuid = 20;     // dbch_eventguid
static const std::size_t kHandleNameOffset = 36;    // dbch_nameoffset
static const std::size_t kHandleData = 40;          // dbch_data[0]
static const std::size_t kNameFieldSize = 260;

static uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

static int32_t ReadI32(const unsigned char* p) {
    int32_t value;
    uint32_t bits = ReadU32(p);
    std::memcpy(&value, &bits, sizeof value);  // two's complement, no overflow
    return value;
}

// Fills a copy from the record without reading past `readable` bytes of it;
// whatever the record does not cover stays zero, as if the fields were 0.
static void CopyRecord(unsigned char* copy, std::size_t copySize, const void* record, std::size_t readable) {
    std::size_t count = readable < copySize ? readable : copySize;
    std::memcpy(copy, record, count);
    if (count < copySize)
        std::memset(copy + count, 0, copySize - count);
}

// A name ends at its first NUL; one that fills its field has no NUL and ends
// at the field's end, so nothing beyond the copy is ever read.
static std::size_t NameLength(const unsigned char* field) {
    const void* nul = std::memchr(field, 0, kNameFieldSize);
    return nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - field) : kNameFieldSize;
}

static void AppendName(std::string& out, const unsigned char* field) {
    out.append(reinterpret_cast<const char*>(field), NameLength(field));
}

// The lowest drive in the mask only; bits 26 to 31 go on past 'Z'.
static void AppendDriveText(std::string& out, uint32_t unitMask) {
    for (int bit = 0; bit < 32; ++bit) {
        if (unitMask & (uint32_t{1} << bit)) {
            const char drive[] = {static_cast<char>('A' + bit), ':', '\\'};
            out.append(drive, sizeof drive);
            return;
        }
    }
}

static std::string_view DriveTypeText(uint16_t flags) {
    switch (flags) {
    case 0: return "Local Drive";
    case 1: return "Media Drive";    // DBTF_MEDIA
    case 2: return "Network Drive";  // DBTF_NET
    default: return "";
    }
}

// A label and the unsigned 32-bit field at `field`.
static void AppendNumberField(std::string& out, std::string_view label, const unsigned char* field) {
    out += label;
    AppendUnsignedNumberText(out, ReadU32(field));
}

static void AppendOem(std::string& out, const void* record, std::size_t readable) {
    unsigned char copy[kOemCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    AppendNumberField(out, "     Device Type: DBT_DEVTYP_OEM     Device Identifier: ", copy + kOemIdentifier);
    AppendNumberField(out, "\tDevice Function: ", copy + kOemSuppFunc);
}

static void AppendDevnode(std::string& out, const void* record, std::size_t readable) {
    unsigned char copy[kDevnodeCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    AppendNumberField(out, "     Device Type: DBT_DEVTYP_DEVNODE     Device Node: ", copy + kDevnode);
}

static void AppendVolume(std::string& out, const void* record, std::size_t readable) {
    unsigned char copy[kVolumeCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    out += "     Device Type: DBT_DEVTYP_VOLUME     Device Name: ";
    AppendDriveText(out, ReadU32(copy + kVolumeUnitMask));
    out += "     Drive Info:";
    out += DriveTypeText(static_cast<uint16_t>(copy[kVolumeFlags] | copy[kVolumeFlags + 1] << 8));
}

// A network record has no name: where a port keeps its name it holds
// dbcn_resource and dbcn_flags, so we show the resource as a number rather
// than its raw bytes.
static void AppendPortOrNet(std::string& out, uint32_t type, const void* record, std::size_t readable) {
    unsigned char copy[kPortCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    if (type == kDevTypPort) {
        out += "     Device Type: DBT_DEVTYP_PORT     Device Name: ";
        AppendName(out, copy + kPortName);
    } else {
        AppendNumberField(out, "     Device Type: DBT_DEVTYP_NET     Device Name: ", copy + kNetResource);
    }
}

// Records of unlisted types are read as far as a device-interface record
// reaches; their "name" is given as its length, not as bytes of unknown kind.
static void AppendInterfaceOrUnknown(std::string& out, uint32_t type, const void* record,
                                     std::size_t readable) {
    unsigned char copy[kInterfaceCopySize];
    if (type == kDevTypDeviceInterface) {
        out += "     Device Type: DBT_DEVTYP_DEVICEINTERFACE     Device Name: ";
        CopyRecord(copy, sizeof copy, record, readable);
        AppendName(out, copy + kInterfaceName);
        out += "\tGUID: ";
        AppendGuidText(out, copy + kInterfaceClassGuid);
    } else {
        out += "     Device Type unknown: ";
        AppendUnsignedNumberText(out, type);
        CopyRecord(copy, sizeof copy, record, readable);
        out += "     Device Name: ";
        AppendUnsignedNumberText(out, static_cast<uint32_t>(NameLength(copy + kInterfaceName)));
    }
}

static void AppendHandle(std::string& out, const void* record, std::size_t readable) {
    unsigned char copy[kHandleCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    AppendNumberField(out, "     Device Type: DBT_DEVTYP_HANDLE     Device Handle: ", copy + kHandle);
    AppendNumberField(out, "     Device Handle Notify: ", copy + kHandleNotify);
    out += "     Device Guid: ";
    AppendGuidText(out, copy + kHandleEventGuid);
    out += "     Event Offset: ";
    AppendNumberText(out, ReadI32(copy + kHandleNameOffset));
    out += "     Binary Data: ";
    AppendUnsignedNumberText(out, copy[kHandleData]);
}

void AppendBroadcastEntries(std::string& report, const void* record) {
    // The system copies exactly dbch_size bytes of a broadcast into our process,
    // and any program can broadcast one: past the size field, which we must
    // read to learn it, nothing beyond dbch_size bytes is read.
    unsigned char sizeField[4];
    std::memcpy(sizeField, record, sizeof sizeField);
    const std::size_t readable = ReadU32(sizeField);
    unsigned char header[kHeaderCopySize];
    CopyRecord(header, sizeof header, record, readable);

    uint32_t type = ReadU32(header + kType);
    switch (type) {
    case kDevTypOem: AppendOem(report, record, readable); break;
    case kDevTypDevnode: AppendDevnode(report, record, readable); break;
    case kDevTypVolume: AppendVolume(report, record, readable); break;
    case kDevTypPort:
    case kDevTypNet: AppendPortOrNet(report, type, record, readable); break;
    case kDevTypHandle: AppendHandle(report, record, readable); break;
    default: AppendInterfaceOrUnknown(report, type, record, readable); break;
    }
}

std::string DecodeBroadcast(const void* record) {
    std::string entries;
    AppendBroadcastEntries(entries, record);
    return entries;
}
