#include "watcher/watcher_log.h"

#include "support/library_main.h"
#include "support/memory.h"
#include "watcher/watcher_state.h"
#include "watcher/watcher_window.h"

namespace {

const int kLogId = 102;
const char kFirstText[] = "Unplug and re-seat USB connection to see results";
const DWORD kLogStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_LEFT | ES_MULTILINE |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL;
static_assert(kLogStyle == 0x503100C4, "the watcher log's designed style");
// The default 30,000 characters would silently cut EM_REPLACESEL.
const WPARAM kLogLimit = 0x7FFFFFFE;

// Lines not yet in the control wait in a chain of fixed-size chunks: no
// block of the log grows with the watch, and a chunk that cannot be had
// loses only the line it was for.
struct Chunk {
    Chunk* next;
    size_t used;      // bytes of lines so far, a NUL after them
    size_t capacity;  // bytes of lines it holds, the NUL not counted
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
};
// Each chunk is written with an append of its own when the log is read, and
// each append costs more the longer the control's text already is: chunks
// as large as the plug-in allows itself.
const size_t kChunkBlock = 64 * 1024;

HWND g_bufferedLog;     // the control the waiting lines belong to; null once it is destroyed
Chunk* g_firstPending;  // lines not yet in that control, oldest first
Chunk* g_lastPending;

// Detaches the waiting lines: whatever is appended meanwhile starts a chain
// of its own.
Chunk* TakePending() {
    Chunk* first = g_firstPending;
    g_firstPending = nullptr;
    g_lastPending = nullptr;
    return first;
}

void FreeChunks(Chunk* chunk) {
    while (chunk) {
        Chunk* next = chunk->next;
        FreeMemory(chunk);
        chunk = next;
    }
}

// A chunk with room for `needed` bytes: the last one, or a new one after it.
Chunk* RoomFor(size_t needed) {
    Chunk* last = g_lastPending;
    if (last && last->capacity - last->used >= needed)
        return last;
    const size_t standard = kChunkBlock - sizeof(Chunk) - 1;
    const size_t capacity = needed > standard ? needed : standard;  // never in practice: lines are short
    auto* chunk = static_cast<Chunk*>(ReallocateMemory(nullptr, sizeof(Chunk) + capacity + 1));
    if (!chunk)
        return nullptr;
    chunk->next = nullptr;
    chunk->used = 0;
    chunk->capacity = capacity;
    if (last)
        last->next = chunk;
    else
        g_firstPending = chunk;
    g_lastPending = chunk;
    return chunk;
}

// Every waiting line goes into its control, one chunk at a time, straight to
// the control's own procedure, past our subclass.
void WriteBufferedLines() {
    Chunk* first = TakePending();
    HWND log = g_bufferedLog;
    const WatcherRecord* record = log ? WatcherLogRecordOf(log) : nullptr;
    if (record) {
        const WNDPROC editProc = record->logProc;
        for (Chunk* chunk = first; chunk; chunk = chunk->next) {
            const LRESULT end = CallWindowProcA(editProc, log, WM_GETTEXTLENGTH, 0, 0);
            CallWindowProcA(editProc, log, EM_SETSEL, end, end);
            CallWindowProcA(editProc, log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(chunk->bytes()));
        }
    }
    FreeChunks(first);
}

LRESULT CALLBACK WatcherLogProc(HWND log, UINT message, WPARAM wParam, LPARAM lParam) {
    const WatcherRecord* record = WatcherLogRecordOf(log);
    if (!record)  // never in practice: the record outlives its log
        return 0;
    const WNDPROC editProc = record->logProc;
    if (message == WM_NCDESTROY) {
        // Nothing names a log that is gone: its waiting lines go with it.
        if (log == g_bufferedLog) {
            g_bufferedLog = nullptr;
            FreeChunks(TakePending());
        }
        if (log == g_watcherLog)
            g_watcherLog = nullptr;
    } else if (log == g_bufferedLog && message != WM_DESTROY) {
        WriteBufferedLines();
    }
    return CallWindowProcA(editProc, log, message, wParam, lParam);
}

}  // namespace

HWND CreateWatcherLog(HWND watcherWindow, WatcherRecord* record) {
    // Dialog units: x 5, y 5, 740 wide, 225 high.
    RECT box = {5, 5, 740, 225};
    MapDialogRect(watcherWindow, &box);
    HWND log = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", kFirstText, kLogStyle, box.left, box.top, box.right,
                               box.bottom, watcherWindow, reinterpret_cast<HMENU>(kLogId), g_moduleInstance,
                               nullptr);
    if (!log)
        return nullptr;
    SendMessageA(log, WM_SETFONT, SendMessageA(watcherWindow, WM_GETFONT, 0, 0), TRUE);
    SendMessageA(log, EM_SETLIMITTEXT, kLogLimit, 0);
    SetWindowLongPtrA(log, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    record->logProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatcherLogProc)));
    return log;
}

void AppendToWatcherLog(TextView line) {
    HWND log = g_watcherLog;
    if (!log)
        return;
    if (log != g_bufferedLog) {
        WriteBufferedLines();  // an earlier window's lines go to its own log
        g_bufferedLog = log;
    }
    const size_t needed = 2 + line.size;
    Chunk* chunk = RoomFor(needed);
    if (!chunk)
        return;
    char* at = chunk->bytes() + chunk->used;
    at[0] = '\r';
    at[1] = '\n';
    for (size_t i = 0; i < line.size; ++i)  // one short line: no call into msvcrt
        at[2 + i] = line.data[i];
    at[needed] = '\0';
    chunk->used += needed;
}

void ReleaseWatcherLogBuffer() {
    FreeChunks(TakePending());
}
