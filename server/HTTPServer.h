// CHTTPServer: the local asset server, a minimal HTTP/1.0 file server for the
// game page on TCP port 12315, answering from the asset cache.
#pragma once

#include <map>
#include <string>

#include "net/Download.h"
#include "server/AssetCache.h"
#include "server/GenericServer.h"

inline constexpr uint16_t kAssetServerPort = 12315;

class CHTTPServer : public CGenericServer {
public:
    // cdnBase: where missing assets are fetched from. cacheLimitBytes: what
    // the asset cache may hold before the least recently used assets go.
    // cdnIdleLimitMs: how long a miss may wait for a byte of the CDN.
    CHTTPServer(std::string cdnBase, uint64_t cacheLimitBytes, uint32_t cdnIdleLimitMs = kCdnFetchIdleLimitMs);
    // Stops the server first: its threads use the table and the cache.
    ~CHTTPServer() override;

    // Fixes the cache root (the current directory followed by
    // "\vt_cdn\cdn\"), opens the cache there, and starts listening on
    // kAssetServerPort. False when the current directory cannot be read (the
    // server then does not start), or while the port is taken (the server
    // then takes it as soon as it is free).
    bool StartServer();
    // The same with a given cache root (ending in a backslash) and port.
    // False, changing nothing, on a started server.
    bool StartServerIn(const std::string& cacheRoot, uint16_t port);
    // The cache root fixed by StartServer; empty before.
    const std::string& GetCacheRoot() const { return m_cache.Root(); }

    // The cache directory was emptied (clear-cache): what the server keeps
    // in memory goes too, so the next request of each asset goes to the CDN.
    void ForgetKeptAssets();

    // For the end of the process: lets the port go at once, stores nothing
    // more, and waits up to milliseconds for stores under way and for the
    // connections to end. True when everything ended in time; whatever did
    // not ends with the process.
    bool EndService(DWORD milliseconds);

protected:
    void OnAccept(const char* address, uint16_t port) override;
    void OnSent(int32_t byteCount) override;
    bool IsRequestComplete(std::string_view requestText) override;
    BodyFraming FrameBody(std::string_view requestText) override;
    std::unique_ptr<CReplySource> HandleRequest(std::string_view requestText, int32_t* keepAlive,
                                                uint32_t peerAddress) override;

private:
    std::map<std::string, std::string> m_mimeTypes;
    CAssetCache m_cache;
};
