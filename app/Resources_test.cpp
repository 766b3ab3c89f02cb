// The resources that Quillmoor.exe carries, read from the built executable
// beside this test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "BuildConfig.h"
#include "res/resource.h"

namespace {

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
        ASSERT_GT(length, 0u);
        std::wstring exe(path, length);
        exe = exe.substr(0, exe.rfind(L'\\') + 1) + L"Quillmoor.exe";
        m_module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(m_module, nullptr) << "cannot open Quillmoor.exe beside the test";
    }
    void TearDown() override {
        if (m_module) ::FreeLibrary(m_module);
    }
    HMODULE m_module = nullptr;
};

TEST_F(ResourcesTest, String1016IsTheLocalVersion) {
    wchar_t text[256] = {};
    ASSERT_GT(::LoadStringW(m_module, IDS_LOCAL_VERSION, text, 255), 0);
    EXPECT_STREQ(text, QUILLMOOR_WIDEN(QUILLMOOR_LOCAL_VERSION_A));
    EXPECT_STREQ(text, L"1.0.5");
}

TEST_F(ResourcesTest, Icon128HasEveryShellSize) {
    for (const int size : {16, 24, 32, 48, 256}) {
        const HICON icon = static_cast<HICON>(
            ::LoadImageW(m_module, MAKEINTRESOURCEW(IDI_QUILLMOOR), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bitmap{};
        ::GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
    // Each size is a frame of its own in the icon group, not a scaled copy.
    HRSRC group = ::FindResourceW(m_module, MAKEINTRESOURCEW(IDI_QUILLMOOR), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* header = static_cast<const WORD*>(::LockResource(::LoadResource(m_module, group)));
    ASSERT_NE(header, nullptr);
    EXPECT_GE(header[2], 5);  // idCount
}

}  // namespace
