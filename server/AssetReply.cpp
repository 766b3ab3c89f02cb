#include "server/AssetReply.h"

#include <new>
#include <string_view>

#include "server/HttpReply.h"

CAssetReply::CAssetReply(CAssetCache& cache, std::string target, AssetBody body, HeadFields fields, uint32_t peer)
    : m_cache(cache),
      m_strTarget(std::move(target)),
      m_nPeer(peer),
      m_asset(std::move(body)),
      m_fields(std::move(fields)) {}

CAssetReply::~CAssetReply() { Unwatch(); }

void CAssetReply::WakeWith(HANDLE wake) {
    m_hWake = wake;
    Watch();
}

void CAssetReply::Watch() {
    if (m_asset.fill && m_hWake) m_asset.fill->Watch(m_hWake);
}

void CAssetReply::Unwatch() {
    if (m_asset.fill && m_hWake) m_asset.fill->Unwatch(m_hWake);
}

CReplySource::Next CAssetReply::Peek(uint64_t sent, uint32_t maxBytes, SendSpans* spans) {
    if (!m_bHeadReady) {
        const Next head = ResolveHead();
        if (head != Next::kBytes) return head;
    }
    if (sent > 0 && m_asset.fill) m_asset.fill->Breakdown()->Note(CMissBreakdown::kFirstSent);
    const std::string_view head(m_head.GetData(), static_cast<size_t>(m_head.GetLength()));
    const uint64_t offset = BodyOffset(head.size(), sent);
    BodyWindow window;
    if (m_bSendsBody && offset < m_nBodyLength) {
        const Next body = PeekBody(offset, &window);
        if (body == Next::kFailed) return body;
    }
    *spans = NextSpans(head, sent, window, maxBytes);
    if (spans->count > 0) return Next::kBytes;
    if (offset < m_nBodyLength && m_bSendsBody) return Next::kDry;
    if (m_asset.fill) m_asset.fill->Breakdown()->Note(CMissBreakdown::kLastSent);
    return Next::kEnd;
}

// The head needs the outcome: at once for a body from memory or a file, once
// the CDN's head came for a fill.
CReplySource::Next CAssetReply::ResolveHead() {
    AssetOutcome outcome = m_asset.outcome;
    uint64_t length = 0;
    if (m_asset.bytes) {
        length = m_asset.bytes->size();
    } else if (m_asset.file) {
        length = m_asset.fileLength;
    }
    while (m_asset.fill) {
        const CAssetFill::View view = m_asset.fill->Look();
        if (view.phase == CAssetFill::Phase::kAwaitingHead) return Next::kDry;
        // A body to be read from the fill's file is opened before the head
        // goes out: once open, neither a trim nor clear-cache can take it
        // from this reply, whether it is still the temporary file or stored.
        const bool fromFile = view.phase != CAssetFill::Phase::kFailed && !view.memory && view.length > 0 &&
                              SendsBodyOf(view.outcome);
        if (fromFile && !m_hFillReader) m_hFillReader = m_asset.fill->OpenReader();
        if (view.phase != CAssetFill::Phase::kFailed && (!fromFile || m_hFillReader)) {
            outcome = view.outcome;
            length = view.length;
            break;
        }
        // Nothing of this reply went out yet: it can still be answered whole.
        if (!m_asset.joined || m_bLoadedAgain) {
            outcome = view.phase == CAssetFill::Phase::kFailed ? view.outcome
                                                               : AssetOutcome{AssetSource::kNoReply, 0, 0};
            length = 0;
            break;
        }
        m_bLoadedAgain = true;
        Unwatch();
        m_asset = m_cache.Load(m_strTarget, m_nPeer);
        Watch();
        if (!m_asset.fill) return ResolveHead();
    }
    m_bSendsBody = SendsBodyOf(outcome);
    m_nBodyLength = m_bSendsBody ? length : 0;
    const char* status = m_fields.fixedStatus ? m_fields.fixedStatus : StatusForAsset(outcome);
    if (!AppendReplyHeader(m_head, status, m_fields.date, static_cast<int32_t>(m_nBodyLength), m_fields.keepAlive,
                           m_fields.contentType)) {
        return Next::kFailed;
    }
    m_bHeadReady = true;
    if (m_asset.fill) m_asset.fill->Breakdown()->Note(CMissBreakdown::kHeadReady);
    return Next::kBytes;
}

// The window of body bytes at hand for the body offset: all of them in
// memory, or the piece of the file that holds it, read as far as the file
// has been written.
CReplySource::Next CAssetReply::PeekBody(uint64_t bodyOffset, BodyWindow* window) {
    if (m_asset.bytes) {
        *window = {0, m_asset.bytes->data(), m_asset.bytes->size()};
        return Next::kBytes;
    }
    uint64_t available = m_asset.fileLength;
    HANDLE file = m_asset.file.get();
    if (m_asset.fill) {
        const CAssetFill::View view = m_asset.fill->Look();
        if (view.phase == CAssetFill::Phase::kFailed) return Next::kFailed;
        if (view.memory) {
            *window = {0, view.memory->data(), view.written};
            return Next::kBytes;
        }
        available = view.written;
        if (!m_hFillReader) return Next::kFailed;  // opened with the head
        file = m_hFillReader.get();
    }
    if (!m_window.Covers(bodyOffset)) {
        const uint32_t count = PieceToRead(bodyOffset, available, kMaxHeldBytes);
        if (count == 0) return Next::kDry;
        const CFileWorkTimer timer(m_asset.fill ? m_asset.fill->Breakdown() : nullptr, CMissBreakdown::kReadBack);
        if (!ReadPiece(file, bodyOffset, count)) return Next::kFailed;
    }
    *window = m_window;
    return Next::kBytes;
}

bool CAssetReply::ReadPiece(HANDLE file, uint64_t offset, uint32_t count) {
    if (!m_piece) m_piece.reset(new (std::nothrow) char[kMaxHeldBytes]);
    if (!m_piece) return false;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    // A file that ends sooner than it did has been cut behind our back.
    if (!::ReadFile(file, m_piece.get(), count, &read, &at) || read == 0) return false;
    m_window = {offset, m_piece.get(), read};
    return true;
}
