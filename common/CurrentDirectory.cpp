#include "common/CurrentDirectory.h"

#include <windows.h>

namespace {

// Asks for the needed size first, then reads; a directory that changed in
// between (and no longer fits) reads as empty.
template <typename Char, typename Read>
std::basic_string<Char> ReadCurrentDirectory(Read read) {
    const DWORD needed = read(0, nullptr);
    if (needed == 0) return {};
    std::basic_string<Char> directory(needed, Char());
    const DWORD length = read(needed, directory.data());
    if (length == 0 || length >= needed) return {};
    directory.resize(length);
    return directory;
}

}  // namespace

std::string CurrentDirectoryA() {
    return ReadCurrentDirectory<char>([](DWORD size, char* buffer) { return ::GetCurrentDirectoryA(size, buffer); });
}

std::wstring CurrentDirectoryW() {
    return ReadCurrentDirectory<wchar_t>(
        [](DWORD size, wchar_t* buffer) { return ::GetCurrentDirectoryW(size, buffer); });
}
