// The owner of a WinINet handle. Closing an internet handle also ends every
// request opened on it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "toolkit/ScopedResource.h"

struct InternetHandleTraits {
    using Type = HINTERNET;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type value) { return value != nullptr; }
    static void Release(Type value) { ::InternetCloseHandle(value); }
};
using CInternetHandle = CScopedResource<InternetHandleTraits>;
