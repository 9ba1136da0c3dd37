#include "report/broadcast_decoder.h"

#include "support/text.h"

namespace {

// dbch_devicetype values.
const uint32_t kDevTypOem = 0;
const uint32_t kDevTypDevnode = 1;
const uint32_t kDevTypVolume = 2;
const uint32_t kDevTypPort = 3;
const uint32_t kDevTypNet = 4;
const uint32_t kDevTypHandle = 6;

// Our record copies. Every field of these records is a DWORD (the volume
// flags a WORD), so the layout and the offsets are the same in both DLLs.
const size_t kHeaderCopySize = 12;
const size_t kOemCopySize = 20;
const size_t kDevnodeCopySize = 16;
const size_t kVolumeCopySize = 18;
const size_t kPortCopySize = 272;       // header + 260-byte name
const size_t kInterfaceCopySize = 288;  // header + GUID + name
const size_t kHandleCopySize = 41;      // fields + first data byte

// Field offsets, the same in the system's record and in our copy.
const size_t kType = 4;                 // dbch_devicetype
const size_t kOemIdentifier = 12;       // dbco_identifier
const size_t kOemSuppFunc = 16;         // dbco_suppfunc
const size_t kDevnode = 12;             // dbcd_devnode
const size_t kVolumeUnitMask = 12;      // dbcv_unitmask
const size_t kVolumeFlags = 16;         // dbcv_flags
const size_t kPortName = 12;            // dbcp_name
const size_t kNetResource = 12;         // dbcn_resource
const size_t kInterfaceClassGuid = 12;  // dbcc_classguid
const size_t kInterfaceName = 28;       // dbcc_name
const size_t kHandle = 12;              // dbch_handle
const size_t kHandleNotify = 16;        // dbch_hdevnotify
const size_t kHandleEventGuid = 20;     // dbch_eventguid
const size_t kHandleNameOffset = 36;    // dbch_nameoffset
const size_t kHandleData = 40;          // dbch_data[0]
const size_t kNameFieldSize = 260;

uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadI32(const unsigned char* p) {
    int32_t value;
    uint32_t bits = ReadU32(p);
    CopyBytes(&value, &bits, sizeof value);  // two's complement, no overflow
    return value;
}

// Fills a copy from the record without reading past `readable` bytes of it;
// whatever the record does not cover stays zero, as if the fields were 0.
void CopyRecord(unsigned char* copy, size_t copySize, const void* record, size_t readable) {
    const size_t count = readable < copySize ? readable : copySize;
    const auto* bytes = static_cast<const unsigned char*>(record);
    // Loops, not calls into the C library: most records are a few bytes.
    for (size_t i = 0; i < count; ++i)
        copy[i] = bytes[i];
    for (size_t i = count; i < copySize; ++i)
        copy[i] = 0;
}

// A name ends at its first NUL; one that fills its field has no NUL and ends
// at the field's end, so nothing beyond the copy is ever read.
size_t NameLength(const unsigned char* field) {
    size_t length = 0;
    while (length < kNameFieldSize && field[length] != 0)
        ++length;
    return length;
}

void AppendName(TextBuffer& out, const unsigned char* field) {
    out.Append(TextView(reinterpret_cast<const char*>(field), NameLength(field)));
}

// The lowest drive in the mask only; bits 26 to 31 go on past 'Z'.
void AppendDriveText(TextBuffer& out, uint32_t unitMask) {
    for (int bit = 0; bit < 32; ++bit) {
        if (unitMask & (uint32_t{1} << bit)) {
            const char drive[] = {static_cast<char>('A' + bit), ':', '\\'};
            out.Append(TextView(drive, sizeof drive));
            return;
        }
    }
}

TextView DriveTypeText(uint16_t flags) {
    switch (flags) {
    case 0: return "Local Drive";
    case 1: return "Media Drive";    // DBTF_MEDIA
    case 2: return "Network Drive";  // DBTF_NET
    default: return "";
    }
}

// A label and the unsigned 32-bit field at `field`.
void AppendNumberField(TextBuffer& out, TextView label, const unsigned char* field) {
    out.Append(label);
    AppendUnsignedNumberText(out, ReadU32(field));
}

void AppendOem(TextBuffer& out, const void* record, size_t readable) {
    unsigned char copy[kOemCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    AppendNumberField(out, "     Device Type: DBT_DEVTYP_OEM     Device Identifier: ", copy + kOemIdentifier);
    AppendNumberField(out, "\tDevice Function: ", copy + kOemSuppFunc);
}

void AppendDevnode(TextBuffer& out, const void* record, size_t readable) {
    unsigned char copy[kDevnodeCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    AppendNumberField(out, "     Device Type: DBT_DEVTYP_DEVNODE     Device Node: ", copy + kDevnode);
}

void AppendVolume(TextBuffer& out, const void* record, size_t readable) {
    unsigned char copy[kVolumeCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    out.Append("     Device Type: DBT_DEVTYP_VOLUME     Device Name: ");
    AppendDriveText(out, ReadU32(copy + kVolumeUnitMask));
    out.Append("     Drive Info:");
    out.Append(DriveTypeText(static_cast<uint16_t>(copy[kVolumeFlags] | copy[kVolumeFlags + 1] << 8)));
}

// A network record has no name: where a port keeps its name it holds
// dbcn_resource and dbcn_flags, so we show the resource as a number rather
// than its raw bytes.
void AppendPortOrNet(TextBuffer& out, uint32_t type, const void* record, size_t readable) {
    unsigned char copy[kPortCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    if (type == kDevTypPort) {
        out.Append("     Device Type: DBT_DEVTYP_PORT     Device Name: ");
        AppendName(out, copy + kPortName);
    } else {
        AppendNumberField(out, "     Device Type: DBT_DEVTYP_NET     Device Name: ", copy + kNetResource);
    }
}

// Records of unlisted types are read as far as a device-interface record
// reaches; their "name" is given as its length, not as bytes of unknown kind.
void AppendInterfaceOrUnknown(TextBuffer& out, uint32_t type, const void* record,
                                     size_t readable) {
    unsigned char copy[kInterfaceCopySize];
    if (type == kDeviceInterfaceType) {
        out.Append("     Device Type: DBT_DEVTYP_DEVICEINTERFACE     Device Name: ");
        CopyRecord(copy, sizeof copy, record, readable);
        AppendName(out, copy + kInterfaceName);
        out.Append("\tGUID: ");
        AppendGuidText(out, copy + kInterfaceClassGuid);
    } else {
        out.Append("     Device Type unknown: ");
        AppendUnsignedNumberText(out, type);
        CopyRecord(copy, sizeof copy, record, readable);
        out.Append("     Device Name: ");
        AppendUnsignedNumberText(out, static_cast<uint32_t>(NameLength(copy + kInterfaceName)));
    }
}

void AppendHandle(TextBuffer& out, const void* record, size_t readable) {
    unsigned char copy[kHandleCopySize];
    CopyRecord(copy, sizeof copy, record, readable);
    AppendNumberField(out, "     Device Type: DBT_DEVTYP_HANDLE     Device Handle: ", copy + kHandle);
    AppendNumberField(out, "     Device Handle Notify: ", copy + kHandleNotify);
    out.Append("     Device Guid: ");
    AppendGuidText(out, copy + kHandleEventGuid);
    out.Append("     Event Offset: ");
    AppendNumberText(out, ReadI32(copy + kHandleNameOffset));
    out.Append("     Binary Data: ");
    AppendUnsignedNumberText(out, copy[kHandleData]);
}

}  // namespace

void AppendBroadcastEntries(TextBuffer& report, const void* record) {
    // The system copies exactly dbch_size bytes of a broadcast into our process,
    // and any program can broadcast one: past the size field, which we must
    // read to learn it, nothing beyond dbch_size bytes is read.
    unsigned char sizeField[4];
    CopyBytes(sizeField, record, sizeof sizeField);
    const size_t readable = ReadU32(sizeField);
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
