// The skin pictures: WEBP resources of the executable decoded into 32-bit
// bitmaps of premultiplied blue, green, red, alpha, for layered windows and
// stretched copies alike.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/GdiOwners.h"

struct WebPDecoderConfig;

// One decoded picture. Empty (no bitmap, 0 x 0) until a load succeeds.
class CSkinBitmap {
public:
    CSkinBitmap() = default;
    CSkinBitmap(const CSkinBitmap&) = delete;
    CSkinBitmap& operator=(const CSkinBitmap&) = delete;

    // Decodes the WEBP resource `id` of the executable in place of what the
    // object held. Failure of any kind (missing, empty, under 12 bytes, not
    // WebP) leaves the object empty.
    void LoadFromResource(uint16_t id, HMODULE module = nullptr);
    // Deletes the bitmap; the object is empty again.
    void Release();
    // Copies the picture onto target's rectangle (0, 0, width, height),
    // stretched, not blended (SRCCOPY); shrinking drops whole rows and
    // columns. An empty picture draws nothing.
    void StretchTo(HDC target, int32_t width, int32_t height) const;

    HBITMAP GetHandle() const { return m_hBitmap.get(); }
    int32_t GetWidth() const { return m_nWidth; }
    int32_t GetHeight() const { return m_nHeight; }

private:
    CBitmap m_hBitmap;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
};

// The picture holder the windows embed by value (four in each MyButton, the
// game window's title strip): a CSkinBitmap whose load reports success.
class CSkinPicture : public CSkinBitmap {
public:
    // Loads resource `id`; true always (an empty picture draws nothing).
    bool LoadFromResource(uint16_t id, HMODULE module = nullptr) {
        CSkinBitmap::LoadFromResource(id, module);
        return true;
    }
};

// A heap copy of the WEBP resource `id` (type name matched in any letter
// case), or a null pointer and 0 when it is missing or empty. The caller
// frees the copy with free(). Returns true in every case.
bool ReadWebpResource(uint16_t id, uint8_t** bytes, uint32_t* count, HMODULE module = nullptr);

// Decodes into config's RGBA output buffer, which the caller frees with
// WebPFreeDecBuffer. False when the library version, the features or the
// decoding fail.
bool DecodeWebp(const uint8_t* bytes, uint32_t count, WebPDecoderConfig* config);
