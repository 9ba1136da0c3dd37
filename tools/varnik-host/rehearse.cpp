#include "tools/varnik-host/rehearse.h"

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/plugin_host/device_broadcast.h"
#include "tools/varnik-host/output.h"
#include "tools/varnik-host/running_watches.h"

namespace {

const char kRehearsalHelp[] =
    "Rehearse without a stick: tells every running watch on this desktop that a\n"
    "volume has arrived (plug) or gone (unplug), with the WM_DEVICECHANGE message\n"
    "the system sends for a stick, so the watch reports \"Plug\" or \"UnPlug\".\n"
    "DRIVE is one letter, in either case, alone or with a colon and a backslash:\n"
    "E, E: or E:\\. It is reported as E:\\. Several drives (E: F:) go in one\n"
    "message, as the system may send them; the plug-in reports only the lowest.\n"
    "  --media       the flag the system gives a card or a disc: \"Media Drive\"\n"
    "  --net         the flag of a network drive: \"Network Drive\". Windows sends\n"
    "                it only when a network drive goes away with a hardware event\n"
    "                (a docking station, say), not when a drive is mapped\n"
    "                (neither: \"Local Drive\", what a stick's flags mean)\n"
    "  --folder DIR  plug: map the folder DIR as DRIVE first (DefineDosDevice), so\n"
    "                files open \"from the stick\"; a drive letter in use is refused.\n"
    "                unplug: remove that mapping again (give the same DIR).\n"
    "                Run it as the publication runs: a letter mapped from an\n"
    "                elevated prompt is not seen by a host that is not elevated\n"
    "  --wait N      wait N seconds at most (default 10) for each watch to finish\n"
    "                with the event, its callback included\n"
    "  --broadcast   send to every top-level window instead, as the system does:\n"
    "                every program that listens hears of a drive that is not\n"
    "                there, and Windows says nothing about who received it\n"
    "It finds the watches as log does and prints one line for each, judged by the\n"
    "watch's own log: \"received it\" once its log shows the event's line;\n"
    "\"received it; its callback is still running\" when it took the event and its\n"
    "callback has not returned within --wait (a message box, say); otherwise why\n"
    "not (a time-out, or a program with higher rights refusing it). A drive mapped\n"
    "with --folder stays while a watch may still be running its callback.\n"
    "It exits with 0 when any watch received the event, 1 when none did.\n";

// How long a watch may take over the event, callback included, unless
// --wait says otherwise.
const int kDefaultWaitSeconds = 10;
// How often a watch that has not finished with the event is asked whether it
// still reads its messages.
const DWORD kPollMs = 250;
// The most screen lines of a watch's log read for the event's line: events
// that arrive meanwhile come before it.
const int kMaxNewLines = 256;

std::string ErrorText(DWORD error) {
    return "error " + std::to_string(error);
}

std::string WatchName(const WatchWindow& watch) {
    return "watch in process " + std::to_string(watch.pid) + " (" + watch.program + ")";
}

// One send of the event, on a thread of its own, so that the watch can be
// watched meanwhile.
struct EventSend {
    HWND window;
    WPARAM event;
    const DEV_BROADCAST_VOLUME* volume;
    UINT milliseconds;
    bool sent;
    DWORD error;
};

DWORD WINAPI SendEvent(LPVOID parameter) {
    auto* send = static_cast<EventSend*>(parameter);
    DWORD_PTR answer = 0;
    // Not SMTO_ABORTIFHUNG: a watch still busy with an earlier callback
    // handles the event once it is done.
    send->sent =
        SendWithTimeout(send->window, WM_DEVICECHANGE, send->event, reinterpret_cast<LPARAM>(send->volume),
                        send->milliseconds, &answer, &send->error, SMTO_NORMAL);
    return 0;
}

// Whether the log gained a line of the event's line's length after its
// first `before` characters: a watcher log holds a line for each event it
// saw, and an arrival's line and a removal's differ in length, as do a
// network drive's and the others'. Only the lines' places and lengths are
// asked, no text: the watch copies nothing out for it, a long log costs no
// more than a short one, and Wine 8, which garbles a line's text read from
// another process (EM_GETLINE), is never asked for one.
bool LogShows(HWND log, DWORD_PTR before, const std::string& expected) {
    DWORD error = 0;
    std::vector<LogLine> lines;
    if (LogLinesAfter(log, before, kMaxNewLines, &lines, &error) != Answer::kAnswered)
        return false;
    for (const LogLine& line : lines)
        if (line.length == expected.size())
            return true;
    return false;
}

// What came of one watch.
enum class Verdict {
    kReceived,      // its log shows the event's line
    kStillRunning,  // it took the event and reads messages, but its callback has not returned
    kMayRun,        // it did not finish in time: its callback may be running
    kNotReceived,
};

// Sends the event to one watch and judges by the watch's own log whether it
// received it: a send can time out after the watch started on the event,
// and a blocked one can report success.
Verdict SendToWatch(const WatchWindow& watch, WPARAM event, const DEV_BROADCAST_VOLUME& volume,
                    const std::string& line, UINT waitMs) {
    DWORD error = 0;
    DWORD_PTR before = 0;
    if (!LogLength(watch.log, &before, &error)) {
        std::printf("%s %s\n", WatchName(watch).c_str(), FailureText(error, kLogAnswerMs).c_str());
        return Verdict::kNotReceived;
    }
    EventSend send = {watch.window, event, &volume, waitMs, false, 0};
    HANDLE thread = CreateThread(nullptr, 0, SendEvent, &send, 0, nullptr);
    if (!thread)
        SendEvent(&send);
    // A watch that answers another message while the event's send waits has
    // been handed the event: a thread that reads its messages is handed every
    // message sent to it first. Its callback is running (a message box, say).
    bool answersMeanwhile = false;
    const DWORD start = GetTickCount();
    while (thread && WaitForSingleObject(thread, kPollMs) == WAIT_TIMEOUT)
        if (!answersMeanwhile && GetTickCount() - start >= std::min<DWORD>(1000, waitMs / 2)) {
            DWORD_PTR length = 0;
            answersMeanwhile = SendWithTimeout(watch.log, WM_GETTEXTLENGTH, 0, 0, kPollMs, &length, &error);
        }
    if (thread)
        CloseHandle(thread);
    const std::string name = WatchName(watch);
    const std::string seconds = std::to_string(waitMs / 1000) + " seconds";
    const bool timedOut = !send.sent && send.error == ERROR_TIMEOUT;
    // A watch that reads no message cannot show its log: it is still busy,
    // with this event or with another.
    if (timedOut && !answersMeanwhile) {
        std::printf(
            "%s did not finish with it within %s: its callback may still be running (--wait N waits "
            "longer)\n",
            name.c_str(), seconds.c_str());
        return Verdict::kMayRun;
    }
    if (LogShows(watch.log, before, line)) {
        std::printf("%s received it\n", name.c_str());
        return Verdict::kReceived;
    }
    if (timedOut) {
        std::printf("%s received it; its callback is still running after %s\n", name.c_str(),
                    seconds.c_str());
        return Verdict::kStillRunning;
    }
    std::printf("%s %s\n", name.c_str(),
                send.sent ? "answered, but its log shows no line for the event"
                          : FailureText(send.error, waitMs).c_str());
    return Verdict::kNotReceived;
}

// The line the plug-in logs for the event: it reports the lowest drive.
std::string EventLine(WPARAM event, char lowest, WORD flags) {
    const char* kind = flags & DBTF_NET     ? "Network Drive"
                       : flags & DBTF_MEDIA ? "Media Drive"
                                            : "Local Drive";
    return VolumeLogLine(event == DBT_DEVICEARRIVAL ? "DBT_DEVICEARRIVAL" : "DBT_DEVICEREMOVECOMPLETE",
                         std::string(1, lowest) + ":\\", kind);
}

// The watches found by their window and their log's first line, as `log`
// finds them; a line for each that could not be asked, counted in `*unread`.
std::vector<WatchWindow> RunningWatches(int* unread) {
    std::vector<WatchWindow> watches;
    for (const WatchWindow& found : FindWatchWindows()) {
        DWORD error = 0;
        const Answer answer = CheckLogHead(found.log, &error);
        if (answer == Answer::kAnswered) {
            watches.push_back(found);
        } else if (answer == Answer::kFailed) {
            std::printf("%s %s\n", WatchName(found).c_str(), FailureText(error, kLogAnswerMs).c_str());
            ++*unread;
        }
    }
    return watches;
}

// "E", "E:" or "E:\" in either case, as an upper-case letter; 0 otherwise.
char DriveLetter(const std::string& arg) {
    if (arg.empty() || arg.size() > 3 || (arg.size() > 1 && arg[1] != ':') ||
        (arg.size() > 2 && arg[2] != '\\'))
        return 0;
    const char c = arg[0];
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? c : 0;
}

// What the system holds for a device name such as "E:" (its first target),
// or "" when the name is free.
std::string DosDeviceTarget(const std::string& device) {
    char targets[4096];
    return QueryDosDeviceA(device.c_str(), targets, sizeof targets) ? targets : "";
}

// DIR as a full path without a trailing backslash, the way a drive's target
// is written ("Z:" for a root, so that "E:\x" becomes "Z:\x").
std::string FolderTarget(const std::string& folder) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return "";
    std::string target(full, length);
    while (!target.empty() && target.back() == '\\')
        target.pop_back();
    return target;
}

// Removes exactly the mapping `target` (as QueryDosDevice gives it), never
// another definition of the same letter.
bool RemoveMapping(const std::string& device, const std::string& target) {
    return DefineDosDeviceA(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                            device.c_str(), target.c_str()) != 0;
}

int MapFolder(const std::string& device, const std::string& folder) {
    const std::string target = FolderTarget(folder);
    const DWORD attributes = target.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail("no such folder: " + folder, 2);
    if (DriveLetterInUse(device[0]))
        return Fail(device + " is in use: choose a free drive letter", 2);
    if (!DefineDosDeviceA(0, device.c_str(), target.c_str()))
        return Fail("cannot map " + folder + " as " + device + ": " + ErrorText(GetLastError()), 1);
    return 0;
}

int UnmapFolder(const std::string& device, const std::string& folder) {
    const std::string mapped = DosDeviceTarget(device);
    const std::string expected = "\\??\\" + FolderTarget(folder);
    if (mapped.empty() || lstrcmpiA(mapped.c_str(), expected.c_str()) != 0)
        return Fail(device + " is not mapped to " + folder + (mapped.empty() ? "" : ": it is " + mapped), 2);
    if (!RemoveMapping(device, mapped))
        return Fail("cannot remove " + device + ": " + ErrorText(GetLastError()), 1);
    return 0;
}

}  // namespace

bool DriveLetterInUse(char letter) {
    return (GetLogicalDrives() & (1u << (letter - 'A'))) ||
           !DosDeviceTarget(std::string(1, letter) + ":").empty();
}

std::string RehearsalHelp(bool arrival) {
    return std::string("usage: varnik-host ") + (arrival ? "plug" : "unplug") +
           " DRIVE [DRIVE...] [--media | --net] [--folder DIR] [--wait N] [--broadcast]\n" + kRehearsalHelp;
}

int Rehearse(bool arrival, const std::vector<std::string>& args) {
    const std::string command = arrival ? "plug" : "unplug";
    std::vector<std::string> drives;
    std::string folder;
    WORD flags = 0;
    bool broadcast = false;
    int waitSeconds = kDefaultWaitSeconds;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const WORD flag = arg == "--media" ? DBTF_MEDIA : arg == "--net" ? DBTF_NET : 0;
        if (flag) {
            if (flags & ~flag)
                return Fail("--media and --net exclude each other", 2);
            flags = flag;
        } else if (arg == "--folder") {
            if (i + 1 == args.size())
                return Fail("--folder needs a folder", 2);
            folder = args[++i];
        } else if (arg == "--broadcast") {
            broadcast = true;
        } else if (arg == "--wait") {
            if (i + 1 == args.size() || !ParseSeconds(args[++i], &waitSeconds) || waitSeconds == 0)
                return Fail("--wait takes a whole number of seconds from 1 to 86400", 2);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("bad option for " + command + ": " + arg, 2);
        } else {
            drives.push_back(arg);
        }
    }
    if (drives.empty())
        return Fail("no drive given: give a letter, such as E, E: or E:\\", 2);
    DWORD unitMask = 0;
    for (const std::string& drive : drives) {
        const char letter = DriveLetter(drive);
        if (!letter)
            return Fail("not a drive: " + drive + " (give a letter, such as E, E: or E:\\)", 2);
        unitMask |= 1u << (letter - 'A');
    }
    char lowest = 'A';
    while (!(unitMask & (1u << (lowest - 'A'))))
        ++lowest;
    const std::string device = std::string(1, lowest) + ":";
    if (!folder.empty() && (unitMask & (unitMask - 1)))
        return Fail("--folder maps one drive: give one drive with it", 2);

    // As the system does it: the drive exists when its arrival is announced,
    // and is gone when its removal is.
    if (!folder.empty()) {
        const int status = arrival ? MapFolder(device, folder) : UnmapFolder(device, folder);
        if (status != 0)
            return status;
    }
    if (unitMask != (1u << (lowest - 'A'))) {
        std::string letters;
        for (char c = 'A'; c <= 'Z'; ++c)
            if (unitMask & (1u << (c - 'A')))
                letters += letters.empty() ? std::string(1, c) : std::string(", ") + c;
        std::printf("one message for drives %s: the plug-in reports only %s\\\n", letters.c_str(),
                    device.c_str());
    }
    const WPARAM event = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    const DEV_BROADCAST_VOLUME volume = VolumeRecord(unitMask, flags);
    int status = 0;
    int unread = 0;
    bool mayStillUse = false;  // a watch may still be running its callback for the drive
    if (broadcast) {
        if (BroadcastDeviceChange(event, &volume))
            std::printf("sent to every top-level window (Windows says nothing about who received it)\n");
        else
            status = Fail("the broadcast failed: " + ErrorText(GetLastError()), 1);
    } else if (const std::vector<WatchWindow> watches = RunningWatches(&unread); !watches.empty()) {
        bool received = false;
        const std::string line = EventLine(event, lowest, flags);
        for (const WatchWindow& watch : watches) {
            const Verdict verdict =
                SendToWatch(watch, event, volume, line, static_cast<UINT>(waitSeconds) * 1000);
            received = received || verdict == Verdict::kReceived || verdict == Verdict::kStillRunning;
            mayStillUse = mayStillUse || verdict == Verdict::kMayRun;
            std::fflush(stdout);
        }
        status = received ? 0 : Fail("no watch received the event", 1);
    } else {
        status = Fail(unread ? "no watch received the event" : NoWatchText(), 1);
    }
    // Nobody heard of the drive: leave nothing of it behind, unless a watch
    // may still be reading from it.
    if (status != 0 && arrival && !folder.empty()) {
        if (mayStillUse)
            Fail(device + " stays mapped to " + folder + " while a watch may use it: unplug " + device +
                 " --folder " + folder + " removes it");
        else
            RemoveMapping(device, DosDeviceTarget(device));
    }
    return status;
}
