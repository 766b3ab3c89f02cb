// Conversion of narrow text, which this program reads in the ANSI code page.
#pragma once

#include <string>
#include <string_view>

// The text widened from the ANSI code page (CP_ACP); empty for empty input or
// when the conversion fails.
std::wstring WidenAnsi(std::string_view text);
