#include "app/ModulePath.h"

#include <gtest/gtest.h>

namespace {

TEST(ModulePath, MutexNameIsTheDirectoryWithSeparatorsColonsAndDotsReplaced) {
    EXPECT_EQ(InstanceMutexName(L"C:\\Games\\Client\\Quillmoor.exe"), L"C__Games_Client");
    EXPECT_EQ(InstanceMutexName(L"D:\\My.Games\\v1.0\\Quillmoor.exe"), L"D__My_Games_v1_0");
    EXPECT_EQ(InstanceMutexName(L"C:\\a/b\\Quillmoor.exe"), L"C__a_b");
    EXPECT_EQ(InstanceMutexName(L"C:\\Quillmoor.exe"), L"C_");
    EXPECT_EQ(InstanceMutexName(L"\\\\server\\share\\q.exe"), L"__server_share");
    EXPECT_EQ(InstanceMutexName(L"E:\\Program Files\\Game\\q.exe"), L"E__Program Files_Game");
}

TEST(ModulePath, DifferentDirectoriesGiveDifferentNames) {
    EXPECT_NE(InstanceMutexName(L"C:\\Games\\A\\Quillmoor.exe"), InstanceMutexName(L"C:\\Games\\B\\Quillmoor.exe"));
    EXPECT_EQ(InstanceMutexName(L"C:\\Games\\A\\Quillmoor.exe"), InstanceMutexName(L"C:\\Games\\A\\Other.exe"));
}

TEST(ModulePath, TheUpdateMarkerNeverTakesTheNameOfAnInstanceMutex) {
    EXPECT_EQ(UpdateMarkerName(L"C:\\Games\\Client\\Quillmoor.exe"), L"C__Games_Client.updating");
    // A folder named after another's marker still gets a mutex name of its own.
    EXPECT_EQ(InstanceMutexName(L"C:\\Games\\Client.updating\\Quillmoor.exe"), L"C__Games_Client_updating");
}

TEST(ModulePath, ExecutableFileNameIsTheLastComponent) {
    EXPECT_EQ(ExecutableFileName(L"C:\\Games\\Client\\Quillmoor.exe"), L"Quillmoor.exe");
    EXPECT_EQ(ExecutableFileName(L"C:\\Games\\Client\\Renamed Client.exe"), L"Renamed Client.exe");
    EXPECT_EQ(ExecutableFileName(L"Quillmoor.exe"), L"Quillmoor.exe");
    EXPECT_EQ(ExecutableFileName(L"C:\\dir\\"), L"");
}

}  // namespace
