// The process-wide objects, built before wWinMain in this order and destroyed
// after it in reverse: the application module, the asset server, the
// application object.
#pragma once

#include "server/HTTPServer.h"
#include "skin/TranslucentDlg.h"
#include "toolkit/MessageLoop.h"

extern CAppModule g_Module;
extern CHTTPServer g_HttpServer;
extern CTranslucentDlg g_App;
