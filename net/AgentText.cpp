#include "net/AgentText.h"

std::string AgentText(uint32_t tickCount) {
    return "Agent" + std::to_string(static_cast<int32_t>(tickCount));
}
