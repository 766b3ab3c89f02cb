#include "server/HTTPServer.h"

#include <windows.h>

#include "common/CurrentDirectory.h"
#include "server/AssetReply.h"
#include "server/ContentTypes.h"
#include "server/HttpReply.h"
#include "server/HttpRequest.h"

namespace {

// The page any method other than GET gets, with "501 Not Implemented".
constexpr char kNotImplementedPage[] = "/mna.html";

// Seconds since 1970-01-01 UTC from the system clock, 64-bit (the runtime's
// time_t is 32-bit here).
int64_t UnixTimeNow() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr uint64_t kTicksPerSecond = 10000000;
    constexpr uint64_t kEpochDifference = 11644473600;  // 1601-01-01 to 1970-01-01, in seconds
    return static_cast<int64_t>(ticks / kTicksPerSecond - kEpochDifference);
}

}  // namespace

CHTTPServer::CHTTPServer(std::string cdnBase, uint64_t cacheLimitBytes, uint32_t cdnIdleLimitMs)
    : m_mimeTypes(MakeContentTypeTable()), m_cache(std::move(cdnBase), cacheLimitBytes, {}, cdnIdleLimitMs) {}

CHTTPServer::~CHTTPServer() {
    Stop();
}

bool CHTTPServer::StartServer() {
    const std::string directory = CurrentDirectoryA();
    if (directory.empty()) return false;
    return StartServerIn(directory + "\\vt_cdn\\cdn\\", kAssetServerPort);
}

bool CHTTPServer::StartServerIn(const std::string& cacheRoot, uint16_t port) {
    // Connection threads read the cache root: it is fixed once.
    if (IsStarted()) return false;
    m_cache.Open(cacheRoot);
    return Start(port);
}

bool CHTTPServer::EndService(DWORD milliseconds) {
    const ULONGLONG start = ::GetTickCount64();
    BeginStop();
    const bool storesDone = m_cache.CloseForExit(milliseconds);
    const ULONGLONG spent = ::GetTickCount64() - start;
    return WaitUntilStopped(spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent)) && storesDone;
}

void CHTTPServer::OnAccept(const char*, uint16_t) {}

void CHTTPServer::OnSent(int32_t) {}

bool CHTTPServer::IsRequestComplete(std::string_view requestText) {
    return IsHttpRequestComplete(requestText);
}

BodyFraming CHTTPServer::FrameBody(std::string_view requestText) { return HttpBodyFraming(requestText); }

std::unique_ptr<CReplySource> CHTTPServer::HandleRequest(std::string_view requestText, int32_t* keepAlive,
                                                      uint32_t peerAddress) {
    HttpRequestLine request;
    if (!ParseHttpRequest(requestText, &request)) return nullptr;
    // A request that says nothing keeps what an earlier one asked for.
    if (request.asksClose) {
        *keepAlive = 0;
    } else if (request.asksKeepAlive) {
        *keepAlive = 1;
    }
    std::string target = request.isGet ? request.target : kNotImplementedPage;

    CAssetReply::HeadFields head;
    head.fixedStatus = request.isGet ? nullptr : "501 Not Implemented";
    head.date = FormatHttpDate(UnixTimeNow());
    head.keepAlive = *keepAlive != 0;
    head.contentType = kDefaultContentType;
    const auto type = m_mimeTypes.find(TargetExtension(target));
    if (type != m_mimeTypes.end()) head.contentType = type->second;
    const int64_t asked = CMissBreakdown::Now();
    AssetBody body = m_cache.Load(target, peerAddress);
    if (body.fill && !body.joined) {
        body.fill->Breakdown()->Note(CMissBreakdown::kRequest, asked);
        body.fill->Breakdown()->Note(CMissBreakdown::kBytesRead, CMissBreakdown::RequestBytesAt());
    }
    return std::make_unique<CAssetReply>(m_cache, std::move(target), std::move(body), std::move(head), peerAddress);
}

void CHTTPServer::ForgetKeptAssets() { m_cache.ForgetKeptCopies(); }
