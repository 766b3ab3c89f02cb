#include "server/HttpReply.h"

#include <cstdio>

#include "common/OutBuf.h"

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

std::string FormatHttpDate(int64_t unixSeconds) {
    static constexpr const char* kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int64_t seconds = unixSeconds;
    const int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const int64_t secondOfDay = seconds - days * 86400;
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    const int64_t weekday = ((days % 7) + 7) % 7;  // 1970-01-01 was a Thursday

    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04lld %02d:%02d:%02d GMT", kDays[weekday], day, kMonths[month - 1],
                  static_cast<long long>(year), static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
    return text;
}

const char* StatusForAsset(const AssetOutcome& outcome) {
    switch (outcome.source) {
        case AssetSource::kCache:
        case AssetSource::kFetched:
        case AssetSource::kPassedOn:
            return "200 OK";
        case AssetSource::kCdnError:
            return outcome.httpStatus == 404 ? "404 Not Found" : "502 Bad Gateway";
        case AssetSource::kRefusedTarget:
            return "400 Bad Request";
        case AssetSource::kNoReply:
            break;
    }
    return "502 Bad Gateway";
}

bool SendsBodyOf(const AssetOutcome& outcome) {
    return outcome.source == AssetSource::kCache || outcome.source == AssetSource::kFetched ||
           outcome.source == AssetSource::kPassedOn || outcome.source == AssetSource::kCdnError;
}

bool AppendReplyHeader(COutBuf& out, const char* status, const std::string& date, int32_t contentLength,
                       bool keepAlive, const std::string& contentType) {
    return out.AppendFormat(
        "HTTP/1.0 %s\r\nDate: %s\r\nServer: %s\r\nAccept-Ranges: bytes\r\nContent-Length: %d\r\n"
        "Connection: %s\r\nContent-Type: %s\r\n\r\n",
        status, date.c_str(), kServerName, static_cast<int>(contentLength), keepAlive ? "Keep-Alive" : "close",
        contentType.c_str());
}
