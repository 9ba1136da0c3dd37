#include "plugin/host_context.h"

HostContext g_host;
