#include "support/line_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/native/test_memory.h"
#include "tests/native/text_testing.h"

namespace {

// Chunks hold whole lines, each after CR LF, a NUL after the last; a line
// that does not fit the last chunk starts a new one, of its own size if it
// is longer than an ordinary chunk; a chunk that cannot be had loses only
// its own line. Under AddressSanitizer no byte goes past its chunk.
TEST(LineQueue, ChunksHoldWholeLines) {
    const size_t room = kLineChunkRoom;  // CR LF and the line together
    const size_t none = static_cast<size_t>(-1);
    const struct {
        const char* what;
        std::vector<size_t> lines;
        size_t lost;  // the line whose chunk is refused, or none
        size_t chunks;
    } rows[] = {
        {"a line that fills a chunk exactly", {room - 2}, none, 1},
        {"the next line starts a chunk", {room - 2, 1}, none, 2},
        {"one byte short of a chunk's end: even an empty line does not fit", {room - 3, 0}, none, 2},
        {"two bytes short: an empty line fits", {room - 4, 0}, none, 1},
        {"two bytes short: a one-byte line does not", {room - 4, 1}, none, 2},
        {"a line one byte longer", {room - 1}, none, 1},
        {"after another line", {10, room - 1}, none, 2},
        {"a line longer than a whole chunk", {10, 2 * room, 5}, none, 3},
        {"a failed chunk loses only its line", {10, room - 2, 5}, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        LineQueue queue;
        std::string expected;
        for (size_t i = 0; i < row.lines.size(); ++i) {
            const std::string line(row.lines[i], static_cast<char>('a' + i));
            FailAllocationNumber(i == row.lost ? 1 : 0);
            EXPECT_EQ(AppendLine(queue, View(line)), i != row.lost) << "line " << i;
            if (i != row.lost)
                expected += "\r\n" + line;
        }
        LineChunk* first = TakeLines(queue);
        EXPECT_EQ(TakeLines(queue), nullptr) << "taken once";
        std::string written;
        size_t chunks = 0;
        for (const LineChunk* chunk = first; chunk; chunk = chunk->next, ++chunks) {
            ASSERT_LE(chunk->used, chunk->capacity);
            EXPECT_EQ(chunk->text()[chunk->used], '\0');
            written += std::string(chunk->text(), chunk->used);
        }
        EXPECT_EQ(chunks, row.chunks);
        EXPECT_EQ(written, expected);
        FreeLines(first);
    }
    ResetAllocationCount();
}

}  // namespace
