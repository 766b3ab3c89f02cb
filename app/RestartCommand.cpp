#include "app/RestartCommand.h"

RestartCommand MakeRestartCommand(std::wstring_view currentDirectory, std::wstring_view exeFileName) {
    RestartCommand command;
    command.applicationPath.assign(currentDirectory);
    if (!command.applicationPath.empty() && command.applicationPath.back() != L'\\') command.applicationPath += L'\\';
    command.applicationPath += exeFileName;
    command.commandLine = L"\"" + command.applicationPath + L"\" re_open";
    return command;
}
