#include "tools/varnik-host/log.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "tools/varnik-host/output.h"
#include "tools/varnik-host/running_watches.h"

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
    "2 seconds (busy in a long callback, or hung) or refuses (it runs with higher\n"
    "rights) gets one line on stderr saying which, and is skipped; with --follow it\n"
    "is asked again every round, and its lines follow once it answers.\n"
    "It sees the watches of its own desktop only: run it in the session where the\n"
    "publication runs. With no watch running it says so, naming the desktop, and\n"
    "exits with 1.\n";

namespace {

const DWORD kPollMs = 100;

// A log too long to read at once shows the lines in this many characters at
// its end, at most this many lines a round.
const DWORD_PTR kTailChars = 150000;
const int kTailLines = 2000;

struct Watch {
    WatchWindow window;
    bool checked;          // its log begins as a watcher log does
    bool notAWatch;        // it does not, or answers beyond all bounds: never read again
    size_t printed;        // characters of the log's text already printed (its first line counts)
    bool byLines;          // too long to read at once: read line by line
    DWORD_PTR lastLength;  // WM_GETTEXTLENGTH's answer when it was last read
    DWORD failure;         // why the last read failed, as printed; 0 once it answers
};

std::atomic<bool> g_stop;
HWND g_lastHeaded;  // the log of the watch whose heading came last, in text output

BOOL WINAPI OnConsoleBreak(DWORD) {
    g_stop = true;
    return TRUE;
}

void PrintLine(const Watch& watch, const std::string& line, bool json) {
    const unsigned long pid = watch.window.pid;
    if (json) {
        std::printf("{\"pid\": %lu, \"program\": %s, \"line\": %s}\n", pid,
                    Json(watch.window.program).c_str(), Json(line).c_str());
    } else {
        if (g_lastHeaded != watch.window.log)
            std::printf("watch in process %lu (%s)\n", pid, watch.window.program.c_str());
        g_lastHeaded = watch.window.log;
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

std::string Named(const Watch& watch) {
    return "the watch in process " + std::to_string(watch.window.pid) + " (" + watch.window.program + ")";
}

// One line per failure, not per round: a watch that goes on failing the
// same way is not named again until it has answered.
void ReportFailure(Watch& watch, DWORD error, bool follow) {
    if (!IsWindow(watch.window.log) || error == watch.failure)  // a watch that has just ended is not hung
        return;
    watch.failure = error;
    Fail(Named(watch) + " " + FailureText(error, kLogAnswerMs) + (follow ? ": trying again" : ": skipped"));
}

// A log too long for one read: the lines after the characters already
// printed, read one by one; the first time, those in its last kTailChars
// characters only.
Answer ReadNewLines(Watch& watch, bool json, DWORD* error) {
    DWORD_PTR length = 0;
    if (!LogLength(watch.window.log, &length, error))
        return Answer::kFailed;
    if (length - std::min<DWORD_PTR>(length, watch.printed) > kTailChars) {
        Fail(Named(watch) + " has " + std::to_string(length) +
             " characters in its log, more than log reads at once: its lines from the last " +
             std::to_string(kTailChars) + " follow");
        watch.printed = length - kTailChars;
    }
    std::vector<LogLine> lines;
    const Answer answer = ReadLogLines(watch.window.log, watch.printed, kTailLines, &lines, error);
    for (const LogLine& line : lines) {
        PrintLine(watch, line.text, json);
        watch.printed = line.start + line.length;
    }
    std::fflush(stdout);
    return answer;
}

// Reads one watch: its first line once, then what it has added.
void Read(Watch& watch, bool json, bool follow) {
    DWORD error = 0;
    Answer answer = Answer::kAnswered;
    if (!watch.checked) {
        answer = CheckLogHead(watch.window.log, &error);
        watch.checked = answer == Answer::kAnswered;
        watch.printed = LogHeadSize();
    }
    std::string text;
    if (answer == Answer::kAnswered && !watch.byLines)
        answer = ReadLogText(watch.window.log, &watch.lastLength, &text, &error);
    if (answer == Answer::kTooLong)
        watch.byLines = true;
    if (watch.byLines && answer != Answer::kFailed)
        answer = ReadNewLines(watch, json, &error);
    if (answer == Answer::kFailed)
        return ReportFailure(watch, error, follow);
    watch.failure = 0;
    if (answer == Answer::kNotAWatch || answer == Answer::kUnreadable)
        watch.notAWatch = true;  // another program's "Dialog1" with an edit control 102
    else if (!watch.byLines)
        PrintNewLines(watch, text, json);
}

// Finds watches not seen before; reads every one that is still there, those
// that failed before included, in the order found.
void Poll(std::vector<Watch>& watches, bool json, bool follow) {
    for (const WatchWindow& found : FindWatchWindows())
        if (std::none_of(watches.begin(), watches.end(),
                         [&](const Watch& w) { return w.window.log == found.log; }))
            watches.push_back({found, false, false, 0, false, static_cast<DWORD_PTR>(-1), 0});
    for (Watch& watch : watches)
        if (!watch.notAWatch && IsWindow(watch.window.log))
            Read(watch, json, follow);
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
            return UsageError((arg[0] == '-' ? "bad option for log: " : "log takes no plug-in: ") + arg,
                              kLogHelp);
        }
    }
    if (seconds >= 0 && !follow)
        return UsageError("--seconds goes with --follow", kLogHelp);

    std::vector<Watch> watches;
    Poll(watches, json, follow);
    const bool read = std::any_of(watches.begin(), watches.end(),
                                  [](const Watch& w) { return w.checked && !w.notAWatch && !w.failure; });
    const bool failed = std::any_of(watches.begin(), watches.end(), [](const Watch& w) { return w.failure; });
    if (!read && !failed)
        return Fail(NoWatchText());
    if (!follow)
        return read ? 0 : 1;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    // Elapsed time as GetTickCount's difference, right across its wrap.
    const DWORD start = GetTickCount();
    const DWORD limit = static_cast<DWORD>(seconds) * 1000;
    while (!g_stop && (seconds < 0 || GetTickCount() - start < limit)) {
        Sleep(kPollMs);
        Poll(watches, json, follow);
    }
    return 0;
}
