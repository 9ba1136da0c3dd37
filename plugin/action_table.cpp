#include "plugin/action_table.h"

#include <string>

#include "plugin/host_context.h"

namespace {

struct ActionRow {
    int32_t number;
    const char* name;
    const char* hint;
    // One type code per parameter; an action without parameters still hands
    // the host a single zero byte, never a null pointer.
    std::string typeCodes;
    uint8_t parameterCount;
};

void RegisterAction(AddActionCallback addAction, const ActionRow& row) {
    // The host copies what it keeps, so these live only for the call.
    const std::string name = row.name;
    const std::string hint = row.hint;
    const std::string typeCodes = row.typeCodes;
    addAction(row.number, name.c_str(), hint.c_str(), typeCodes.c_str(), row.parameterCount,
              row.parameterCount);
}

}  // namespace

void RegisterActions() {
    const ActionRow rows[] = {
        {kActionStart, "dw_USB_Start", "Starts the USB Control \r\ndw_USB_Start \"CallBack Neo Function\"",
         std::string(1, '\1'), 1},
        {kActionStop, "dw_USB_Stop", "Stops the USB Control \r\ndw_USB_Stop ", std::string(1, '\0'), 0},
    };
    for (const ActionRow& row : rows) {
        // Read anew for each row: the host may re-register from inside the call.
        AddActionCallback addAction = g_host.addAction;
        if (!addAction)
            return;
        RegisterAction(addAction, row);
    }
}
