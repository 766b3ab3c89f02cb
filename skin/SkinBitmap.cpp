#include "skin/SkinBitmap.h"

#include <webp/decode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/HeapBlock.h"
#include "skin/PixelConversion.h"

namespace {

// A RIFF header with its "WEBP" form type takes 12 bytes.
constexpr uint32_t kSmallestWebp = 12;

// A decoder configuration whose output buffer is freed (WebPFreeDecBuffer)
// when it goes, whether or not decoding got as far as filling it.
struct CDecodedWebp {
    CDecodedWebp() = default;
    ~CDecodedWebp() { WebPFreeDecBuffer(&config.output); }
    CDecodedWebp(const CDecodedWebp&) = delete;
    CDecodedWebp& operator=(const CDecodedWebp&) = delete;

    WebPDecoderConfig config{};
};

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
    Release();
    uint8_t* copy = nullptr;
    uint32_t count = 0;
    ReadWebpResource(id, &copy, &count, module);
    const CHeapBlock<uint8_t> bytes(copy);
    if (count < kSmallestWebp) return;
    CDecodedWebp decoded;
    if (!DecodeWebp(bytes.get(), count, &decoded.config)) return;

    const WebPRGBABuffer& rgba = decoded.config.output.u.RGBA;
    const int32_t width = decoded.config.output.width;
    const int32_t height = decoded.config.output.height;
    std::vector<uint8_t> pixels;
    try {
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    } catch (...) {
        return;  // out of memory: the picture stays empty
    }
    if (pixels.empty()) return;
    RgbaToPremultipliedBgra(rgba.rgba, width, height, rgba.stride, pixels.data());
    m_hBitmap.reset(::CreateBitmap(width, height, 1, 32, pixels.data()));
    if (!m_hBitmap) return;
    m_nWidth = width;
    m_nHeight = height;
}

void CSkinBitmap::Release() {
    m_hBitmap.reset();
    m_nWidth = m_nHeight = 0;
}

void CSkinBitmap::StretchTo(HDC target, int32_t width, int32_t height) const {
    if (!m_hBitmap) return;
    const CMemoryDC memory(target);
    const CSelectObject picture(memory.get(), m_hBitmap.get());
    // A picture shrunk in the default stretch mode has its dropped rows and
    // columns ANDed into their neighbours: dark lines through the emblem's
    // lettering and specks in a gradient. Dropping them leaves neither.
    const int previousMode = ::SetStretchBltMode(target, COLORONCOLOR);
    ::StretchBlt(target, 0, 0, width, height, memory.get(), 0, 0, m_nWidth, m_nHeight, SRCCOPY);
    ::SetStretchBltMode(target, previousMode);
}
