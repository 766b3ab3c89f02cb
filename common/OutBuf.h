// COutBuf: the growable byte buffer of the asset server, the download client
// and the cache. Includes no Windows header.
#pragma once

#include <cstdint>

class COutBuf {
public:
    COutBuf() = default;
    ~COutBuf();  // releases the block, like Clear
    COutBuf(const COutBuf&) = delete;
    COutBuf& operator=(const COutBuf&) = delete;

    // Releases the block: no block, length and capacity 0.
    virtual void Clear();
    // The start of the bytes, or nullptr while there is no block.
    virtual char* GetData();
    virtual const char* GetData() const;
    virtual int32_t GetLength() const;
    virtual bool IsEmpty() const;
    virtual bool AppendByte(uint8_t value);
    // Appends the four bytes of value, least significant first.
    virtual bool AppendInt32(int32_t value);
    // Writes a zero byte behind the data without counting it; returns the
    // start of the bytes (nullptr only when no block could be had).
    virtual char* GetString();
    // Appends the text's bytes without the terminating zero.
    virtual bool AppendString(const char* text);
    // Appends count bytes. Grows to the smallest multiple of the granule that
    // holds them. Refuses (false, buffer unchanged) a negative count, a count
    // that would take the length past INT32_MAX, a null source with a non-zero
    // count, and an allocation failure. bytes may point into this buffer.
    virtual bool Append(const void* bytes, int32_t count);
    // printf-style append of formatted text of any length; false (buffer
    // unchanged) on a formatting error or when no memory can be had.
    virtual bool AppendFormat(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // The whole file becomes the content. An empty buffer whose block is large
    // enough reads straight into it. On failure (cannot open, size not known
    // or over INT32_MAX, short read, no memory) returns false and the buffer
    // keeps what it held.
    virtual bool LoadFromFile(const char* path);
    // Writes the content to the file, creating or truncating it. True only
    // when every byte was written and the file closed cleanly.
    virtual bool SaveToFile(const char* path) const;
    virtual bool AppendBuffer(const COutBuf& other);
    // Sets the allocation granule (values below 1 allocate exactly).
    virtual COutBuf& SetGrowStep(int32_t granule);
    // Appends zero bytes until the length is a multiple of `multiple`;
    // a multiple below 2 appends nothing.
    virtual void AlignTo(int32_t multiple);
    // Grows the capacity once to at least count (rounded up to the granule)
    // without changing the length or content. False, buffer unchanged, when
    // the memory cannot be had or count is negative.
    virtual bool Reserve(int32_t count);

    // Room for count more bytes behind the content, to be written in place
    // and then counted with CommitAppended: grows the block to hold exactly
    // length + count (rounded up to the granule) when it is smaller. The
    // start of the room, or nullptr (buffer unchanged) for a negative count, a
    // length past INT32_MAX or no memory.
    virtual char* AppendRoom(int32_t count);
    // Counts count bytes written into the room behind the content as part of
    // it. False (buffer unchanged) for a negative count or more than the room.
    virtual bool CommitAppended(int32_t count);

    // Empties the buffer but keeps its block for the next content.
    virtual void Reset();
    // Inserts count bytes before the content, growing as Append does; the
    // same refusals, and the buffer is unchanged when it refuses.
    virtual bool Prepend(const void* bytes, int32_t count);

    int32_t GetCapacity() const { return m_nCapacity; }
    int32_t GetGrowStep() const { return m_nGrowStep; }

private:
    // Moves the content into a new block of newCapacity bytes, then appends
    // extra (which may lie in the old block) before the old block goes.
    bool Regrow(int32_t newCapacity, const void* extra, int32_t extraCount);
    int64_t RoundUpToGranule(int64_t count) const;
    // The length after adding count bytes from bytes; -1 when the addition is
    // refused (negative count, null bytes, longer than INT32_MAX).
    int64_t LengthAfterAdding(const void* bytes, int32_t count) const;

    int32_t m_nGrowStep = 256;
    char* m_pData = nullptr;
    int32_t m_nLength = 0;
    int32_t m_nCapacity = 0;
};
