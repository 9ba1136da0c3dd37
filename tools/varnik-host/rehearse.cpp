#include "tools/varnik-host/rehearse.h"

#include <windows.h>

#include <dbt.h>

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
    "  --net         the flag of a network drive: \"Network Drive\"\n"
    "                (neither: \"Local Drive\", as for a USB stick)\n"
    "  --folder DIR  plug: map the folder DIR as DRIVE first (DefineDosDevice), so\n"
    "                files open \"from the stick\"; a drive letter in use is refused.\n"
    "                unplug: remove that mapping again (give the same DIR).\n"
    "  --broadcast   send to every top-level window instead, as the system does:\n"
    "                every program that listens hears of a drive that is not\n"
    "                there, and Windows says nothing about who received it\n"
    "It finds the watches as log does and prints one line for each: whether it\n"
    "received the event, or why not (a watch in a program that runs with higher\n"
    "rights refuses it). It exits with 1 when no watch received the event.\n";

// How long one watch may take over the event, callback included.
const UINT kSendMs = 5000;

std::string ErrorText(DWORD error) {
    return "error " + std::to_string(error);
}

std::string WatchName(const WatchWindow& watch) {
    return "watch in process " + std::to_string(watch.pid) + " (" + watch.program + ")";
}

// Sends the event to each running watch and prints what came of it; returns
// the exit status.
int SendToWatches(const std::vector<WatchWindow>& watches, WPARAM event, const DEV_BROADCAST_VOLUME& volume) {
    bool received = false;
    for (const WatchWindow& watch : watches) {
        DWORD_PTR result = 0;
        DWORD error = 0;
        const bool sent = Ask(watch.window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume),
                              kSendMs, &result, &error);
        received = received || sent;
        std::printf("%s %s\n", WatchName(watch).c_str(),
                    sent ? "received it" : FailureText(error, kSendMs).c_str());
    }
    std::fflush(stdout);
    return received ? 0 : Fail("no watch received the event", 1);
}

// The watches whose log reads as a watcher log, as `log` reads it; a line
// for each that could not be asked, counted in `*unread`.
std::vector<WatchWindow> RunningWatches(int* unread) {
    std::vector<WatchWindow> watches;
    for (const WatchWindow& found : FindWatchWindows()) {
        DWORD error = 0;
        DWORD_PTR length = static_cast<DWORD_PTR>(-1);
        std::string text;
        Answer answer = CheckLogHead(found.log, &error);
        if (answer == Answer::kAnswered)
            answer = ReadLogText(found.log, &length, &text, &error);
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
    return (GetLogicalDrives() & (1u << (letter - 'A'))) || !DosDeviceTarget(std::string(1, letter) + ":").empty();
}

std::string RehearsalHelp(bool arrival) {
    return std::string("usage: varnik-host ") + (arrival ? "plug" : "unplug") +
           " DRIVE [DRIVE...] [--media | --net] [--folder DIR] [--broadcast]\n" + kRehearsalHelp;
}

int Rehearse(bool arrival, const std::vector<std::string>& args) {
    const std::string command = arrival ? "plug" : "unplug";
    std::vector<std::string> drives;
    std::string folder;
    WORD flags = 0;
    bool broadcast = false;
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
    if (broadcast) {
        if (BroadcastDeviceChange(event, &volume))
            std::printf("sent to every top-level window (Windows says nothing about who received it)\n");
        else
            status = Fail("the broadcast failed: " + ErrorText(GetLastError()), 1);
    } else if (const std::vector<WatchWindow> watches = RunningWatches(&unread); !watches.empty()) {
        status = SendToWatches(watches, event, volume);
    } else {
        status = Fail(unread ? "no watch received the event" : NoWatchText(), 1);
    }
    // Nobody heard of the drive: leave nothing of it behind.
    if (status != 0 && arrival && !folder.empty())
        RemoveMapping(device, DosDeviceTarget(device));
    return status;
}
