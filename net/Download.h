// The HTTP download client: one GET over WinINet per call, so any number of
// threads may download at once. Each operation here opens its own internet
// handle and closes it, after its request, before returning; the asset
// server's fetches share one (net/FetchSession.h). No wait on the network is
// without bound.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class COutBuf;

// Every file of one update check ("ver.txt" and whatever else the check
// fetches) has arrived within this, all together, or the check is given up.
inline constexpr uint32_t kUpdateCheckTimeLimitMs = 5000;
// A download of a new build that goes this long without a byte is given up.
inline constexpr uint32_t kBuildDownloadIdleLimitMs = 30000;
// A fetch of an asset from the CDN that goes this long without a byte is
// given up.
inline constexpr uint32_t kCdnFetchIdleLimitMs = 30000;

// A moment by which downloads must be done. The files of one update check
// share one, so together they take no longer than it.
class CDownloadDeadline {
public:
    explicit CDownloadDeadline(uint32_t fromNowMs) : m_nEnd(::GetTickCount64() + fromNowMs) {}
    // What is left until it, 0 once it has passed.
    uint32_t RemainingMs() const;

private:
    ULONGLONG m_nEnd;
};

// A fetch reads a body in pieces of up to this, or of what has arrived when
// that is less.
inline constexpr DWORD kFetchPiece = 1 << 20;
// A body announced longer than this is refused: a 32-bit process could not
// hold it twice.
inline constexpr uint32_t kMaxFetchBytes = 512u << 20;

// FetchUrl's result codes. 2 is never produced.
enum FetchResult : int {
    kFetchComplete = 0,   // body read to its end; exactly Content-Length bytes arrived
    kFetchNoRequest = 1,  // the request could not be opened, or no readable Content-Length
    kFetchCutShort = 3,   // a read failed, the body's length differs from Content-Length, or the receiver stopped
    kFetchOffline = 4,    // the connection state says offline, or no internet handle
    kFetchTooLarge = 5,   // Content-Length is over kMaxFetchBytes: nothing was read
};

// What a reply said before its body.
struct FetchHead {
    int status = 0;               // the HTTP status code
    uint32_t length = 0;          // the announced Content-Length
    bool fromElsewhere = false;   // a redirect led to another scheme, host or port than the URL's
};

// Where a fetch puts a reply as it arrives, on the fetching thread. Told the
// head once, then handed the body piece by piece in order.
class CFetchReceiver {
public:
    virtual ~CFetchReceiver() = default;
    // False stops the fetch before any byte of the body is read (cut short).
    virtual bool OnHead(const FetchHead& head) = 0;
    // Room for the next count bytes (at most what is left of the announced
    // length), which the fetch reads into it in place; null stops the fetch.
    virtual char* BodyRoom(uint32_t count) = 0;
    // got (1 to count) bytes were read into the last room; false stops.
    virtual bool OnBodyRead(uint32_t got) = 0;
};
// Stores the body of url at the start of buffer and returns its length; 0 for
// failure and for an empty body alike. Never writes past capacity: a body
// longer than capacity fails. Writes no terminating zero. A connection lost
// part-way returns the bytes received until then. Returns 0 at the deadline
// at the latest, however slowly the host answers (the download then goes on
// by itself until its own time-outs end it, and its bytes are dropped); the
// buffer is untouched then. For the small files of the update check: every
// one of them is fetched with the check's deadline. httpStatus, when given,
// receives the reply's status code, or 0 when there was no reply in time.
uint32_t DownloadToBuffer(const wchar_t* url, void* buffer, uint32_t capacity, const CDownloadDeadline& deadline,
                          int* httpStatus = nullptr);

// A last look at a downloaded body while it is still only in memory; false
// refuses it.
using BodyCheck = std::function<bool(const void* bytes, uint32_t length)>;

// Told how many bytes of a body have arrived and how many the reply
// announced: once when the head has arrived (received 0), then after each
// piece. Called on the downloading thread.
using DownloadProgress = std::function<void(uint32_t received, uint32_t total)>;

// What a checked download may be told besides the digest.
struct CheckedDownloadOptions {
    // When not 0, the only length taken: a reply announcing another
    // Content-Length is refused before anything is allocated or read.
    uint32_t expectedLength = 0;
    BodyCheck check;
    DownloadProgress progress;
    // A download that goes this long without a byte is given up.
    uint32_t idleLimitMs = kBuildDownloadIdleLimitMs;
};

// How a checked download ended.
enum class CheckedDownload {
    kWritten,  // arrived whole, passed every check, and the file holds exactly its bytes
    kRefused,  // not the body expected: another length, digest, or a check said no
    kFailed,   // no usable reply, a cut body, no memory, or the file could not be written
};

// Downloads url whole, checks its MD5 against expectedMd5 (hexadecimal, any
// letter case) and with the options' check, when given, and only then
// creates or replaces path with exactly those bytes, flushed to the disk
// before the file is closed. On any failure the file is left as it was, or
// removed again when writing it failed part-way. Fails after the options'
// idle limit without a byte.
CheckedDownload DownloadToFileChecked(const wchar_t* url, const wchar_t* path, const char* expectedMd5,
                                      const CheckedDownloadOptions& options = {});

// The receiver of FetchUrl: the body goes straight into the sink, which
// doubles as the bytes come but never grows past the announced length;
// without a sink the body is read through a scratch block and dropped.
class CBufferReceiver : public CFetchReceiver {
public:
    explicit CBufferReceiver(COutBuf* sink);
    bool OnHead(const FetchHead& head) override;
    char* BodyRoom(uint32_t count) override;
    bool OnBodyRead(uint32_t got) override;

private:
    COutBuf* m_sink;
    uint32_t m_nAnnounced = 0;
    std::vector<char> m_dropped;
};

// Fetches url (ANSI) into sink (which should be empty; may be null, then the
// body is read and dropped), on an internet handle of its own (the asset
// server shares one: CFetchSession). httpStatus, when given, receives the
// reply's status code, or 0 when there was no reply to read it from. A host
// that goes idleLimitMs without a byte fails the fetch (1 before the reply's
// head, 3 after). Nothing is reserved up front for the announced
// length: the sink grows as the bytes come.
int FetchUrl(const char* url, COutBuf* sink, int* httpStatus = nullptr, uint32_t idleLimitMs = kCdnFetchIdleLimitMs);

// A fetch of url on an internet handle the caller opened and keeps open
// longer than the run, into receiver, in two steps that may run on two
// threads, one after the other: Begin sends the request and reads the head,
// and the first piece of a body announced no longer than firstReadUpTo;
// Continue reads the rest. Each read takes what has arrived, so the receiver
// sees the bytes as they come. When mayReuseConnection (the handle has kept
// connections alive before), a request that failed as on a kept-alive
// connection the host had dropped, before any reply and well within the idle
// bound, is sent once more on a new connection; never after a time-out. The
// request is closed when the run ends or goes.
class CFetchRun {
public:
    CFetchRun(CFetchReceiver& receiver, uint32_t idleLimitMs = kCdnFetchIdleLimitMs);
    ~CFetchRun();
    CFetchRun(const CFetchRun&) = delete;
    CFetchRun& operator=(const CFetchRun&) = delete;

    // True when the fetch is over: it failed, or the whole body came.
    bool Begin(HINTERNET internet, const char* url, bool mayReuseConnection, uint32_t firstReadUpTo = 0);
    // Reads to the end, unless over.
    void Continue();
    // Ends it now with result (no request was made).
    void End(int result);
    bool Over() const { return m_bOver; }
    // Once over: 0, 1, 3, 4 or 5 (FetchResult).
    int Result() const { return m_nResult; }
    // The reply's status code, or 0 when no reply came.
    int HttpStatus() const { return m_nStatus; }

private:
    struct Request;
    bool ReadOnce();  // false once over
    bool Stop(int result);

    CFetchReceiver& m_receiver;
    const uint32_t m_nIdleLimitMs;
    std::unique_ptr<Request> m_request;
    uint32_t m_nAnnounced = 0;
    uint32_t m_nReceived = 0;
    int m_nResult = kFetchNoRequest;
    int m_nStatus = 0;
    bool m_bOver = false;
};
