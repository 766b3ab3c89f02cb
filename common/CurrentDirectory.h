// The process's current directory, of any length.
#pragma once

#include <string>

// Empty when it cannot be read.
std::string CurrentDirectoryA();
std::wstring CurrentDirectoryW();
