// Downloading a newly announced build only when its publisher signed it: the
// signature file "<exe>.sig" beside the build is fetched and checked first,
// so a missing or bad signature costs no download.
#pragma once

#include <string>

#include "net/Download.h"
#include "update/UpdateKey.h"

// What "ver.txt" announces, its values exactly as they stand there.
struct AnnouncedBuild {
    std::string version;
    std::string exe;
    std::string md5;
};

// Writes the build at buildUrl to path only when all of this holds: the
// signature file at buildUrl + ".sig" arrives whole with status 200 and
// parses; its signature is valid for key; it names announced's version and
// exe; the build's reply announces the signed length (looked at before a byte
// of it is read); the downloaded bytes have the signed SHA-256 and the MD5 of
// "ver.txt". The bytes are checked in memory, so a refused build is never
// written. The signature file is one of the update check's files and arrives
// by checkDeadline or not at all; a missing or unsound one refuses the build
// unread. progress is told of the build's bytes, its total being the signed
// length. On any failure path is left as it was.
CheckedDownload DownloadSignedBuild(const UpdateKey& key, const AnnouncedBuild& announced, const std::wstring& buildUrl,
                                    const wchar_t* path, const CDownloadDeadline& checkDeadline,
                                    const DownloadProgress& progress = nullptr);
