#include "server/AssetFill.h"

#include <algorithm>
#include <new>

#include "server/RecentAssets.h"

namespace {

constexpr int kHttpOk = 200;

// What a reply whose head says this is: an asset to store, one to pass on
// only, or an error page.
AssetSource SourceOfHead(const FetchHead& head) {
    if (head.status != kHttpOk) return AssetSource::kCdnError;
    return head.fromElsewhere ? AssetSource::kPassedOn : AssetSource::kFetched;
}

bool WriteAll(HANDLE file, const char* data, uint32_t count) {
    while (count > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, data, count, &written, nullptr) || written == 0) return false;
        data += written;
        count -= written;
    }
    return true;
}

}  // namespace

CAssetFill::CAssetFill(std::wstring tempPath, std::wstring finalPath, std::shared_ptr<CFillMemory> memoryBound,
                       uint32_t peer, FileGrowth fileGrew, std::function<void()> makeFolder)
    : m_strTempPath(std::move(tempPath)),
      m_strFinalPath(std::move(finalPath)),
      m_memoryBound(std::move(memoryBound)),
      m_nPeer(peer),
      m_fileGrew(std::move(fileGrew)),
      m_makeFolder(std::move(makeFolder)) {}

CAssetFill::~CAssetFill() {
    m_breakdown.Report(m_view.length);
    m_hWriter.reset();
    if (!m_bStored) ::DeleteFileW(m_strTempPath.c_str());
    if (m_nReserved) m_memoryBound->Release(m_nReserved);
}

// Shared for reading only: no other writer, and no deletion while it is
// written. Readers then open it sharing everything. A folder found gone
// (clear-cache may take it) is made again, once.
bool CAssetFill::CreateTemporaryFile() {
    const CFileWorkTimer timer(&m_breakdown, CMissBreakdown::kCreate);
    for (bool again = static_cast<bool>(m_makeFolder);; again = false) {
        m_hWriter.reset(::CreateFileW(m_strTempPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (m_hWriter || !again || ::GetLastError() != ERROR_PATH_NOT_FOUND) return static_cast<bool>(m_hWriter);
        m_makeFolder();
    }
}

CAssetFill::View CAssetFill::Look() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_view;
}

CHandle CAssetFill::OpenReader() const {
    const std::lock_guard<std::mutex> guard(m_lock);  // never between the rename and the path it leads to
    const std::wstring& path = m_bStored ? m_strFinalPath : m_strTempPath;
    return CHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

void CAssetFill::Watch(HANDLE wake) {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (std::find(m_watchers.begin(), m_watchers.end(), wake) == m_watchers.end()) m_watchers.push_back(wake);
}

void CAssetFill::Unwatch(HANDLE wake) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_watchers.erase(std::remove(m_watchers.begin(), m_watchers.end(), wake), m_watchers.end());
}

// Under the lock, so that no watcher's event is set once it has unwatched
// (and may be closed).
void CAssetFill::Publish() {
    const std::lock_guard<std::mutex> guard(m_lock);
    for (const HANDLE wake : m_watchers) ::SetEvent(wake);
}

// A small asset is gathered in memory, in a block of its announced size:
// the readers send from it, its file is written once it is whole, and the
// cache keeps it once stored. A larger one goes into its file as it comes,
// created before any reader hears of the head; one that has no file goes
// into memory too, within the shared bound; past it the fetch fails before
// any reply has begun.
bool CAssetFill::OnHead(const FetchHead& head) {
    if (m_bAbandoned) return false;
    const bool small = head.length <= CRecentAssets::kMaxAssetBytes;
    m_bFileOnceWhole = small;
    if (!small) CreateTemporaryFile();
    std::shared_ptr<std::string> memory;
    if (small || !m_hWriter) {
        if (!small) {
            if (!m_memoryBound->Reserve(head.length)) return false;
            m_nReserved = head.length;
        }
        memory = std::make_shared<std::string>(head.length, '\0');
        m_pMemory = memory.get();
    } else {
        m_piece.resize(std::min<size_t>(head.length, kFetchPiece));
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_view.phase = Phase::kFilling;
        m_view.headArrived = true;
        m_view.outcome = {SourceOfHead(head), head.status, 0};
        m_view.length = head.length;
        m_view.memory = std::move(memory);
    }
    m_breakdown.Note(CMissBreakdown::kCdnHead);
    // A small body's first piece follows at once: its readers are woken
    // with it, once, not for the head and again for the body.
    if (!small || head.length == 0) Publish();
    return true;
}

char* CAssetFill::BodyRoom(uint32_t count) {
    if (m_bAbandoned) return nullptr;
    if (m_pMemory) {
        const uint64_t written = Look().written;
        return written + count <= m_pMemory->size() ? m_pMemory->data() + written : nullptr;
    }
    return count <= m_piece.size() ? m_piece.data() : nullptr;
}

// Every piece of a large body goes to the file while there is one. A write
// that fails drops the file: the body so far is read back into memory
// first (if the shared bound allows), so no reader loses a byte. A small
// body stays in its block in memory until it is whole.
bool CAssetFill::OnBodyRead(uint32_t got) {
    const char* bytes = m_piece.data();
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_pMemory) bytes = m_pMemory->data() + m_view.written;
    }
    if (m_bAbandoned) return false;
    // Told to leave its file: where memory cannot take the body, the file
    // stays, rather than a reader losing it.
    if (m_hWriter && m_bStopStoring.exchange(false)) LeaveFile(bytes, got);
    if (m_hWriter) {
        bool wrote;
        {
            const CFileWorkTimer timer(&m_breakdown, CMissBreakdown::kWrite);
            wrote = WriteAll(m_hWriter.get(), bytes, got);
        }
        if (!wrote) {
            if (!LeaveFile(bytes, got)) return false;
        } else {
            m_nFileBytes += got;
            // Temporary files past the cache limit: an unread fill ends, a
            // read one goes on without its file where memory allows.
            if (m_fileGrew && !m_fileGrew(*this, got)) {
                if (!IsRead()) return false;
                LeaveFile(bytes, got);
            }
        }
    }
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_view.written += got;
        if (m_view.written == m_view.length) m_breakdown.Note(CMissBreakdown::kLastRead);
    }
    Publish();
    return true;
}

// The body so far, from the file, and this piece, into a block of the whole
// body's size; readers go on from it.
bool CAssetFill::HoldInMemory(const char* piece, uint32_t got) {
    const View view = Look();
    if (!m_memoryBound->Reserve(view.length)) return false;
    std::shared_ptr<std::string> memory;
    try {
        memory = std::make_shared<std::string>(view.length, '\0');
    } catch (const std::bad_alloc&) {
        m_memoryBound->Release(view.length);
        return false;
    }
    const CHandle reader = OpenReader();
    uint64_t done = 0;
    while (reader && done < view.written) {
        DWORD read = 0;
        const DWORD count = static_cast<DWORD>(std::min<uint64_t>(view.written - done, kFetchPiece));
        if (!::ReadFile(reader.get(), memory->data() + done, count, &read, nullptr) || read == 0) break;
        done += read;
    }
    if (done != view.written || got > view.length - done) {
        m_memoryBound->Release(view.length);
        return false;
    }
    m_nReserved = view.length;
    std::copy(piece, piece + got, memory->data() + done);
    m_pMemory = memory.get();
    const std::lock_guard<std::mutex> guard(m_lock);
    m_view.memory = std::move(memory);
    return true;
}

// No file from now on: what was written of it goes (readers that opened it
// read on from their handles, or from memory).
void CAssetFill::DropFile() {
    m_hWriter.reset();
    ::DeleteFileW(m_strTempPath.c_str());
    m_nFileBytes = 0;
}

// Goes on without the file, the body so far in memory: piece (got bytes, not
// yet in the file nor counted) is the one being taken. False when the bound
// of memory does not allow it.
bool CAssetFill::LeaveFile(const char* piece, uint32_t got) {
    if (!m_pMemory && !HoldInMemory(piece, got)) return false;
    DropFile();
    return true;
}

// A small body's file, written whole from memory: false when the disk
// cannot take it, or the temporary files may not grow by it.
bool CAssetFill::WriteWholeBody() {
    const View view = Look();
    if (!view.memory || !CreateTemporaryFile()) return false;
    const uint32_t length = static_cast<uint32_t>(view.written);
    bool kept;
    {
        const CFileWorkTimer timer(&m_breakdown, CMissBreakdown::kWrite);
        kept = WriteAll(m_hWriter.get(), view.memory->data(), length);
    }
    if (kept) {
        m_nFileBytes += length;
        kept = !m_fileGrew || m_fileGrew(*this, length);
    }
    if (!kept) DropFile();
    return kept;
}

// Without the flush a power cut could leave the rename done and the data
// not: an empty file, served for good. The rename also fails while a reader
// holds the final file open without sharing its deletion; that file is
// complete already, so dropping ours loses nothing.
bool CAssetFill::Store() {
    if (m_bFileOnceWhole && !WriteWholeBody()) return false;
    if (!m_hWriter) return false;
    const CFileWorkTimer timer(&m_breakdown, CMissBreakdown::kStore);
    bool flushed = ::FlushFileBuffers(m_hWriter.get()) != FALSE;
    flushed = ::CloseHandle(m_hWriter.release()) && flushed;
    if (!flushed) return false;
    const std::lock_guard<std::mutex> guard(m_lock);
    m_bStored = ::MoveFileExW(m_strTempPath.c_str(), m_strFinalPath.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    return m_bStored;
}

void CAssetFill::Finish(int fetchResult, int httpStatus) {
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (fetchResult == kFetchComplete && m_view.phase == Phase::kFilling && m_view.written == m_view.length) {
            m_view.phase = Phase::kComplete;
            m_view.outcome.fetchResult = fetchResult;
        } else {
            m_view.phase = Phase::kFailed;
            m_view.outcome = {AssetSource::kNoReply, httpStatus, fetchResult};
            // No reader takes another byte of a failed fill: its file goes
            // now, not once the last reply that met it has gone.
            m_hWriter.reset();
            ::DeleteFileW(m_strTempPath.c_str());
        }
    }
    Publish();
}

std::shared_ptr<const std::string> CAssetFill::Memory() const { return Look().memory; }
