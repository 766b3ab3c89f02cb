// The resources that Quillmoor.exe carries, read from the built executable
// beside this test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "res/resource.h"

namespace {

// A menu template as the resource compiler writes it: a header of two zero
// words, the popup (MF_POPUP | MF_END, its text), then each item (flags, id,
// text), the last one with MF_END.
std::vector<uint8_t> MenuTemplate(const std::wstring& popup, const std::vector<std::pair<WORD, std::wstring>>& items) {
    std::vector<uint8_t> bytes;
    auto word = [&](WORD value) {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    };
    auto text = [&](const std::wstring& value) {
        for (const wchar_t c : value) word(static_cast<WORD>(c));
        word(0);
    };
    word(0);
    word(0);
    word(MF_POPUP | MF_END);
    text(popup);
    for (size_t i = 0; i < items.size(); ++i) {
        word(i + 1 == items.size() ? MF_END : 0);
        word(items[i].first);
        text(items[i].second);
    }
    return bytes;
}

// The fields of a DLGTEMPLATEEX and its items that the windows rely on.
struct DialogItem {
    DWORD style, exStyle, id;
    short x, y, cx, cy;
    const wchar_t* className;  // "button" or "static", stored as a name or as its atom
};
struct DialogTemplate {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    bool hasCaption = false;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<DialogItem> items;
};

DialogTemplate ParseDialog(const uint8_t* data) {
    auto wordAt = [](const uint8_t*& p) { WORD v; std::memcpy(&v, p, 2); p += 2; return v; };
    auto dwordAt = [](const uint8_t*& p) { DWORD v; std::memcpy(&v, p, 4); p += 4; return v; };
    // A name, or an ordinal written as "#<number>".
    auto nameOrOrdinal = [&](const uint8_t*& p) -> std::wstring {
        WORD first = wordAt(p);
        if (first == 0xFFFF) return L"#" + std::to_wstring(wordAt(p));
        std::wstring name;
        for (; first != 0; first = wordAt(p)) name.push_back(static_cast<wchar_t>(::towlower(first)));
        return name;
    };
    auto align = [&](const uint8_t*& p) {
        p = data + ((p - data + 3) & ~3);
    };
    DialogTemplate dialog;
    const uint8_t* p = data;
    wordAt(p);  // dlgVer
    wordAt(p);  // signature 0xFFFF
    dwordAt(p); // helpID
    dialog.exStyle = dwordAt(p);
    dialog.style = dwordAt(p);
    const WORD count = wordAt(p);
    dialog.x = static_cast<short>(wordAt(p));
    dialog.y = static_cast<short>(wordAt(p));
    dialog.cx = static_cast<short>(wordAt(p));
    dialog.cy = static_cast<short>(wordAt(p));
    nameOrOrdinal(p);  // menu
    nameOrOrdinal(p);  // class
    dialog.hasCaption = !nameOrOrdinal(p).empty();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = wordAt(p);
        wordAt(p);   // weight
        p += 2;      // italic, charset
        for (WORD c = wordAt(p); c != 0; c = wordAt(p)) dialog.font.push_back(static_cast<wchar_t>(c));
    }
    for (WORD i = 0; i < count; ++i) {
        align(p);
        DialogItem item{};
        dwordAt(p);  // helpID
        item.exStyle = dwordAt(p);
        item.style = dwordAt(p);
        item.x = static_cast<short>(wordAt(p));
        item.y = static_cast<short>(wordAt(p));
        item.cx = static_cast<short>(wordAt(p));
        item.cy = static_cast<short>(wordAt(p));
        item.id = dwordAt(p);
        const std::wstring className = nameOrOrdinal(p);
        item.className = className == L"button" || className == L"#128"   ? L"button"
                         : className == L"static" || className == L"#130" ? L"static"
                                                                          : L"other";
        nameOrOrdinal(p);  // title
        p += wordAt(p);  // creation data
        dialog.items.push_back(item);
    }
    return dialog;
}

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

TEST_F(ResourcesTest, MenusHoldTheirItemsTextsAndEndFlagsExactly) {
    struct Menu { int id; std::vector<uint8_t> expected; };
    const Menu menus[] = {
        {239, MenuTemplate(L"\u6258\u76d8", {{32786, L"\u5237\u65b0            F5"},
                                              {32787, L"\u9690\u85cf/\u663e\u793a     F9"},
                                              {32788, L"\u6e05\u7406\u7f13\u5b58"},
                                              {32789, L"\u9000\u51fa"}})},
        {240, MenuTemplate(L"\u4e3b\u83dc\u5355", {{32781, L"\u5237\u65b0            F5"},
                                                     {32782, L"\u9690\u85cf/\u663e\u793a     F9"},
                                                     {32783, L"\u6e05\u7406\u7f13\u5b58"},
                                                     {32784, L"\u91cd\u7f6e\u7a97\u53e3"},
                                                     {32785, L"\u9000\u51fa"}})},
    };
    for (const Menu& menu : menus) {
        const HRSRC resource = ::FindResourceExW(m_module, MAKEINTRESOURCEW(4), MAKEINTRESOURCEW(menu.id),
                                                 MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
        ASSERT_NE(resource, nullptr) << menu.id;
        const auto* bytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(m_module, resource)));
        const std::vector<uint8_t> actual(bytes, bytes + ::SizeofResource(m_module, resource));
        EXPECT_EQ(actual, menu.expected) << menu.id;
    }
}

TEST_F(ResourcesTest, DialogTemplatesHaveTheirStylesFontsSizesAndControls) {
    auto load = [&](int id) {
        const HRSRC resource = ::FindResourceW(m_module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
        EXPECT_NE(resource, nullptr) << id;
        return ParseDialog(static_cast<const uint8_t*>(::LockResource(::LoadResource(m_module, resource))));
    };

    const DialogTemplate start = load(129);
    EXPECT_EQ(start.style, 0x80000040u);
    EXPECT_EQ(start.exStyle, 0u);
    EXPECT_EQ(start.cx, 1024);
    EXPECT_EQ(start.cy, 800);
    EXPECT_FALSE(start.hasCaption);
    EXPECT_EQ(start.font, L"Small Fonts");
    EXPECT_EQ(start.pointSize, 5);
    ASSERT_EQ(start.items.size(), 4u);
    const DialogItem startItems[] = {{0x5200002F, 0, 1001, 233, 159, 605, 365, L"static"},
                                     {0x4201002B, 0, 1006, 549, 527, 205, 101, L"button"},
                                     {0x4201002B, 0, 1007, 10017, 176, 30, 31, L"button"},
                                     {0x5201002B, 0, 1008, 782, 113, 40, 40, L"button"}};
    for (size_t i = 0; i < 4; ++i) {
        const DialogItem& a = start.items[i];
        const DialogItem& e = startItems[i];
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.style, e.style) << e.id;
        EXPECT_STREQ(a.className, e.className) << e.id;
        EXPECT_EQ(std::vector<short>({a.x, a.y, a.cx, a.cy}), std::vector<short>({e.x, e.y, e.cx, e.cy})) << e.id;
    }

    const DialogTemplate game = load(238);
    EXPECT_EQ(game.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | DS_SETFONT));
    EXPECT_EQ(game.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(game.cx, 1360);
    EXPECT_EQ(game.cy, 1020);
    EXPECT_EQ(game.font, L"Small Fonts");
    ASSERT_EQ(game.items.size(), 7u);
    const int gameIds[] = {1011, 1010, 1009, 1008, 1007, 1012, 1006};
    const short gameX[] = {0, 1233, 1257, 1281, 1305, 1305, 1329};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(game.items[i].id, static_cast<DWORD>(gameIds[i]));
        EXPECT_EQ(game.items[i].style, static_cast<DWORD>(BS_OWNERDRAW | WS_CHILD | WS_VISIBLE | WS_TABSTOP));
        EXPECT_EQ(game.items[i].x, gameX[i]);
        EXPECT_EQ(game.items[i].cy, i == 0 ? 27 : 25);
        EXPECT_STREQ(game.items[i].className, L"button");
    }

    const DialogTemplate window = load(262);
    EXPECT_EQ(window.style, 0x10000040u);
    EXPECT_EQ(window.exStyle, 0x00040000u);
    EXPECT_EQ(window.cx, 1024);
    EXPECT_EQ(window.cy, 800);
    EXPECT_TRUE(window.items.empty());
    EXPECT_EQ(window.pointSize, 5);
}

}  // namespace
