// The one script line the watcher sends the host: Gosub "Name", built from
// the callback subroutine name stored at the moment it is sent. The name is
// neither trimmed nor checked; no line end is added.
#pragma once

#include <string>

std::string BuildWatcherCommand(const std::string& callbackName);
