// The owner of a WinINet handle. Closing an internet handle also ends every
// request opened on it.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "toolkit/ScopedResource.h"

using CInternetHandle = CScopedHandle<HINTERNET, ::InternetCloseHandle>;
