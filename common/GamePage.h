// The game page both browsers show, and the text their hosts are created
// from. No Windows header.
#pragma once

#include <string>

#include "BuildConfig.h"

// "http://<game host>/wd/tov/index.htm".
inline std::wstring GamePageAddress() {
    return std::wstring(L"http://") + quillmoor::config::kGameHostW + L"/wd/tov/index.htm";
}

// An inline page framing the game page. It holds a colon inside the address
// and none right after "MSHTML", so the host reads it as an address.
inline std::wstring GameCreationText() {
    return L"MSHTML<HTML><BODY><IFRAME scrolling='auto' src='" + GamePageAddress() + L"'/></BODY></HTML>";
}
