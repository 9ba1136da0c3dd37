// The watches running on this desktop, in any process, as `log`, `plug` and
// `unplug` find them: top-level "Dialog1" dialogs whose edit control 102 is a
// watcher log. Every message to another program's window times out, and
// nothing another program answers can make varnik-host crash or hang.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A window that looks like a watcher window from outside.
struct WatchWindow {
    HWND window;
    HWND log;  // its edit control 102
    DWORD pid;
    std::string program;  // the file name of the process's program, or "?"
};

// Every top-level window on this desktop that looks like a watcher window,
// in the system's order. Sends none of them a message.
std::vector<WatchWindow> FindWatchWindows();

// How long `log` waits for a watch to answer one message.
extern const UINT kLogAnswerMs;

// What reading a watch's log can come to.
enum class Answer {
    kAnswered,
    kNotAWatch,   // its text does not begin like a watcher log
    kTooLong,     // more text than one read takes: read it by lines instead
    kUnreadable,  // it answers beyond the room it was given, read after read
    kFailed,      // the message failed: `error` says why
};

// SendMessageTimeoutW, waiting `milliseconds` at most, with `flags`
// (SMTO_ABORTIFHUNG unless given); on failure `*error` is the reason
// (ERROR_TIMEOUT when it timed out). The answer is what the window says, not
// what it saw: judge by its log.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT milliseconds,
                     DWORD_PTR* answer, DWORD* error, UINT flags = SMTO_ABORTIFHUNG);

// Whether the log's text begins with the watcher log's first line, read
// with a message of a few dozen characters.
Answer CheckLogHead(HWND log, DWORD* error);

// The log's whole text, in the ANSI code page the plug-in wrote it in; empty
// when its length is still `*lastLength`, which it updates. kTooLong for a
// log of more than kMaxReadChars.
Answer ReadLogText(HWND log, DWORD_PTR* lastLength, std::string* text, DWORD* error);
extern const DWORD_PTR kMaxReadChars;

// The log's length in characters (WM_GETTEXTLENGTH).
bool LogLength(HWND log, DWORD_PTR* length, DWORD* error);

// A line of the log on its own: its text as far as the control gives it
// (Wine's edit control gives only its start), its number, the character it
// starts at and its whole length.
struct LogLine {
    std::string text;
    DWORD_PTR number;
    DWORD_PTR start;
    DWORD_PTR length;
};

// Where the lines that follow the one holding character `from` start and how
// long they are, at most `maxLines` of them, without their text: only
// numbers cross from the watch's process. The log wraps no line (its style
// scrolls sideways), so its lines are the plug-in's lines.
Answer LogLinesAfter(HWND log, DWORD_PTR from, int maxLines, std::vector<LogLine>* lines, DWORD* error);

// The same lines with their text, read one by one (EM_GETLINE), never the
// whole log.
Answer ReadLogLines(HWND log, DWORD_PTR from, int maxLines, std::vector<LogLine>* lines, DWORD* error);
extern const int kMaxLineChars;

// The bytes of the watcher log's first line.
size_t LogHeadSize();

// A failed message's reason, for a line about that watch:
// "did not answer within 2 seconds", "refused: ...", "failed: error N".
std::string FailureText(DWORD error, UINT milliseconds);

// "no watch is running on this desktop (session 1, WinSta0\Default)".
std::string NoWatchText();
