#include "watcher/watcher_command.h"

std::string BuildWatcherCommand(const std::string& callbackName) {
    std::string command;
    command.reserve(callbackName.size() + 8);
    command += "Gosub \"";
    command += callbackName;
    command += '"';
    return command;
}
