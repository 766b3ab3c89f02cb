// The skin pictures: WEBP resources of the executable decoded into 32-bit
// bitmaps of premultiplied blue, green, red, alpha, for layered windows and
// stretched copies alike.
#pragma once

#include <windows.h>

#include <cstdint>

struct WebPDecoderConfig;

// One decoded picture. Empty (null bitmap, 0 x 0) until a load succeeds.
class CSkinBitmap {
public:
    CSkinBitmap() = default;
    ~CSkinBitmap() { Release(); }
    CSkinBitmap(const CSkinBitmap&) = delete;
    CSkinBitmap& operator=(const CSkinBitmap&) = delete;

    // Decodes the WEBP resource `id` of the executable. Failure of any kind
    // (missing, empty, under 12 bytes, not WebP) leaves the object empty.
    void LoadFromResource(uint16_t id, HMODULE module = nullptr);
    // Deletes the bitmap; the object is empty again.
    void Release();

    HBITMAP m_hBitmap = nullptr;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
};

// The picture holder the windows embed by value: owns one CSkinBitmap and
// keeps copies of its handle and size for drawing.
class CSkinPicture {
public:
    CSkinPicture() = default;
    ~CSkinPicture() { delete m_pBitmap; }
    CSkinPicture(const CSkinPicture&) = delete;
    CSkinPicture& operator=(const CSkinPicture&) = delete;

    // Loads resource `id` into a new CSkinBitmap; true always (an empty
    // picture shows as a null handle). Called once per holder.
    bool LoadFromResource(uint16_t id, HMODULE module = nullptr);

    CSkinBitmap* m_pBitmap = nullptr;
    HBITMAP m_hBitmap = nullptr;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
};

// A heap copy of the WEBP resource `id` (type name matched in any letter
// case), or a null pointer and 0 when it is missing or empty. The caller
// frees the copy with free(). Returns true in every case.
bool ReadWebpResource(uint16_t id, uint8_t** bytes, uint32_t* count, HMODULE module = nullptr);

// Decodes into config's RGBA output buffer, which the caller frees with
// WebPFreeDecBuffer. False when the library version, the features or the
// decoding fail.
bool DecodeWebp(const uint8_t* bytes, uint32_t count, WebPDecoderConfig* config);
