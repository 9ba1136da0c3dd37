#include "support/text.h"

#include "support/memory.h"

TextView TextView::Slice(size_t from, size_t count) const {
    if (from > size)
        from = size;
    if (count > size - from)
        count = size - from;
    return TextView(data + from, count);
}

namespace {

bool SameBytes(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

}  // namespace

size_t FindText(TextView text, TextView what) {
    if (what.empty())
        return 0;
    if (what.size > text.size)
        return kTextNotFound;
    const size_t lastStart = text.size - what.size;
    for (size_t at = 0; at <= lastStart; ++at)
        if (text.data[at] == what.data[0] && SameBytes(text.data + at, what.data, what.size))
            return at;
    return kTextNotFound;
}

namespace {

// Far more than any text of the plug-in; doubling it still fits a size_t.
const size_t kMaxTextSize = static_cast<size_t>(PTRDIFF_MAX) / 2;

}  // namespace

bool TextBuffer::Grow(size_t needed) {
    if (failed_)
        return false;
    if (needed <= capacity_)
        return true;
    if (needed > kMaxTextSize) {  // the doubling below would wrap
        Fail();
        return false;
    }
    size_t capacity = capacity_ < 16 ? 16 : capacity_;
    while (capacity < needed)
        capacity *= 2;
    // A borrowed block stays where it is: its bytes move to the heap.
    void* block = borrowed_ || !data_ ? AllocateMemory(capacity + 1) : ResizeMemory(data_, capacity + 1);
    if (!block) {
        Fail();
        return false;
    }
    if (borrowed_)
        CopyBytes(block, data_, size_ + 1);
    data_ = static_cast<char*>(block);
    capacity_ = capacity;
    borrowed_ = false;
    return true;
}

void TextBuffer::Fail() {
    if (borrowed_) {  // a borrowed block stays, for the text's next use
        size_ = 0;
        data_[0] = '\0';
    } else {
        Release();
    }
    failed_ = true;
}

void TextBuffer::Append(TextView bytes) {
    if (bytes.empty() || failed_)
        return;
    if (bytes.size > kMaxTextSize - size_) {
        Fail();
        return;
    }
    // The bytes may be our own, and growing may move them.
    const uintptr_t from = reinterpret_cast<uintptr_t>(bytes.data);
    const uintptr_t ownStart = reinterpret_cast<uintptr_t>(data_);
    const bool own = data_ && from >= ownStart && from < ownStart + size_;
    if (!Grow(size_ + bytes.size))
        return;
    const char* source = own ? data_ + (from - ownStart) : bytes.data;
    CopyBytes(data_ + size_, source, bytes.size);  // own bytes lie before the end
    size_ += bytes.size;
    data_[size_] = '\0';
}

char* TextBuffer::Extend(size_t count) {
    if (failed_)
        return nullptr;
    if (count > kMaxTextSize - size_) {
        Fail();
        return nullptr;
    }
    if (!Grow(size_ + count))
        return nullptr;
    char* added = data_ + size_;
    FillBytes(added, 0, count + 1);
    size_ += count;
    return added;
}

void TextBuffer::Truncate(size_t size) {
    if (size < size_) {
        size_ = size;
        data_[size_] = '\0';
    }
}

void TextBuffer::Assign(TextView bytes) {
    const uintptr_t from = reinterpret_cast<uintptr_t>(bytes.data);
    const uintptr_t ownStart = reinterpret_cast<uintptr_t>(data_);
    if (data_ && from >= ownStart && from < ownStart + size_) {
        // Its own bytes move to the front, in place: no memory is needed.
        for (size_t i = 0; i < bytes.size; ++i)
            data_[i] = bytes.data[i];
        size_ = bytes.size;
        data_[size_] = '\0';
        return;
    }
    Clear();
    Append(bytes);
}

void TextBuffer::Reserve(size_t capacity) {
    Grow(capacity);
}

void TextBuffer::Clear() {
    size_ = 0;
    failed_ = false;
    if (data_)
        data_[0] = '\0';
}

void TextBuffer::Release() {
    if (!borrowed_)
        FreeMemory(data_);
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    failed_ = false;
    borrowed_ = false;
}

void TextBuffer::Borrow(char* storage, size_t capacity) {
    Release();
    data_ = storage;
    data_[0] = '\0';
    capacity_ = capacity;
    borrowed_ = true;
}

void TextBuffer::CopyFrom(const TextBuffer& from) {
    Clear();
    Append(from);
    if (from.failed_)
        Fail();
}

void TextBuffer::Swap(TextBuffer& other) {
    if (borrowed_ || other.borrowed_) {
        // A borrowed block stays with its owner: bytes and state are traded
        // instead. A copy that cannot be had leaves its text failed.
        Text mine;
        mine.CopyFrom(*this);
        CopyFrom(other);
        other.CopyFrom(mine);
        return;
    }
    const TextBuffer mine = *this;
    *this = other;
    other = mine;
}

Text::Text(Text&& other) {
    Swap(other);
}

Text& Text::operator=(Text&& other) {
    if (this != &other) {
        Release();
        Swap(other);
    }
    return *this;
}

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

void AppendDigits(TextBuffer& out, uint32_t value) {
    char digits[10];  // 4294967295 has ten digits
    size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.Append(TextView(digits + start, sizeof digits - start));
}

char* PutHexByte(char* at, unsigned char byte) {
    *at++ = kHexDigits[byte >> 4];
    *at++ = kHexDigits[byte & 0x0F];
    return at;
}

}  // namespace

void AppendNumberText(TextBuffer& out, int32_t value) {
    if (value < 0) {
        out.Append('-');
        // Negating in unsigned arithmetic keeps INT32_MIN defined.
        AppendDigits(out, 0u - static_cast<uint32_t>(value));
    } else {
        out.Append(' ');
        AppendDigits(out, static_cast<uint32_t>(value));
    }
}

void AppendUnsignedNumberText(TextBuffer& out, uint32_t value) {
    out.Append(' ');
    AppendDigits(out, value);
}

void AppendGuidText(TextBuffer& out, const unsigned char* bytes) {
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
    out.Append(TextView(text, sizeof text));
}
