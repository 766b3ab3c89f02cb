// CHTTPServer: the local asset server on TCP port 12315.
#pragma once

inline constexpr unsigned short kAssetServerPort = 12315;

class CHTTPServer {
public:
    // Fixes the cache directory and starts listening on kAssetServerPort;
    // false when the server could not be started.
    bool StartServer();
};
