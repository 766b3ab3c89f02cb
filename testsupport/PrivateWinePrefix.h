// Tests that empty the user's cookies and URL cache run only where those
// belong to nobody: under Wine, in the project's own prefix (build/wineprefix,
// which tools/lib/wine-env.sh sets). On Windows, or in a developer's own
// prefix, they are skipped. Header only.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

inline bool InPrivateWinePrefix() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !::GetProcAddress(ntdll, "wine_get_version")) return false;
    wchar_t prefix[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring path(prefix, length);
    while (!path.empty() && path.back() == L'/') path.pop_back();
    const std::wstring own = L"/build/wineprefix";
    return path.size() >= own.size() && path.compare(path.size() - own.size(), own.size(), own) == 0;
}

// The first statement of such a test.
#define SKIP_OUTSIDE_PRIVATE_WINE_PREFIX() \
    if (!InPrivateWinePrefix()) GTEST_SKIP() << "clears the user's cookies: runs only in build/wineprefix"
