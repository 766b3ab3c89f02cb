// The user-agent text of the download client. No Windows header.
#pragma once

#include <cstdint>
#include <string>

// "Agent" followed by the tick count printed as a signed 32-bit decimal, so a
// count above 2147483647 (a machine up for more than 24.8 days) reads as a
// negative number.
std::string AgentText(uint32_t tickCount);
