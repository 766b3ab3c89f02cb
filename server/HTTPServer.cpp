#include "server/HTTPServer.h"

bool CHTTPServer::StartServer() {
    // PLACEHOLDER until the asset server lands: nothing listens yet.
    return false;
}
