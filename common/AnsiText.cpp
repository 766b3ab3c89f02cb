#include "common/AnsiText.h"

#include <windows.h>

std::wstring WidenAnsi(std::string_view text) {
    if (text.empty() || text.size() > INT32_MAX) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed);
    return wide;
}
