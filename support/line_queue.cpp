#include "support/line_queue.h"

#include "support/memory.h"

namespace {

char* BytesOf(LineChunk* chunk) {
    return reinterpret_cast<char*>(chunk + 1);
}

// A chunk with room for `needed` bytes: the last one, or a new one after it.
LineChunk* RoomFor(LineQueue& queue, size_t needed) {
    LineChunk* last = queue.last;
    if (last && last->capacity - last->used >= needed)
        return last;
    const size_t capacity = needed > kLineChunkRoom ? needed : kLineChunkRoom;  // never in practice: lines are short
    if (capacity > static_cast<size_t>(-1) - sizeof(LineChunk) - 1)
        return nullptr;
    auto* chunk = static_cast<LineChunk*>(AllocateMemory(sizeof(LineChunk) + capacity + 1));
    if (!chunk)
        return nullptr;
    chunk->next = nullptr;
    chunk->used = 0;
    chunk->capacity = capacity;
    if (last)
        last->next = chunk;
    else
        queue.first = chunk;
    queue.last = chunk;
    return chunk;
}

}  // namespace

bool AppendLine(LineQueue& queue, TextView line) {
    if (line.size > static_cast<size_t>(-1) - 2)
        return false;
    const size_t needed = 2 + line.size;
    LineChunk* chunk = RoomFor(queue, needed);
    if (!chunk)
        return false;
    char* at = BytesOf(chunk) + chunk->used;
    at[0] = '\r';
    at[1] = '\n';
    CopyBytes(at + 2, line.data, line.size);
    at[needed] = '\0';
    chunk->used += needed;
    return true;
}

LineChunk* TakeLines(LineQueue& queue) {
    LineChunk* first = queue.first;
    queue.first = nullptr;
    queue.last = nullptr;
    return first;
}

void FreeLines(LineChunk* chunk) {
    while (chunk) {
        LineChunk* next = chunk->next;
        FreeMemory(chunk);
        chunk = next;
    }
}
