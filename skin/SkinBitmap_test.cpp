#include "skin/SkinBitmap.h"

#include <webp/decode.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "skin/PixelConversion.h"

namespace {

// The bitmap's pixels as premultiplied B, G, R, A rows.
std::vector<uint8_t> PixelsOf(HBITMAP bitmap, int32_t width, int32_t height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    ::GetBitmapBits(bitmap, static_cast<LONG>(pixels.size()), pixels.data());
    return pixels;
}

// A PAM file (RGB_ALPHA) written by Debian's dwebp at build time, beside this
// test executable.
bool ReadPam(const std::string& name, int32_t* width, int32_t* height, std::vector<uint8_t>* rgba) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self);
    path = path.substr(0, path.rfind(L'\\') + 1) + L"testdata\\" + std::wstring(name.begin(), name.end());
    std::ifstream in(path.c_str(), std::ios::binary);
    std::string line;
    *width = *height = 0;
    while (std::getline(in, line) && line != "ENDHDR") {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "WIDTH") fields >> *width;
        if (key == "HEIGHT") fields >> *height;
    }
    rgba->resize(static_cast<size_t>(*width) * *height * 4);
    in.read(reinterpret_cast<char*>(rgba->data()), static_cast<std::streamsize>(rgba->size()));
    return in.good() && *width > 0;
}

TEST(SkinBitmap, EveryPictureHasItsSizeAndAlphaWhereTheWindowNeedsIt) {
    struct Picture { int first, last, width, height; bool alpha; };
    const Picture pictures[] = {
        {271, 271, 1164, 717, true}, {272, 274, 205, 101, false}, {275, 277, 35, 35, false},
        {278, 289, 135, 29, false},  {290, 292, 40, 40, false},   {293, 295, 34, 25, true},
        {296, 296, 568, 258, false}, {297, 297, 568, 31, true},   {298, 300, 30, 25, true},
        {301, 301, 70, 31, false},   {302, 302, 50, 37, true},    {303, 314, 30, 25, true},
        {315, 315, 50, 37, true},
    };
    int decoded = 0;
    for (const Picture& picture : pictures) {
        for (int id = picture.first; id <= picture.last; ++id) {
            CSkinBitmap bitmap;
            bitmap.LoadFromResource(static_cast<uint16_t>(id));
            ASSERT_NE(bitmap.GetHandle(), nullptr) << id;
            EXPECT_EQ(bitmap.GetWidth(), picture.width) << id;
            EXPECT_EQ(bitmap.GetHeight(), picture.height) << id;
            const std::vector<uint8_t> pixels = PixelsOf(bitmap.GetHandle(), bitmap.GetWidth(), bitmap.GetHeight());
            bool anyTranslucent = false;
            for (size_t i = 3; i < pixels.size(); i += 4) anyTranslucent |= pixels[i] != 255;
            EXPECT_EQ(anyTranslucent, picture.alpha) << id;
            ++decoded;
        }
    }
    EXPECT_EQ(decoded, 45);
}

TEST(SkinBitmap, TheStartPictureIsClearOutsideItsRoundedFrame) {
    CSkinBitmap bitmap;
    bitmap.LoadFromResource(271);
    const int32_t width = bitmap.GetWidth(), height = bitmap.GetHeight();
    ASSERT_EQ(width, 1164);
    const std::vector<uint8_t> pixels = PixelsOf(bitmap.GetHandle(), width, height);
    const auto alpha = [&](int32_t x, int32_t y) { return pixels[(static_cast<size_t>(y) * width + x) * 4 + 3]; };
    // The frame runs from (24, 20) to (1140, 686) with corners of radius 34:
    // 30 x 26 pixels at each corner of the picture lie outside its arcs, and
    // the desktop shows through all of them.
    int seen = 0;
    for (int32_t y = 0; y < 26; ++y) {
        for (int32_t x = 0; x < 30; ++x) {
            const int32_t right = width - 1 - x, bottom = height - 1 - y;
            seen += alpha(x, y) + alpha(right, y) + alpha(x, bottom) + alpha(right, bottom);
        }
    }
    EXPECT_EQ(seen, 0);
    EXPECT_GT(alpha(width / 2, height / 2), 128);  // the panel inside is there
}

TEST(SkinBitmap, PixelsMatchDebiansDwebpAfterPremultiplication) {
    for (const int id : {271, 272, 295}) {
        int32_t width = 0, height = 0;
        std::vector<uint8_t> reference;
        ASSERT_TRUE(ReadPam(std::to_string(id) + ".pam", &width, &height, &reference)) << id;
        std::vector<uint8_t> expected(reference.size());
        RgbaToPremultipliedBgra(reference.data(), width, height, width * 4, expected.data());

        CSkinBitmap bitmap;
        bitmap.LoadFromResource(static_cast<uint16_t>(id));
        ASSERT_EQ(bitmap.GetWidth(), width);
        ASSERT_EQ(bitmap.GetHeight(), height);
        EXPECT_TRUE(PixelsOf(bitmap.GetHandle(), width, height) == expected) << id;
    }
}

TEST(SkinBitmap, MissingShortAndCorruptPicturesStayEmpty) {
    for (const uint16_t id : {9999, 9001, 9002}) {
        CSkinBitmap bitmap;
        bitmap.LoadFromResource(id);
        EXPECT_EQ(bitmap.GetHandle(), nullptr) << id;
        EXPECT_EQ(bitmap.GetWidth(), 0) << id;
        EXPECT_EQ(bitmap.GetHeight(), 0) << id;
    }
    uint8_t* bytes = reinterpret_cast<uint8_t*>(1);
    uint32_t count = 7;
    EXPECT_TRUE(ReadWebpResource(9999, &bytes, &count));
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(SkinBitmap, TheNamedRefreshIconIsThereToo) {
    const HRSRC resource = ::FindResourceW(nullptr, L"IDR_WEBP_PIC_SHUAXIN", L"WEBP");
    ASSERT_NE(resource, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(nullptr, resource)));
    WebPDecoderConfig config{};
    ASSERT_TRUE(DecodeWebp(bytes, ::SizeofResource(nullptr, resource), &config));
    EXPECT_EQ(config.output.width, 20);
    EXPECT_EQ(config.output.height, 20);
    WebPFreeDecBuffer(&config.output);
}

TEST(SkinPicture, ALoadReportsTrueAndReplacesThePictureItHeld) {
    CSkinPicture picture;
    EXPECT_TRUE(picture.LoadFromResource(297));
    const HBITMAP strip = picture.GetHandle();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(picture.GetWidth(), 568);
    EXPECT_EQ(picture.GetHeight(), 31);

    // The emblem takes the strip's place, and the strip's bitmap is gone.
    EXPECT_TRUE(picture.LoadFromResource(301));
    EXPECT_EQ(picture.GetWidth(), 70);
    BITMAP info{};
    EXPECT_EQ(::GetObjectW(strip, sizeof info, &info), 0);

    EXPECT_TRUE(picture.LoadFromResource(9999));  // missing: empty, still true
    EXPECT_EQ(picture.GetHandle(), nullptr);
    EXPECT_EQ(picture.GetWidth(), 0);
}

TEST(SkinPicture, StretchesOntoATargetAndAnEmptyOneDrawsNothing) {
    const HDC screen = ::GetDC(nullptr);
    const CMemoryDC target(screen);
    const CBitmap canvas(::CreateCompatibleBitmap(screen, 8, 4));
    ::ReleaseDC(nullptr, screen);
    const CSelectObject selected(target.get(), canvas.get());
    const COLORREF marker = RGB(1, 2, 3);
    ::SetPixel(target.get(), 7, 3, marker);

    CSkinPicture missing;
    missing.LoadFromResource(9999);
    missing.StretchTo(target.get(), 8, 4);
    EXPECT_EQ(::GetPixel(target.get(), 7, 3), marker);

    CSkinPicture goOn;  // no alpha: every pixel is opaque
    goOn.LoadFromResource(272);
    goOn.StretchTo(target.get(), 8, 4);
    EXPECT_NE(::GetPixel(target.get(), 7, 3), marker);
}

}  // namespace
