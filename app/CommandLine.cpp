#include "app/CommandLine.h"

StartupCommand ParseCommandLine(std::wstring_view commandLine) {
    StartupCommand command;
    if (commandLine == L"re_open") {
        command.relaunched = true;
        return command;
    }
    if (!commandLine.starts_with(L"delfile")) return command;

    const size_t equals = commandLine.rfind(L'=');
    if (equals == std::wstring_view::npos) return command;
    const std::wstring_view path = commandLine.substr(equals + 1);
    if (path.empty() || path.size() > kMaxDeletePathLength) return command;
    command.fileToDelete.assign(path);
    return command;
}
