// A single-threaded COM apartment for the life of one test object, with the
// control-host window class registered as the program does before its entry
// point. Header only.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "toolkit/ControlHost.h"

class CComApartment {
public:
    CComApartment() {
        ::CoInitialize(nullptr);
        RegisterControlHostClass();
    }
    ~CComApartment() { ::CoUninitialize(); }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;
};
