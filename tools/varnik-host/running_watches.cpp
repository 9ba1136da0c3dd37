#include "tools/varnik-host/running_watches.h"

#include <tlhelp32.h>

#include <algorithm>
#include <climits>
#include <cstring>

const UINT kLogAnswerMs = 2000;
// One read of a whole log: 32 MB of text, about 110,000 events. A longer log
// is still a watch's: `log` reads its last lines one by one.
const DWORD_PTR kMaxReadChars = 16 * 1024 * 1024;
// A watcher log's line is about 150 characters; a longer one is not its.
const int kMaxLineChars = 1024;

namespace {

const char kFirstLine[] = "Unplug and re-seat USB connection to see results";
const int kLogId = 102;
// Lines may arrive between asking the length and reading the text; a log
// that outgrows every read this often is not one.
const int kReadTries = 4;
const DWORD_PTR kRoomToGrow = 4096;

// From a process snapshot, which needs no access to the process itself: it
// names the program of an elevated host too, on every Windows from XP on.
std::string ProgramName(DWORD pid) {
    std::string name = "?";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return name;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == pid) {
            const char* slash = std::strrchr(entry.szExeFile, '\\');
            name = slash ? slash + 1 : entry.szExeFile;
            break;
        }
    CloseHandle(snapshot);
    return name;
}

// A watcher window's log control: a top-level dialog captioned "Dialog1"
// with an EDIT child of id 102. Nothing here sends the window a message:
// for another process's window, GetWindowText reads the caption the system
// keeps, so a host that does not answer cannot hang it (log, plug and unplug
// own no window of their own).
HWND WatcherLogOf(HWND window) {
    WCHAR caption[16] = {};
    char className[16] = {};
    if (GetWindowTextW(window, caption, 16) != 7 || lstrcmpW(caption, L"Dialog1") != 0 ||
        !GetClassNameA(window, className, sizeof className) || std::strcmp(className, "#32770") != 0)
        return nullptr;
    HWND log = GetDlgItem(window, kLogId);
    if (!log || !GetClassNameA(log, className, sizeof className) || lstrcmpiA(className, "EDIT") != 0)
        return nullptr;
    return log;
}

BOOL CALLBACK CollectWatchWindow(HWND window, LPARAM found) {
    if (HWND log = WatcherLogOf(window)) {
        WatchWindow watch = {window, log, 0, ""};
        GetWindowThreadProcessId(window, &watch.pid);
        watch.program = ProgramName(watch.pid);
        reinterpret_cast<std::vector<WatchWindow>*>(found)->push_back(watch);
    }
    return TRUE;
}

// WM_GETTEXT into room for `room` characters; `*filled` when the text took
// all of it, as a text that does not fit does.
bool GetText(HWND log, DWORD_PTR room, std::wstring* wide, bool* filled, DWORD* error) {
    wide->assign(room, L'\0');
    DWORD_PTR copied = 0;
    if (!SendWithTimeout(log, WM_GETTEXT, room, reinterpret_cast<LPARAM>(&(*wide)[0]), kLogAnswerMs, &copied,
                         error))
        return false;
    copied = std::min(copied, room - 1);  // an answer beyond the room is no count of what came back
    *filled = copied + 1 == room;
    wide->resize(copied);
    return true;
}

// The text in the ANSI code page the plug-in wrote it in.
std::string Narrow(const std::wstring& wide) {
    const int size = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(std::max(bytes, 0)), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &text[0], bytes, nullptr, nullptr);
    return text;
}

// A log too long for one read is read by lines: its last line must end
// where its length says the text does, or later (lines keep arriving).
Answer TextReachesLength(HWND log, DWORD_PTR length, DWORD* error) {
    DWORD_PTR lines = 0;
    DWORD_PTR start = 0;
    DWORD_PTR last = 0;
    if (!SendWithTimeout(log, EM_GETLINECOUNT, 0, 0, kLogAnswerMs, &lines, error))
        return Answer::kFailed;
    if (lines == 0)
        return Answer::kUnreadable;
    if (!SendWithTimeout(log, EM_LINEINDEX, lines - 1, 0, kLogAnswerMs, &start, error) ||
        !SendWithTimeout(log, EM_LINELENGTH, start, 0, kLogAnswerMs, &last, error))
        return Answer::kFailed;
    return start + last >= length ? Answer::kTooLong : Answer::kUnreadable;
}

}  // namespace

std::vector<WatchWindow> FindWatchWindows() {
    std::vector<WatchWindow> found;
    EnumWindows(CollectWatchWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The wide form: under Wine 8, SendMessageTimeoutA of a text message that
// timed out reports success, and the next one then waits for good.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT milliseconds,
                     DWORD_PTR* answer, DWORD* error, UINT flags) {
    SetLastError(0);
    if (SendMessageTimeoutW(window, message, wParam, lParam, flags, milliseconds, answer))
        return true;
    // Windows 2000 left 0 for a time-out.
    *error = GetLastError() ? GetLastError() : ERROR_TIMEOUT;
    return false;
}

size_t LogHeadSize() {
    return sizeof kFirstLine - 1;
}

Answer CheckLogHead(HWND log, DWORD* error) {
    // Room for the first line, the CR LF after it and a little more.
    std::wstring head;
    bool filled = false;
    if (!GetText(log, LogHeadSize() + 8, &head, &filled, error))
        return Answer::kFailed;
    const std::wstring first(kFirstLine, kFirstLine + LogHeadSize());
    if (head.compare(0, first.size(), first) != 0)
        return Answer::kNotAWatch;
    const std::wstring after = head.substr(first.size(), 2);
    return after.empty() || after == L"\r\n" ? Answer::kAnswered : Answer::kNotAWatch;
}

Answer ReadLogText(HWND log, DWORD_PTR* lastLength, std::string* text, DWORD* error) {
    text->clear();
    for (int tries = 0; tries < kReadTries; ++tries) {
        DWORD_PTR length = 0;
        if (!SendWithTimeout(log, WM_GETTEXTLENGTH, 0, 0, kLogAnswerMs, &length, error))
            return Answer::kFailed;
        if (length > kMaxReadChars)
            return TextReachesLength(log, length, error);
        if (length == *lastLength)
            return Answer::kAnswered;
        std::wstring wide;
        bool filled = false;
        if (!GetText(log, length + kRoomToGrow, &wide, &filled, error))
            return Answer::kFailed;
        if (!filled) {
            *lastLength = length;
            *text = Narrow(wide);
            return Answer::kAnswered;
        }
    }
    return Answer::kUnreadable;
}

bool LogLength(HWND log, DWORD_PTR* length, DWORD* error) {
    return SendWithTimeout(log, WM_GETTEXTLENGTH, 0, 0, kLogAnswerMs, length, error);
}

Answer LogLinesAfter(HWND log, DWORD_PTR from, int maxLines, std::vector<LogLine>* lines, DWORD* error) {
    lines->clear();
    DWORD_PTR line = 0;
    DWORD_PTR count = 0;
    if (!SendWithTimeout(log, EM_LINEFROMCHAR, from, 0, kLogAnswerMs, &line, error) ||
        !SendWithTimeout(log, EM_GETLINECOUNT, 0, 0, kLogAnswerMs, &count, error))
        return Answer::kFailed;
    // The line holding `from` is one already read, or the rest of one.
    for (++line; line < count && lines->size() < static_cast<size_t>(maxLines); ++line) {
        LogLine found = {"", line, 0, 0};
        if (!SendWithTimeout(log, EM_LINEINDEX, line, 0, kLogAnswerMs, &found.start, error) ||
            !SendWithTimeout(log, EM_LINELENGTH, found.start, 0, kLogAnswerMs, &found.length, error))
            return Answer::kFailed;
        lines->push_back(found);
    }
    return Answer::kAnswered;
}

Answer ReadLogLines(HWND log, DWORD_PTR from, int maxLines, std::vector<LogLine>* lines, DWORD* error) {
    const Answer answer = LogLinesAfter(log, from, maxLines, lines, error);
    if (answer != Answer::kAnswered)
        return answer;
    for (LogLine& line : *lines) {
        std::wstring wide(kMaxLineChars + 1, L'\0');
        wide[0] = static_cast<wchar_t>(kMaxLineChars);  // EM_GETLINE's room, in its first WORD
        DWORD_PTR copied = 0;
        if (!SendWithTimeout(log, EM_GETLINE, line.number, reinterpret_cast<LPARAM>(&wide[0]), kLogAnswerMs,
                             &copied, error))
            return Answer::kFailed;
        if (copied > kMaxLineChars || copied > line.length)
            return Answer::kUnreadable;  // an answer beyond the room, or beyond the line, counts nothing
        wide.resize(copied);
        line.text = Narrow(wide);
    }
    return Answer::kAnswered;
}

std::string FailureText(DWORD error, UINT milliseconds) {
    if (error == ERROR_TIMEOUT)
        return "did not answer within " + std::to_string(milliseconds / 1000) + " seconds";
    // User Interface Privilege Isolation: a message to a process of higher
    // integrity (an elevated host) is blocked with "access denied".
    if (error == ERROR_ACCESS_DENIED)
        return "refused: the publication runs with higher rights: run varnik-host as administrator too";
    return "failed: error " + std::to_string(error);
}

std::string NoWatchText() {
    char station[256] = "?";
    char desktop[256] = "?";
    DWORD needed = 0;
    GetUserObjectInformationA(GetProcessWindowStation(), UOI_NAME, station, sizeof station, &needed);
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop, sizeof desktop,
                              &needed);
    DWORD session = 0;
    const std::string sessionText = ProcessIdToSessionId(GetCurrentProcessId(), &session)
                                        ? "session " + std::to_string(session) + ", "
                                        : "";
    return "no watch is running on this desktop (" + sessionText + station + "\\" + desktop + ")";
}
