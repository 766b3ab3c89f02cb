// The HTTP download client: one GET over WinINet per call, no state kept
// between calls, so any number of threads may download at once. Each call
// opens its own internet handle and closes it before returning.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>

class COutBuf;

// FetchUrl's result codes. 2 is never produced.
enum FetchResult : int {
    kFetchComplete = 0,   // body read to its end; a sink holds exactly Content-Length bytes
    kFetchNoRequest = 1,  // the request could not be opened, or no readable Content-Length
    kFetchCutShort = 3,   // a read failed, or the sink's size differs from Content-Length
    kFetchOffline = 4,    // the connection state says offline, or no internet handle
};

// Stores the body of url at the start of buffer and returns its length; 0 for
// failure and for an empty body alike. Never writes past capacity: a body
// longer than capacity fails. Writes no terminating zero. A connection lost
// part-way returns the bytes received until then. httpStatus, when given,
// receives the reply's status code, or 0 when there was no reply.
uint32_t DownloadToBuffer(const wchar_t* url, void* buffer, uint32_t capacity, int* httpStatus = nullptr);

// A last look at a downloaded body while it is still only in memory; false
// refuses it.
using BodyCheck = std::function<bool(const void* bytes, uint32_t length)>;

// Downloads url whole, checks its MD5 against expectedMd5 (hexadecimal, any
// letter case) and with check, when given, and only then creates or replaces
// path with exactly those bytes. On any failure the file is left as it was,
// or removed again when writing it failed part-way.
bool DownloadToFileChecked(const wchar_t* url, const wchar_t* path, const char* expectedMd5,
                           const BodyCheck& check = nullptr);

// Fetches url (ANSI) into sink (which should be empty; may be null, then the
// body is read and dropped). httpStatus, when given, receives the reply's
// status code, or 0 when there was no reply to read it from.
int FetchUrl(const char* url, COutBuf* sink, int* httpStatus = nullptr);

// FetchUrl on an internet handle the caller opened and still owns; returns
// 0, 1 or 3. The request ends when the caller closes the internet handle.
int FetchUrlOnHandle(HINTERNET internet, const char* url, COutBuf* sink, int* httpStatus = nullptr);
