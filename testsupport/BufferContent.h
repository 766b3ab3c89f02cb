// The bytes a COutBuf holds, as a string the tests compare. Header only; no
// Windows header.
#pragma once

#include <string>

#include "common/OutBuf.h"

inline std::string Content(const COutBuf& buffer) {
    return buffer.GetLength() ? std::string(buffer.GetData(), static_cast<size_t>(buffer.GetLength())) : std::string();
}
