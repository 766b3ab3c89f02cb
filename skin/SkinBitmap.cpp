#include "skin/SkinBitmap.h"

#include <webp/decode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "skin/PixelConversion.h"

namespace {
// A RIFF header with its "WEBP" form type takes 12 bytes.
constexpr uint32_t kSmallestWebp = 12;
}  // namespace

bool ReadWebpResource(uint16_t id, uint8_t** bytes, uint32_t* count, HMODULE module) {
    *bytes = nullptr;
    *count = 0;
    const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"webp");
    if (!resource) return true;
    const DWORD size = ::SizeofResource(module, resource);
    if (size == 0) return true;
    const HGLOBAL loaded = ::LoadResource(module, resource);
    if (!loaded) return true;
    const void* data = ::LockResource(loaded);
    if (data) {
        if (auto* copy = static_cast<uint8_t*>(std::malloc(size))) {
            std::memcpy(copy, data, size);
            *bytes = copy;
            *count = size;
        }
    }
    ::FreeResource(loaded);
    return true;
}

bool DecodeWebp(const uint8_t* bytes, uint32_t count, WebPDecoderConfig* config) {
    if (!WebPInitDecoderConfig(config)) {
        std::fputs("Library version mismatch!\n", stderr);
        return false;
    }
    if (WebPGetFeatures(bytes, count, &config->input) != VP8_STATUS_OK) return false;
    config->output.colorspace = MODE_RGBA;
    return WebPDecode(bytes, count, config) == VP8_STATUS_OK;
}

void CSkinBitmap::LoadFromResource(uint16_t id, HMODULE module) {
    uint8_t* bytes = nullptr;
    uint32_t count = 0;
    ReadWebpResource(id, &bytes, &count, module);
    if (count >= kSmallestWebp) {
        WebPDecoderConfig config{};
        if (DecodeWebp(bytes, count, &config)) {
            const WebPRGBABuffer& rgba = config.output.u.RGBA;
            const int32_t width = config.output.width;
            const int32_t height = config.output.height;
            std::vector<uint8_t> pixels;
            try {
                pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
            } catch (...) {
                pixels.clear();  // out of memory: the picture stays empty
            }
            if (!pixels.empty()) {
                RgbaToPremultipliedBgra(rgba.rgba, width, height, rgba.stride, pixels.data());
                m_hBitmap = ::CreateBitmap(width, height, 1, 32, pixels.data());
                if (m_hBitmap) {
                    m_nWidth = width;
                    m_nHeight = height;
                }
            }
        }
        WebPFreeDecBuffer(&config.output);
    }
    std::free(bytes);
}

void CSkinBitmap::Release() {
    if (m_hBitmap) ::DeleteObject(m_hBitmap);
    m_hBitmap = nullptr;
    m_nWidth = m_nHeight = 0;
}

bool CSkinPicture::LoadFromResource(uint16_t id, HMODULE module) {
    delete m_pBitmap;
    m_pBitmap = new (std::nothrow) CSkinBitmap;
    if (!m_pBitmap) return true;
    m_pBitmap->LoadFromResource(id, module);
    m_hBitmap = m_pBitmap->m_hBitmap;
    m_nWidth = m_pBitmap->m_nWidth;
    m_nHeight = m_pBitmap->m_nHeight;
    return true;
}
