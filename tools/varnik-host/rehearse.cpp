#include "tools/varnik-host/rehearse.h"

#include <windows.h>

#include <dbt.h>

#include <string>

#include "tools/testhost/device_broadcast.h"
#include "tools/varnik-host/output.h"

namespace {

const char kRehearsalHelp[] =
    "Rehearse without a stick: tells every top-level window that a volume has\n"
    "arrived (plug) or gone (unplug) with the WM_DEVICECHANGE broadcast the system\n"
    "sends for a stick, so a running watch reports \"Plug\" or \"UnPlug\" for DRIVE.\n"
    "DRIVE is one letter, in either case, alone or with a colon and a backslash:\n"
    "E, E: or E:\\. It is reported as E:\\.\n"
    "  --media       the flag the system gives a card or a disc: \"Media Drive\"\n"
    "  --net         the flag of a network drive: \"Network Drive\"\n"
    "                (neither: \"Local Drive\")\n"
    "  --folder DIR  plug: map the folder DIR as DRIVE first (DefineDosDevice), so\n"
    "                files open \"from the stick\"; a drive letter in use is refused.\n"
    "                unplug: remove that mapping again (give the same DIR).\n"
    "It sends with SendMessageTimeout to HWND_BROADCAST, which reaches windows of\n"
    "other processes under Wine too (BroadcastSystemMessage fails there with error\n"
    "1159). Only programs that listen for these broadcasts see the rehearsal.\n";

std::string ErrorText(DWORD error) {
    return "error " + std::to_string(error);
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
           " DRIVE [--media | --net] [--folder DIR]\n" + kRehearsalHelp;
}

int Rehearse(bool arrival, const std::vector<std::string>& args) {
    const std::string command = arrival ? "plug" : "unplug";
    std::string drive;
    std::string folder;
    WORD flags = 0;
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
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("bad option for " + command + ": " + arg, 2);
        } else if (!drive.empty()) {
            return Fail("one drive at a time: " + arg, 2);
        } else {
            drive = arg;
        }
    }
    if (drive.empty())
        return Fail("no drive given: give a letter, such as E, E: or E:\\", 2);
    const char letter = DriveLetter(drive);
    if (!letter)
        return Fail("not a drive: " + drive + " (give a letter, such as E, E: or E:\\)", 2);

    const std::string device = std::string(1, letter) + ":";
    const DWORD unitMask = 1u << (letter - 'A');
    // As the system does it: the drive exists when its arrival is announced,
    // and is gone when its removal is.
    if (!folder.empty()) {
        const int status = arrival ? MapFolder(device, folder) : UnmapFolder(device, folder);
        if (status != 0)
            return status;
    }
    if (!BroadcastVolume(arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, unitMask, flags)) {
        const DWORD error = GetLastError();
        if (arrival && !folder.empty())
            RemoveMapping(device, DosDeviceTarget(device));
        return Fail("the broadcast did not reach every window: " + ErrorText(error), 1);
    }
    return 0;
}
