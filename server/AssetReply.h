// The reply of the asset server to one request: its head once the asset's
// outcome is known, then the asset's body from memory, from its cache file,
// or from the fill of the fetch under way, as far as it has come.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/OutBuf.h"
#include "server/AssetCache.h"
#include "server/ReplySource.h"

class CAssetReply : public CReplySource {
public:
    // What the head says besides the asset's status and length.
    struct HeadFields {
        const char* fixedStatus = nullptr;  // the status whatever the outcome; null: the asset's own
        std::string date;
        bool keepAlive = false;
        std::string contentType;
    };

    // body: what the cache handed out for target, asked by peer (host byte
    // order), who asks again when a joined fetch fails.
    CAssetReply(CAssetCache& cache, std::string target, AssetBody body, HeadFields fields,
                uint32_t peer = kLoopbackPeer);
    ~CAssetReply() override;
    CAssetReply(const CAssetReply&) = delete;
    CAssetReply& operator=(const CAssetReply&) = delete;

    // A reply whose fetch fails before any of it was sent is answered as a
    // failure, "502 Bad Gateway" with no body; one that joined another
    // request's fetch asks the cache once more instead. A fetch that fails
    // after the head went out fails the reply: the peer sees it end short of
    // its Content-Length.
    Next Peek(uint64_t sent, uint32_t maxBytes, SendSpans* spans) override;
    void WakeWith(HANDLE wake) override;

private:
    Next ResolveHead();
    Next PeekBody(uint64_t bodyOffset, BodyWindow* window);
    bool ReadPiece(HANDLE file, uint64_t offset, uint32_t count);
    void Watch();
    void Unwatch();

    CAssetCache& m_cache;
    const std::string m_strTarget;
    const uint32_t m_nPeer;
    AssetBody m_asset;
    const HeadFields m_fields;
    HANDLE m_hWake = nullptr;
    bool m_bLoadedAgain = false;
    bool m_bHeadReady = false;
    bool m_bSendsBody = false;
    COutBuf m_head;
    uint64_t m_nBodyLength = 0;
    CHandle m_hFillReader;                 // the fill's file, opened on first need
    std::unique_ptr<char[]> m_piece;       // kMaxHeldBytes, allocated on first need
    BodyWindow m_window;                   // of m_piece
};
