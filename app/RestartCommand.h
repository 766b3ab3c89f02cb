// The command line that starts a freshly installed build. No Windows header.
#pragma once

#include <string>
#include <string_view>

struct RestartCommand {
    std::wstring applicationPath;  // the current directory, a backslash, the file name
    std::wstring commandLine;      // that path in quotes, then " re_open"
};

// The build installed in currentDirectory under exeFileName. The path is
// quoted, so a directory holding blanks ("C:\Program Files\...") can never
// start another program such as "C:\Program.exe".
RestartCommand MakeRestartCommand(std::wstring_view currentDirectory, std::wstring_view exeFileName);
