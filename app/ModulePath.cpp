#include "app/ModulePath.h"

std::wstring InstanceMutexName(std::wstring_view modulePath) {
    const size_t slash = modulePath.rfind(L'\\');
    std::wstring name(slash == std::wstring_view::npos ? modulePath : modulePath.substr(0, slash));
    for (wchar_t& c : name) {
        if (c == L'\\' || c == L'/' || c == L':' || c == L'.') c = L'_';
    }
    return name;
}

std::wstring UpdateMarkerName(std::wstring_view modulePath) { return InstanceMutexName(modulePath) + L".updating"; }

std::wstring ExecutableFileName(std::wstring_view modulePath) {
    const size_t slash = modulePath.rfind(L'\\');
    return std::wstring(slash == std::wstring_view::npos ? modulePath : modulePath.substr(slash + 1));
}
