#include "server/RequestFramer.h"

#include <algorithm>
#include <utility>

CRequestFramer::CRequestFramer(std::function<bool(std::string_view)> isComplete,
                               std::function<BodyFraming(std::string_view)> bodyOf)
    : m_isComplete(std::move(isComplete)), m_bodyOf(std::move(bodyOf)) {}

void CRequestFramer::DropBody(std::string_view* bytes) {
    const uint64_t dropped = std::min<uint64_t>(m_nBodyLeft, bytes->size());
    bytes->remove_prefix(static_cast<size_t>(dropped));
    m_nBodyLeft -= dropped;
}

void CRequestFramer::Receive(std::string_view bytes) {
    if (m_bClosing) return;
    DropBody(&bytes);
    m_strPending.append(bytes);
}

CRequestFramer::Next CRequestFramer::TakeRequest(std::string* request) {
    if (m_bClosing || m_nBodyLeft > 0) return Next::kNeedMore;
    const std::string_view pending = m_strPending;
    const size_t limit = std::min(pending.size(), kMaxRequestLength);
    size_t length = 0;
    for (size_t candidate = m_nScanned + 1; candidate <= limit && length == 0; ++candidate) {
        if (m_isComplete(pending.substr(0, candidate))) length = candidate;
    }
    if (length == 0) {
        m_nScanned = limit;
        return pending.size() >= kMaxRequestLength ? Next::kOverlong : Next::kNeedMore;
    }

    request->assign(pending.substr(0, length));
    m_strPending.erase(0, length);
    m_nScanned = 0;
    const BodyFraming body = m_bodyOf(*request);
    if (body.kind == BodyFraming::Kind::kUnframeable ||
        (body.kind == BodyFraming::Kind::kLength && body.length > kMaxBodyLength)) {
        // Whatever follows may be body bytes: none of it is read as a request.
        m_bClosing = true;
        m_strPending.clear();
    } else if (body.kind == BodyFraming::Kind::kLength) {
        m_nBodyLeft = body.length;
        std::string_view rest = m_strPending;
        const size_t before = rest.size();
        DropBody(&rest);
        m_strPending.erase(0, before - rest.size());
    }
    return Next::kRequest;
}
