#include "tools/varnik-host/log.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "tools/varnik-host/output.h"

const char kLogHelp[] =
    "usage: varnik-host log [--follow] [--seconds N] [--json]\n"
    "Prints the watcher log of every watch running on this desktop, in any\n"
    "process: the hidden log inside each watcher window, with one report line for\n"
    "every device-change message that watch received, volume or not, whether or not\n"
    "it ran the callback. For each watch: a heading with the process id and the\n"
    "program's file name, then its lines in order, exactly as the plug-in wrote them.\n"
    "  --follow     go on printing new lines as they arrive, until Ctrl+C\n"
    "  --seconds N  with --follow: stop after N seconds\n"
    "  --json       one JSON object per line: {\"pid\": ..., \"program\": ..., \"line\": ...}\n"
    "The log is read with SendMessageTimeout: a host that does not answer within\n"
    "2 seconds gets one line on stderr and its watch is skipped from then on.\n"
    "With no watch running it says so in one line and exits with 1.\n";

namespace {

const char kFirstLine[] = "Unplug and re-seat USB connection to see results";
const int kLogId = 102;
const UINT kAnswerMs = 2000;
const DWORD kPollMs = 100;

struct Watch {
    HWND log;
    DWORD pid;
    std::string program;
    size_t printed;         // bytes of the log's text already printed (its first line counts)
    DWORD_PTR lastLength;   // WM_GETTEXTLENGTH's answer when it was last read
    bool skipped;           // it did not answer in time
};

std::atomic<bool> g_stop;
HWND g_lastHeaded;  // the log of the watch whose heading came last, in text output

BOOL WINAPI OnConsoleBreak(DWORD) {
    g_stop = true;
    return TRUE;
}

std::string ProgramName(DWORD pid) {
    std::string name = "?";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return name;
    char path[MAX_PATH];
    DWORD size = sizeof path;
    if (QueryFullProcessImageNameA(process, 0, path, &size)) {
        const char* slash = std::strrchr(path, '\\');
        name = slash ? slash + 1 : path;
    }
    CloseHandle(process);
    return name;
}

// A watcher window's log control: a top-level dialog captioned "Dialog1"
// with an EDIT child of id 102. Nothing here sends the window a message
// (InternalGetWindowText reads the caption as the system keeps it).
HWND WatcherLogOf(HWND window) {
    WCHAR caption[16] = {};
    char className[16] = {};
    if (InternalGetWindowText(window, caption, 16) != 7 || lstrcmpW(caption, L"Dialog1") != 0 ||
        !GetClassNameA(window, className, sizeof className) || std::strcmp(className, "#32770") != 0)
        return nullptr;
    HWND log = GetDlgItem(window, kLogId);
    if (!log || !GetClassNameA(log, className, sizeof className) || lstrcmpiA(className, "EDIT") != 0)
        return nullptr;
    return log;
}

BOOL CALLBACK CollectLog(HWND window, LPARAM found) {
    if (HWND log = WatcherLogOf(window))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(log);
    return TRUE;
}

// The wide form: under Wine 8, SendMessageTimeoutA of a text message that
// timed out reports success, and the next one then waits for good.
bool Ask(HWND log, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer) {
    return SendMessageTimeoutW(log, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, answer) != 0;
}

// The log's whole text, in the ANSI code page the plug-in wrote it in; false
// when its window does not answer in time. Asking makes the plug-in put any
// buffered lines into the control first.
bool ReadLog(Watch& watch, std::string* text) {
    DWORD_PTR length = 0;
    if (!Ask(watch.log, WM_GETTEXTLENGTH, 0, 0, &length))
        return false;
    text->clear();
    if (length == watch.lastLength)
        return true;
    // Lines may arrive between the two messages: read again until it fits.
    for (size_t room = length + 4096;; room *= 2) {
        std::wstring wide(room, L'\0');
        DWORD_PTR copied = 0;
        if (!Ask(watch.log, WM_GETTEXT, room, reinterpret_cast<LPARAM>(&wide[0]), &copied))
            return false;
        if (copied + 1 < room) {
            watch.lastLength = length;
            const int size = static_cast<int>(copied);
            const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
            text->resize(static_cast<size_t>(bytes));
            WideCharToMultiByte(CP_ACP, 0, wide.data(), size, &(*text)[0], bytes, nullptr, nullptr);
            return true;
        }
    }
}

void PrintLine(const Watch& watch, const std::string& line, bool json) {
    if (json) {
        std::printf("{\"pid\": %lu, \"program\": %s, \"line\": %s}\n", static_cast<unsigned long>(watch.pid),
                    Json(watch.program).c_str(), Json(line).c_str());
    } else {
        if (g_lastHeaded != watch.log)
            std::printf("watch in process %lu (%s)\n", static_cast<unsigned long>(watch.pid), watch.program.c_str());
        g_lastHeaded = watch.log;
        std::printf("%s\n", line.c_str());
    }
}

// Prints the lines of `text` after the first `watch.printed` bytes: each
// begins after a CR LF and runs to the next one or to the end.
void PrintNewLines(Watch& watch, const std::string& text, bool json) {
    if (text.size() <= watch.printed)
        return;
    size_t at = watch.printed;
    while (text.compare(at, 2, "\r\n") == 0) {
        const size_t start = at + 2;
        const size_t end = std::min(text.find("\r\n", start), text.size());
        PrintLine(watch, text.substr(start, end - start), json);
        at = end;
    }
    watch.printed = at;
    std::fflush(stdout);
}

void SkipHung(Watch& watch) {
    watch.skipped = true;
    if (IsWindow(watch.log))  // a watch that has just ended is not hung
        Fail("the watch in process " + std::to_string(watch.pid) + " (" + watch.program +
             ") did not answer within 2 seconds: skipped");
}

// Finds watches not seen before, checks each one's first line, prints all
// its lines; then prints what the known ones have added.
void Poll(std::vector<Watch>& watches, bool json) {
    std::vector<HWND> logs;
    EnumWindows(CollectLog, reinterpret_cast<LPARAM>(&logs));
    for (HWND log : logs) {
        if (std::any_of(watches.begin(), watches.end(), [log](const Watch& w) { return w.log == log; }))
            continue;
        Watch watch = {log, 0, "", 0, static_cast<DWORD_PTR>(-1), false};
        GetWindowThreadProcessId(log, &watch.pid);
        watch.program = ProgramName(watch.pid);
        std::string text;
        if (!ReadLog(watch, &text)) {
            SkipHung(watch);
            watches.push_back(watch);
            continue;
        }
        // Another program's "Dialog1" with an edit control 102 is no watch.
        const size_t first = sizeof kFirstLine - 1;
        if (text.compare(0, first, kFirstLine) != 0 || (text.size() > first && text.compare(first, 2, "\r\n") != 0))
            continue;
        watch.printed = first;
        watches.push_back(watch);
        PrintNewLines(watches.back(), text, json);
    }
    for (Watch& watch : watches) {
        if (watch.skipped || !IsWindow(watch.log))
            continue;
        std::string text;
        if (ReadLog(watch, &text))
            PrintNewLines(watch, text, json);
        else
            SkipHung(watch);
    }
}

}  // namespace

int Log(const std::vector<std::string>& args) {
    bool follow = false;
    bool json = false;
    int seconds = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--follow") {
            follow = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--seconds" && i + 1 < args.size()) {
            if (!ParseSeconds(args[++i], &seconds))
                return UsageError(kSecondsError, kLogHelp);
        } else {
            return UsageError((arg[0] == '-' ? "bad option for log: " : "log takes no plug-in: ") + arg, kLogHelp);
        }
    }
    if (seconds >= 0 && !follow)
        return UsageError("--seconds goes with --follow", kLogHelp);

    std::vector<Watch> watches;
    Poll(watches, json);
    const bool any = std::any_of(watches.begin(), watches.end(), [](const Watch& w) { return !w.skipped; });
    if (watches.empty())
        return Fail("no watch is running on this desktop");
    if (!follow)
        return any ? 0 : 1;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (!g_stop && (seconds < 0 || GetTickCount64() < deadline)) {
        Sleep(kPollMs);
        Poll(watches, json);
    }
    return 0;
}
