// CHTTPServer: the local asset server, a minimal HTTP/1.0 file server for the
// game page on TCP port 12315, answering from the asset cache.
#pragma once

#include <map>
#include <string>

#include "BuildConfig.h"
#include "server/GenericServer.h"

inline constexpr uint16_t kAssetServerPort = 12315;

class CHTTPServer : public CGenericServer {
public:
    // cdnBase: where missing assets are fetched from.
    explicit CHTTPServer(std::string cdnBase = quillmoor::config::kCdnBase);
    // Stops the server first: its threads use the table and the cache root.
    ~CHTTPServer() override;

    // Fixes the cache root (the current directory followed by
    // "\vt_cdn\cdn\"), creates it, and starts listening on kAssetServerPort.
    // False when the current directory cannot be read or the server did not
    // start.
    bool StartServer();
    // The same with a given cache root (ending in a backslash) and port.
    bool StartServerIn(const std::string& cacheRoot, uint16_t port);

protected:
    void OnAccept(const char* address, uint16_t port) override;
    void OnSent(int32_t byteCount) override;
    bool IsRequestComplete(std::string_view requestText) override;
    bool HandleRequest(std::string_view requestText, COutBuf* out, int32_t* keepAlive) override;

private:
    std::string m_strCacheRoot;
    std::map<std::string, std::string> m_mimeTypes;
    std::string m_strCdnBase;
};
