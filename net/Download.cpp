#include "net/Download.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/AnsiText.h"
#include "common/HeapBlock.h"
#include "common/OutBuf.h"
#include "net/AgentText.h"
#include "net/FetchSession.h"
#include "net/InternetHandle.h"
#include "net/Md5.h"
#include "net/ReadPace.h"
#include "toolkit/ScopedResource.h"

namespace {

// Always fetch from the server, never keep the reply in the WinINet cache,
// and tell proxies not to answer from theirs.
constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kOpenFlags == 0x84000100);

constexpr wchar_t kAcceptHeaderW[] = L"Accept: */*\r\n\r\n";
constexpr DWORD kAcceptHeaderLength = 15;
static_assert(sizeof kAcceptHeaderW / sizeof(wchar_t) - 1 == kAcceptHeaderLength);

constexpr DWORD kBufferPiece = 4096;
// A build arrives in pieces of at most this, so its progress can be shown.
constexpr DWORD kBuildPiece = 65536;

// The internet handle of the two wide operations: none when the connection
// state says there is no connection. Behind a proxy the agent is "win".
CInternetHandle OpenWideSession() {
    DWORD flags = 0;
    if (!::InternetGetConnectedState(&flags, 0)) return CInternetHandle();
    const std::string agent = AgentText(::GetTickCount());
    const std::wstring wideAgent(agent.begin(), agent.end());
    const wchar_t* agentText = (flags & INTERNET_CONNECTION_PROXY) ? L"win" : wideAgent.c_str();
    return CInternetHandle(::InternetOpenW(agentText, AccessTypeFor(flags), nullptr, nullptr, 0));
}

// A GET request and the connection it was made on. The request is closed
// first, then the connection, and both before the internet handle they came
// from, which their user holds longer.
struct CGetRequest {
    CInternetHandle connection;
    CInternetHandle request;
};

// Opens a GET of url with the header block and the open-request flags. Every
// wait of it is bounded by timeoutMs: the connection, the sending, and each
// wait for received bytes. The request is made with InternetConnect and
// HttpOpenRequest and the time-outs set on it: under Wine, a request made by
// InternetOpenUrl takes no send or receive time-out from anywhere, and closing
// its handle from another thread does not end a wait either. A wide
// operation also fails on the "file not found" WinINet may leave in the last
// error. On failure *error, when given, receives the last error of the call
// that failed.
bool OpenGetRequest(HINTERNET internet, const std::wstring& url, DWORD timeoutMs, bool wide, CGetRequest* get,
                    DWORD* error = nullptr) {
    // WinINet takes 0 for no time-out at all: a request whose time ran out
    // before it could be sent is not sent.
    if (timeoutMs == 0) return false;
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // asks for a pointer into url and a length
    parts.dwUrlPathLength = 1;
    if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts) || !parts.lpszHostName) return false;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    // The path runs on with the query text to the end of the address.
    const std::wstring path = parts.lpszUrlPath && *parts.lpszUrlPath ? parts.lpszUrlPath : L"/";
    const DWORD flags = kOpenFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);

    get->connection.reset(
        ::InternetConnectW(internet, host.c_str(), parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!get->connection) return false;
    get->request.reset(::HttpOpenRequestW(get->connection.get(), L"GET", path.c_str(), nullptr, nullptr, nullptr,
                                          flags, 0));
    if (!get->request) return false;
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        ::InternetSetOptionW(get->request.get(), option, &timeoutMs, sizeof timeoutMs);
    }
    ::SetLastError(0);
    if (!::HttpSendRequestW(get->request.get(), kAcceptHeaderW, kAcceptHeaderLength, nullptr, 0)) {
        if (error) *error = ::GetLastError();
        return false;
    }
    return !(wide && ::GetLastError() == ERROR_FILE_NOT_FOUND);
}

// The errors of a request sent on a kept-alive connection that the host had
// closed, or closed while the request went out: nothing of a reply came.
bool IsDroppedConnection(DWORD error) {
    return error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED ||
           error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

// Opens the GET of an asset fetch. A host may close a kept-alive connection
// at any moment between two requests; a request that may have gone out on
// such a connection, and failed at once as on one the host had dropped, is
// sent once more on a new one. A request that failed only after waiting most
// of the idle bound met a host that had its chance: it is not sent again.
bool OpenFetchRequest(HINTERNET internet, const std::wstring& url, bool mayReuseConnection, uint32_t idleLimitMs,
                      CGetRequest* get) {
    const ULONGLONG began = ::GetTickCount64();
    DWORD error = 0;
    if (OpenGetRequest(internet, url, idleLimitMs, false, get, &error)) return true;
    const bool failedAtOnce = ::GetTickCount64() - began < idleLimitMs / 2;
    if (!mayReuseConnection || !failedAtOnce || !IsDroppedConnection(error)) return false;
    // The request before the connection it was made on.
    get->request.reset();
    get->connection.reset();
    return OpenGetRequest(internet, url, idleLimitMs, false, get);
}

// The scheme, host and port of a URL, for comparing where replies come from.
struct UrlOrigin {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::wstring host;
    INTERNET_PORT port = 0;
};

bool CrackOrigin(const std::wstring& url, UrlOrigin* origin) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts) || !parts.lpszHostName) return false;
    origin->scheme = parts.nScheme;
    origin->host.assign(parts.lpszHostName, parts.dwHostNameLength);
    origin->port = parts.nPort;
    return true;
}

// True when the reply of the request came from another scheme, host or port
// than url names: WinINet followed a redirect elsewhere (a captive portal's
// login page, say). When the address it came from cannot be read, it counts
// as elsewhere.
bool CameFromElsewhere(HINTERNET request, const std::wstring& url) {
    DWORD size = 0;
    ::InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &size);
    if (size == 0) return true;
    std::wstring finalUrl(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(finalUrl.size() * sizeof(wchar_t));
    if (!::InternetQueryOptionW(request, INTERNET_OPTION_URL, finalUrl.data(), &size)) return true;
    finalUrl.resize(std::wcslen(finalUrl.c_str()));
    UrlOrigin asked, answered;
    if (!CrackOrigin(url, &asked) || !CrackOrigin(finalUrl, &answered)) return true;
    return asked.scheme != answered.scheme || asked.port != answered.port ||
           ::CompareStringOrdinal(asked.host.c_str(), -1, answered.host.c_str(), -1, TRUE) != CSTR_EQUAL;
}

bool QueryContentLength(HINTERNET request, DWORD* length) {
    DWORD size = sizeof *length;
    return ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, length, &size, nullptr) != FALSE;
}

int QueryStatusCode(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
    return static_cast<int>(status);
}

// Writes the bytes to a new or truncated file, on the disk before it is
// closed: the build is renamed into place next, and a rename can reach the
// disk before bytes still in the system's cache do. A file that could not be
// written whole is removed again.
bool WriteWholeFile(const wchar_t* path, const void* bytes, DWORD length) {
    CHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file.get(), bytes, length, &written, nullptr);
    const BOOL flushed = wrote && ::FlushFileBuffers(file.get());
    const bool closed = ::CloseHandle(file.release()) != FALSE;
    if (wrote && written == length && flushed && closed) return true;
    ::DeleteFileW(path);
    return false;
}

// One download of DownloadToBuffer, shared by the caller and the thread that
// makes it: whichever is last lets it go.
struct SmallDownload {
    SmallDownload(const wchar_t* address, uint32_t size, const CDownloadDeadline& end)
        : url(address), capacity(size), deadline(end) {}

    const std::wstring url;
    const uint32_t capacity;
    const CDownloadDeadline deadline;
    std::vector<char> body;
    uint32_t length = 0;
    int status = 0;  // the reply's status code, 0 until a reply came
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
};

// Reads the body into download.body; the bytes stored, 0 for none. Reads only
// what has arrived, so that the deadline is looked at between any two arrivals.
uint32_t ReadSmallFile(SmallDownload& download) {
    CInternetHandle internet = OpenWideSession();
    if (!internet) return 0;
    CGetRequest get;
    if (!OpenGetRequest(internet.get(), download.url, download.deadline.RemainingMs(), true, &get)) return 0;
    {
        const std::lock_guard<std::mutex> guard(download.lock);
        download.status = QueryStatusCode(get.request.get());
    }
    DWORD announced = 0;
    if (!QueryContentLength(get.request.get(), &announced)) return 0;

    download.body.resize(download.capacity);
    uint32_t total = 0;
    char piece[kBufferPiece];
    for (;;) {
        if (download.deadline.RemainingMs() == 0) return 0;
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(get.request.get(), &available, 0, 0)) break;
        DWORD got = 0;
        if (available == 0 ||
            !::InternetReadFile(get.request.get(), piece, available < sizeof piece ? available : sizeof piece, &got) ||
            got == 0) {
            break;
        }
        // A body that does not fit is refused whole: a cut version file must
        // never be taken for a complete one.
        if (got > download.capacity - total) return 0;
        std::memcpy(download.body.data() + total, piece, got);
        total += got;
    }
    return total;
}

}  // namespace

uint32_t CDownloadDeadline::RemainingMs() const {
    const ULONGLONG now = ::GetTickCount64();
    return now >= m_nEnd ? 0 : static_cast<uint32_t>(m_nEnd - now);
}

// The download runs on a thread of its own while the caller waits for it up
// to the deadline. Under Wine no time-out ends a host that answers a byte at
// a time, each within the receive time-out, and closing the request handle
// does not end the wait: only leaving the download behind keeps the bound.
uint32_t DownloadToBuffer(const wchar_t* url, void* buffer, uint32_t capacity, const CDownloadDeadline& deadline,
                          int* httpStatus) {
    if (httpStatus) *httpStatus = 0;
    try {
        if (deadline.RemainingMs() == 0) return 0;
        auto download = std::make_shared<SmallDownload>(url, capacity, deadline);
        std::thread([download] {
            uint32_t length = 0;
            try {
                length = ReadSmallFile(*download);
            } catch (...) {
                // Out of memory: nothing was stored.
            }
            const std::lock_guard<std::mutex> guard(download->lock);
            download->length = length;
            download->done = true;
            download->finished.notify_all();
        }).detach();

        std::unique_lock<std::mutex> guard(download->lock);
        const auto left = std::chrono::milliseconds(deadline.RemainingMs());
        const bool done = download->finished.wait_for(guard, left, [&] { return download->done; });
        if (httpStatus) *httpStatus = download->status;
        if (!done) return 0;
        if (download->length > 0) std::memcpy(buffer, download->body.data(), download->length);
        return download->length;
    } catch (...) {
        // No thread or no memory: no download.
        return 0;
    }
}

CheckedDownload DownloadToFileChecked(const wchar_t* url, const wchar_t* path, const char* expectedMd5,
                                      const CheckedDownloadOptions& options) {
    CInternetHandle internet = OpenWideSession();
    if (!internet) return CheckedDownload::kFailed;
    CGetRequest get;
    if (!OpenGetRequest(internet.get(), url, options.idleLimitMs, true, &get)) return CheckedDownload::kFailed;
    const HINTERNET request = get.request.get();
    DWORD length = 0;
    if (!QueryContentLength(request, &length) || length == 0) return CheckedDownload::kFailed;
    // Looked at before the allocation: a host cannot make us reserve more
    // than the build we expect.
    if (options.expectedLength != 0 && length != options.expectedLength) return CheckedDownload::kRefused;

    const CHeapBlock<char> block(static_cast<char*>(std::malloc(length)));
    if (!block) return CheckedDownload::kFailed;
    char* const bytes = block.get();
    if (options.progress) options.progress(0, length);
    DWORD received = 0;
    while (received < length) {
        const DWORD wanted = std::min(length - received, kBuildPiece);
        DWORD got = 0;
        if (!::InternetReadFile(request, bytes + received, wanted, &got) || got == 0) return CheckedDownload::kFailed;
        received += got;
        if (options.progress) options.progress(received, length);
    }
    get.request.reset();
    get.connection.reset();
    internet.reset();

    if (!Md5HexMatches(expectedMd5, bytes, length)) return CheckedDownload::kRefused;
    if (options.check && !options.check(bytes, length)) return CheckedDownload::kRefused;
    return WriteWholeFile(path, bytes, length) ? CheckedDownload::kWritten : CheckedDownload::kFailed;
}

CBufferReceiver::CBufferReceiver(COutBuf* sink) : m_sink(sink) {}

bool CBufferReceiver::OnHead(const FetchHead& head) {
    m_nAnnounced = head.length;
    return true;
}

char* CBufferReceiver::BodyRoom(uint32_t count) {
    if (!m_sink) {
        if (m_dropped.size() < count) m_dropped.resize(count);
        return m_dropped.data();
    }
    const int64_t needed = static_cast<int64_t>(m_sink->GetLength()) + count;
    const int64_t capacity = m_sink->GetCapacity();
    if (needed > capacity) {
        const int64_t grown = std::min<int64_t>(m_nAnnounced, std::max(needed, 2 * capacity));
        if (grown > needed) m_sink->Reserve(static_cast<int32_t>(grown));
    }
    return m_sink->AppendRoom(static_cast<int32_t>(count));
}

bool CBufferReceiver::OnBodyRead(uint32_t got) {
    return !m_sink || m_sink->CommitAppended(static_cast<int32_t>(got));
}

int FetchUrl(const char* url, COutBuf* sink, int* httpStatus, uint32_t idleLimitMs) {
    CFetchSession session(0, {}, idleLimitMs);
    CBufferReceiver receiver(sink);
    return session.Fetch(url, receiver, httpStatus);
}

// The request of a run, and the pace of its reads.
struct CFetchRun::Request {
    CGetRequest get;
    CReadPace pace{kFetchPiece};
};

CFetchRun::CFetchRun(CFetchReceiver& receiver, uint32_t idleLimitMs)
    : m_receiver(receiver), m_nIdleLimitMs(idleLimitMs) {}

CFetchRun::~CFetchRun() = default;

bool CFetchRun::Stop(int result) {
    m_nResult = result;
    m_bOver = true;
    m_request.reset();  // the request before the connection it was made on, and both now
    return false;
}

void CFetchRun::End(int result) { Stop(result); }

bool CFetchRun::Begin(HINTERNET internet, const char* url, bool mayReuseConnection, uint32_t firstReadUpTo) {
    const std::wstring wideUrl = WidenAnsi(url);
    m_request = std::make_unique<Request>();
    if (!OpenFetchRequest(internet, wideUrl, mayReuseConnection, m_nIdleLimitMs, &m_request->get)) {
        return !Stop(kFetchNoRequest);
    }
    const HINTERNET request = m_request->get.request.get();
    FetchHead head;
    head.status = QueryStatusCode(request);
    m_nStatus = head.status;
    DWORD announced = 0;
    if (!QueryContentLength(request, &announced)) return !Stop(kFetchNoRequest);
    if (announced > kMaxFetchBytes) return !Stop(kFetchTooLarge);
    m_nAnnounced = head.length = announced;
    head.fromElsewhere = CameFromElsewhere(request, wideUrl);
    if (!m_receiver.OnHead(head)) return !Stop(kFetchCutShort);
    // A short body that came whole with its first read is over here: the
    // end is seen without waiting.
    if (announced <= firstReadUpTo && ReadOnce() && m_nReceived == m_nAnnounced) ReadOnce();
    return m_bOver;
}

void CFetchRun::Continue() {
    while (!m_bOver && ReadOnce()) {
    }
}

// Each read waits for the first bytes to arrive and asks for what has come,
// or for more, up to kFetchPiece, while the bytes come fast (CReadPace): the
// receiver passes a trickled body on as it comes, and a fast one still moves
// in large pieces (under Wine each read call costs as much as moving a few
// dozen KiB).
bool CFetchRun::ReadOnce() {
    const HINTERNET request = m_request->get.request.get();
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return Stop(kFetchCutShort);
    if (available == 0) return Stop(m_nReceived == m_nAnnounced ? kFetchComplete : kFetchCutShort);
    // More than announced can only come from a host that sent too much.
    if (m_nReceived == m_nAnnounced) return Stop(kFetchCutShort);
    const DWORD piece = m_request->pace.Next(available, m_nAnnounced - m_nReceived);
    char* room = m_receiver.BodyRoom(piece);
    if (!room) return Stop(kFetchCutShort);
    DWORD got = 0;
    const auto began = std::chrono::steady_clock::now();
    if (!::InternetReadFile(request, room, piece, &got)) return Stop(kFetchCutShort);
    const auto took = std::chrono::steady_clock::now() - began;
    m_request->pace.Took(piece, got,
                          static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    if (got == 0) return Stop(m_nReceived == m_nAnnounced ? kFetchComplete : kFetchCutShort);
    if (!m_receiver.OnBodyRead(got)) return Stop(kFetchCutShort);
    m_nReceived += got;
    return true;
}
