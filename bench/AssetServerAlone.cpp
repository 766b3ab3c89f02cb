// The client's asset server alone, in a process with no window, no
// embedded browser and no update check: the same code, port, cache folder
// (vt_cdn\cdn\ under the current folder), CDN base and limits as the
// client's. bench/page loads the page cold through it beside the client, to
// tell what the asset server costs from what the rest of the client's
// process costs it under the same Wine. Runs until killed.
#include <windows.h>

#include "BuildConfig.h"
#include "server/HTTPServer.h"

int main() {
    static CHTTPServer server(quillmoor::config::kCdnBase, quillmoor::config::kCacheLimitBytes,
                              quillmoor::config::kCdnIdleLimitMs ? quillmoor::config::kCdnIdleLimitMs
                                                                 : kCdnFetchIdleLimitMs);
    if (!server.StartServer()) return 1;
    ::Sleep(INFINITE);
    return 0;
}
