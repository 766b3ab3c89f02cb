// The process-wide objects, built before wWinMain in this order and destroyed
// after it in reverse: the application module, the asset server, the
// application object.
#pragma once

#include "common/NoDestroy.h"
#include "server/HTTPServer.h"
#include "skin/TranslucentDlg.h"
#include "toolkit/MessageLoop.h"

extern CAppModule g_Module;
// Never destroyed: its threads run until the process ends.
extern CNoDestroy<CHTTPServer> g_HttpServer;
extern CTranslucentDlg g_App;
