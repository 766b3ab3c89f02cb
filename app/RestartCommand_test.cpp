#include "app/RestartCommand.h"

#include <gtest/gtest.h>

namespace {

TEST(RestartCommand, ThePathIsQuotedAndNamesTheInstalledBuild) {
    const RestartCommand plain = MakeRestartCommand(L"C:\\Games\\Client", L"Quillmoor.exe");
    EXPECT_EQ(plain.applicationPath, L"C:\\Games\\Client\\Quillmoor.exe");
    EXPECT_EQ(plain.commandLine, L"\"C:\\Games\\Client\\Quillmoor.exe\" re_open");

    const RestartCommand blanks = MakeRestartCommand(L"C:\\Program Files\\Orlenmark", L"My Client.exe");
    EXPECT_EQ(blanks.commandLine, L"\"C:\\Program Files\\Orlenmark\\My Client.exe\" re_open");

    // A drive root already ends in a backslash.
    EXPECT_EQ(MakeRestartCommand(L"D:\\", L"Quillmoor.exe").applicationPath, L"D:\\Quillmoor.exe");

    // No cut, however long.
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd');
    EXPECT_EQ(MakeRestartCommand(deep, L"Quillmoor.exe").commandLine.size(), deep.size() + 1 + 13 + 2 + 8);
}

}  // namespace
