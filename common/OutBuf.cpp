#include "common/OutBuf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/HeapBlock.h"

namespace {

constexpr int64_t kMaxLength = INT32_MAX;
constexpr int kScratchSize = 4096;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
// An open file, closed when it goes unless closed on purpose with Close.
using CFile = std::unique_ptr<std::FILE, FileCloser>;

// Closes the file now; true when the close succeeded (all buffered bytes
// written).
bool Close(CFile& file) { return std::fclose(file.release()) == 0; }

}  // namespace

COutBuf::~COutBuf() {
    std::free(m_pData);
}

void COutBuf::Clear() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nLength = 0;
    m_nCapacity = 0;
}

void COutBuf::Reset() { m_nLength = 0; }

char* COutBuf::GetData() { return m_pData; }
const char* COutBuf::GetData() const { return m_pData; }
int32_t COutBuf::GetLength() const { return m_nLength; }
bool COutBuf::IsEmpty() const { return m_nLength == 0; }

bool COutBuf::AppendByte(uint8_t value) { return Append(&value, 1); }

bool COutBuf::AppendInt32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    return Append(bytes, 4);
}

char* COutBuf::GetString() {
    if (m_nLength == m_nCapacity) {
        if (!AppendByte(0)) return m_pData;
        --m_nLength;
    } else {
        m_pData[m_nLength] = 0;
    }
    return m_pData;
}

bool COutBuf::AppendString(const char* text) {
    if (!text) return false;
    const size_t length = std::strlen(text);
    if (length > static_cast<size_t>(kMaxLength)) return false;
    return Append(text, static_cast<int32_t>(length));
}

int64_t COutBuf::RoundUpToGranule(int64_t count) const {
    const int64_t granule = m_nGrowStep > 0 ? m_nGrowStep : 1;
    const int64_t rounded = (count + granule - 1) / granule * granule;
    return rounded > kMaxLength ? kMaxLength : rounded;
}

bool COutBuf::Regrow(int32_t newCapacity, const void* extra, int32_t extraCount) {
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(newCapacity)));
    if (!block) return false;
    if (m_nLength > 0) std::memcpy(block, m_pData, static_cast<size_t>(m_nLength));
    // The new bytes are copied before the old block goes: they may lie in it
    // (AppendBuffer of the buffer itself).
    if (extraCount > 0) std::memcpy(block + m_nLength, extra, static_cast<size_t>(extraCount));
    std::free(m_pData);
    m_pData = block;
    m_nCapacity = newCapacity;
    m_nLength += extraCount;
    return true;
}

int64_t COutBuf::LengthAfterAdding(const void* bytes, int32_t count) const {
    if (count < 0 || !bytes) return -1;
    const int64_t needed = static_cast<int64_t>(m_nLength) + count;
    return needed > kMaxLength ? -1 : needed;
}

bool COutBuf::Append(const void* bytes, int32_t count) {
    if (count == 0) return true;
    const int64_t needed = LengthAfterAdding(bytes, count);
    if (needed < 0) return false;
    if (needed > m_nCapacity) {
        return Regrow(static_cast<int32_t>(RoundUpToGranule(needed)), bytes, count);
    }
    std::memmove(m_pData + m_nLength, bytes, static_cast<size_t>(count));
    m_nLength = static_cast<int32_t>(needed);
    return true;
}

bool COutBuf::Prepend(const void* bytes, int32_t count) {
    if (count == 0) return true;
    const int64_t needed = LengthAfterAdding(bytes, count);
    if (needed < 0) return false;
    // Bytes from inside this buffer would move under our feet; copy them first.
    const bool inside = m_pData && bytes >= m_pData && bytes < m_pData + m_nCapacity;
    std::string copy;
    if (inside) copy.assign(static_cast<const char*>(bytes), static_cast<size_t>(count));
    if (!Reserve(static_cast<int32_t>(needed))) return false;
    std::memmove(m_pData + count, m_pData, static_cast<size_t>(m_nLength));
    std::memcpy(m_pData, inside ? copy.data() : bytes, static_cast<size_t>(count));
    m_nLength = static_cast<int32_t>(needed);
    return true;
}

bool COutBuf::AppendFormat(const char* format, ...) {
    if (!format) return false;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);

    // Short texts are formatted on the stack; a longer one is formatted again
    // into a block of its exact size.
    char scratch[kScratchSize];
    const int length = std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    bool appended = false;
    if (length >= 0 && length < kScratchSize) {
        appended = Append(scratch, length);
    } else if (length >= kScratchSize) {
        const size_t size = static_cast<size_t>(length) + 1;
        if (const CHeapBlock<char> text{static_cast<char*>(std::malloc(size))}) {
            std::vsnprintf(text.get(), size, format, again);
            appended = Append(text.get(), length);
        }
    }
    va_end(again);
    return appended;
}

bool COutBuf::LoadFromFile(const char* path) {
    if (!path) return false;
    const CFile file(std::fopen(path, "rb"));
    if (!file) return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return false;
    const long size = std::ftell(file.get());
    if (size < 0 || size > kMaxLength) return false;
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return false;
    if (size == 0) {
        Clear();
        return true;
    }
    // Reusing a block spares a fresh allocation (and its page faults) per file.
    if (m_nLength == 0 && size <= m_nCapacity) {
        if (std::fread(m_pData, 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size)) return false;
        m_nLength = static_cast<int32_t>(size);
        return true;
    }
    CHeapBlock<char> block(static_cast<char*>(std::malloc(static_cast<size_t>(size))));
    if (!block) return false;
    if (std::fread(block.get(), 1, static_cast<size_t>(size), file.get()) != static_cast<size_t>(size)) return false;
    std::free(m_pData);
    m_pData = block.release();
    m_nLength = m_nCapacity = static_cast<int32_t>(size);
    return true;
}

bool COutBuf::SaveToFile(const char* path) const {
    if (!path) return false;
    CFile file(std::fopen(path, "wb"));
    if (!file) return false;
    bool written = true;
    if (m_nLength > 0) {
        written = std::fwrite(m_pData, 1, static_cast<size_t>(m_nLength), file.get()) ==
                  static_cast<size_t>(m_nLength);
    }
    // A failed close can mean that buffered bytes never reached the disk.
    const bool closed = Close(file);
    return written && closed;
}

bool COutBuf::AppendBuffer(const COutBuf& other) {
    return Append(other.GetData(), other.GetLength());
}

COutBuf& COutBuf::SetGrowStep(int32_t granule) {
    m_nGrowStep = granule;
    return *this;
}

void COutBuf::AlignTo(int32_t multiple) {
    if (multiple < 2) return;
    const int32_t padding = (multiple - m_nLength % multiple) % multiple;
    if (padding == 0) return;
    const int64_t needed = static_cast<int64_t>(m_nLength) + padding;
    if (needed > kMaxLength || !Reserve(static_cast<int32_t>(needed))) return;
    std::memset(m_pData + m_nLength, 0, static_cast<size_t>(padding));
    m_nLength = static_cast<int32_t>(needed);
}

bool COutBuf::Reserve(int32_t count) {
    if (count < 0) return false;
    if (count <= m_nCapacity) return true;
    return Regrow(static_cast<int32_t>(RoundUpToGranule(count)), nullptr, 0);
}

char* COutBuf::AppendRoom(int32_t count) {
    if (count < 0) return nullptr;
    const int64_t needed = static_cast<int64_t>(m_nLength) + count;
    if (needed > kMaxLength || !Reserve(static_cast<int32_t>(needed))) return nullptr;
    // A buffer without a block and a count of 0 still gets a valid pointer.
    if (!m_pData && !Reserve(1)) return nullptr;
    return m_pData + m_nLength;
}

bool COutBuf::CommitAppended(int32_t count) {
    if (count < 0 || count > m_nCapacity - m_nLength) return false;
    m_nLength += count;
    return true;
}
