#include "tools/varnik-host/plugin_file.h"

#include <windows.h>

namespace {

// The machine a PE file is built for, or 0 if it is not a PE file.
WORD PeMachine(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    IMAGE_DOS_HEADER dos = {};
    DWORD read = 0;
    WORD machine = 0;
    if (ReadFile(file, &dos, sizeof dos, &read, nullptr) && read == sizeof dos &&
        dos.e_magic == IMAGE_DOS_SIGNATURE &&
        SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        struct {
            DWORD signature;
            IMAGE_FILE_HEADER header;
        } nt = {};
        if (ReadFile(file, &nt, sizeof nt, &read, nullptr) && read == sizeof nt &&
            nt.signature == IMAGE_NT_SIGNATURE)
            machine = nt.header.Machine;
    }
    CloseHandle(file);
    return machine;
}

const char* MachineName(WORD machine) {
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "32-bit x86";
    case IMAGE_FILE_MACHINE_AMD64: return "x86-64";
    default: return "another machine";
    }
}

#if defined(_WIN64)
const WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
#else
const WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
#endif

}  // namespace

const char* OwnArchitecture() {
    return MachineName(kOwnMachine);
}

bool LoadPlugin(PluginHost& host, const std::string& path, std::string* error) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = "no such file: " + path;
        return false;
    }
    const WORD machine = PeMachine(path);
    if (machine == 0) {
        *error = path + " is not a Windows DLL";
        return false;
    }
    if (machine != kOwnMachine) {
        *error = path + " is built for " + MachineName(machine) + "; this varnik-host is " +
                 MachineName(kOwnMachine) + ": use the matching build";
        return false;
    }
    return host.Load(path, error);
}
