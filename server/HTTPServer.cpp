#include "server/HTTPServer.h"

#include <windows.h>

#include "common/CurrentDirectory.h"
#include "common/OutBuf.h"
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

CHTTPServer::CHTTPServer(std::string cdnBase, uint64_t cacheLimitBytes)
    : m_mimeTypes(MakeContentTypeTable()), m_cache(std::move(cdnBase), cacheLimitBytes) {}

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

void CHTTPServer::OnSent(int32_t) { m_cache.TrimIfOverLimit(); }

bool CHTTPServer::IsRequestComplete(std::string_view requestText) {
    return IsHttpRequestComplete(requestText);
}

BodyFraming CHTTPServer::FrameBody(std::string_view requestText) { return HttpBodyFraming(requestText); }

bool CHTTPServer::HandleRequest(std::string_view requestText, COutBuf* out, SharedBytes* tail, int32_t* keepAlive) {
    HttpRequestLine request;
    if (!ParseHttpRequest(requestText, &request)) return false;
    // A request that says nothing keeps what an earlier one asked for.
    if (request.asksClose) {
        *keepAlive = 0;
    } else if (request.asksKeepAlive) {
        *keepAlive = 1;
    }
    const std::string target = request.isGet ? request.target : kNotImplementedPage;

    std::string contentType = kDefaultContentType;
    const auto type = m_mimeTypes.find(TargetExtension(target));
    if (type != m_mimeTypes.end()) contentType = type->second;

    // A copy kept in memory is sent from where it is kept, behind the header;
    // any other body goes straight into the (normally empty) output buffer
    // and the header is put in front of it: no second copy of a large asset
    // is made.
    CRecentAssets::Body kept;
    COutBuf separateBody;
    COutBuf& body = out->IsEmpty() ? *out : separateBody;
    const AssetOutcome outcome = m_cache.Load(target, body, &kept);
    const char* status = request.isGet ? StatusForAsset(outcome) : "501 Not Implemented";
    // A partial download is never presented as the asset.
    if (!SendsBodyOf(outcome)) body.Reset();
    const int32_t length = kept ? static_cast<int32_t>(kept->size()) : body.GetLength();

    COutBuf header;
    if (!AppendReplyHeader(header, status, FormatHttpDate(UnixTimeNow()), length, *keepAlive != 0, contentType)) {
        return false;
    }
    // Without the memory for the whole reply the connection closes unanswered
    // rather than sending a header that promises bytes that never come.
    if (kept) {
        if (!out->AppendBuffer(header)) return false;
        *tail = std::move(kept);
        return true;
    }
    if (&body == out) return out->Prepend(header.GetData(), header.GetLength());
    return out->AppendBuffer(header) && out->AppendBuffer(separateBody);
}

void CHTTPServer::ForgetKeptAssets() { m_cache.ForgetKeptCopies(); }
