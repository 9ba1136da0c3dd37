// Texts of the plug-in: length-counted ANSI byte strings, and the helpers the
// event report and the watcher share (number text, GUID text, exact search).
// All on the host's thread.
//
// Memory that cannot be had never ends the host's process: a text whose
// block cannot grow becomes empty and stays empty until it is cleared, so a
// half-built text never reaches the host.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Byte helpers of the plug-in's own, which imports no C library. A copy
// goes a word at a time (a fixed-size copy is one move, never a call), then
// byte by byte: an event's report is copied piece by piece on every event.
inline void CopyBytes(void* to, const void* from, size_t count) {  // no overlap
    auto* out = static_cast<unsigned char*>(to);
    const auto* in = static_cast<const unsigned char*>(from);
    for (; count >= sizeof(size_t); count -= sizeof(size_t), out += sizeof(size_t), in += sizeof(size_t))
        __builtin_memcpy(out, in, sizeof(size_t));
    for (; count > 0; --count)
        *out++ = *in++;
}
inline void FillBytes(void* to, unsigned char value, size_t count) {
    auto* out = static_cast<unsigned char*>(to);
    for (size_t i = 0; i < count; ++i)
        out[i] = value;
}
// The number of bytes before the first NUL.
constexpr size_t TextLength(const char* text) {
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

// Bytes that someone else owns, for reading during a call.
struct TextView {
    const char* data = "";
    size_t size = 0;

    constexpr TextView() = default;
    constexpr TextView(const char* bytes, size_t count) : data(bytes), size(count) {}
    // A NUL-terminated text; null counts as empty.
    constexpr TextView(const char* text) : data(text ? text : ""), size(text ? TextLength(text) : 0) {}

    bool empty() const { return size == 0; }
    TextView Slice(size_t from, size_t count) const;  // clipped to what is there
};

constexpr size_t kTextNotFound = static_cast<size_t>(-1);

// Position (from 0) of the first occurrence of `what` in `text`, comparing
// bytes exactly (case matters, NUL is an ordinary byte); kTextNotFound if
// absent. An empty `what` is found at 0.
size_t FindText(TextView text, TextView what);

// A text's bytes in a block of its own, always followed by a NUL. It has no
// destructor, so it can live at module level without the C run-time's exit
// list: the owner calls Release. Locals and members use Text below.
class TextBuffer {
public:
    constexpr TextBuffer() = default;

    const char* data() const { return data_ ? data_ : ""; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    operator TextView() const { return TextView(data(), size_); }

    void Append(TextView bytes);
    void Append(char byte) { Append(TextView(&byte, 1)); }
    // Appends `count` zero bytes and returns them, for a platform call to fill;
    // null if there is no memory.
    char* Extend(size_t count);
    // Keeps the first `size` bytes (no more than there are).
    void Truncate(size_t size);
    // Replaces the bytes with `bytes`, which may be this text's own.
    void Assign(TextView bytes);
    // Makes room for `capacity` bytes, so that appends up to it cannot fail;
    // if it cannot be had, the text fails as any growth does.
    void Reserve(size_t capacity);
    // Empty again, ready for new bytes; keeps the block.
    void Clear();
    // Empty, and the block given back.
    void Release();
    // Trades bytes, block and state with `other`.
    void Swap(TextBuffer& other);

protected:
    // A copy would share the block and free it twice: only Swap copies.
    TextBuffer(const TextBuffer&) = default;
    TextBuffer& operator=(const TextBuffer&) = default;

    bool Grow(size_t needed);
    void Fail();
    // Bytes and failed state of `from`, which is not this text.
    void CopyFrom(const TextBuffer& from);
    // Starts empty in `storage` (capacity bytes and the NUL), which the caller
    // owns and which outlives this text.
    void Borrow(char* storage, size_t capacity);

    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;  // bytes the block holds, the NUL not counted
    bool failed_ = false;  // memory ran out: stays empty until cleared
    bool borrowed_ = false;  // data_ is not ours to free
};

// A TextBuffer that gives its block back when it goes out of scope.
class Text : public TextBuffer {
public:
    Text() = default;
    explicit Text(TextView bytes) { Append(bytes); }
    ~Text() { Release(); }
    Text(Text&& other);
    Text& operator=(Text&& other);
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
};

// A text whose first N bytes live inside it, so a local one costs no heap
// block until it outgrows them. It stays where it was made.
template <size_t N>
class StackText : public Text {
public:
    StackText() { Borrow(storage_, N); }
    StackText(const StackText&) = delete;
    StackText& operator=(const StackText&) = delete;

private:
    char storage_[N + 1];
};

// Appends one blank and the decimal digits for zero and positive values,
// a minus sign and the digits for negative ones; no grouping.
void AppendNumberText(TextBuffer& out, int32_t value);

// The same for a field the system declares unsigned: never negative.
void AppendUnsignedNumberText(TextBuffer& out, uint32_t value);

// Appends the 38-character registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// of the 16 GUID bytes at `bytes`, as stored in memory: Data1, Data2 and Data3
// are little-endian numbers, the eight Data4 bytes are written in stored order.
void AppendGuidText(TextBuffer& out, const unsigned char* bytes);
