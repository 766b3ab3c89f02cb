// What the command line asks of a start. No Windows header.
#pragma once

#include <string>
#include <string_view>

// The longest "delfile" path that is acted on: 259 units plus the terminator
// fill a MAX_PATH buffer. A longer one would be cut and could name another file.
inline constexpr size_t kMaxDeletePathLength = 259;

struct StartupCommand {
    // The command line was exactly "re_open": started by our own restart.
    bool relaunched = false;
    // The "delfile" form with a usable path: delete this file, then start.
    // Empty when there is nothing to delete.
    std::wstring fileToDelete;
};

// Reads the text after the program name, as wWinMain receives it.
//  - exactly "re_open" (case-sensitive, no blanks) sets relaunched;
//  - text whose first 7 characters are "delfile" asks to delete the path after
//    its last "=", but only when there is an "=" and the path is 1 to 259
//    characters long;
//  - anything else is an ordinary start.
StartupCommand ParseCommandLine(std::wstring_view commandLine);
