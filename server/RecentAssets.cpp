#include "server/RecentAssets.h"

#include "server/CachePolicy.h"

CRecentAssets::Hit CRecentAssets::Find(const std::string& name, uint64_t now) {
    const std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_entries.find(name);
    if (found == m_entries.end()) return {};
    Entry& entry = found->second;
    m_recency.splice(m_recency.begin(), m_recency, entry.recency);
    Hit hit{entry.body, NeedsLastUseRefresh(entry.lastUse, now)};
    if (hit.refreshLastUse) entry.lastUse = now;
    return hit;
}

uint64_t CRecentAssets::Epoch() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_nEpoch;
}

void CRecentAssets::Keep(const std::string& name, Body body, uint64_t lastUse, uint64_t epoch) {
    const std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_entries.find(name);
    if (found != m_entries.end()) EraseLocked(found);
    if (!body || body->size() > kMaxAssetBytes || epoch != m_nEpoch) return;
    while (!m_recency.empty() && m_nTotalBytes + body->size() > kMaxTotalBytes) {
        EraseLocked(m_entries.find(m_recency.back()));
    }
    m_recency.push_front(name);
    m_nTotalBytes += body->size();
    m_entries[name] = Entry{std::move(body), lastUse, m_recency.begin()};
}

void CRecentAssets::Forget(const std::string& name) {
    const std::lock_guard<std::mutex> guard(m_lock);
    ++m_nEpoch;
    const auto found = m_entries.find(name);
    if (found != m_entries.end()) EraseLocked(found);
}

void CRecentAssets::ForgetAll() {
    const std::lock_guard<std::mutex> guard(m_lock);
    ++m_nEpoch;
    m_entries.clear();
    m_recency.clear();
    m_nTotalBytes = 0;
}

size_t CRecentAssets::TotalBytes() const {
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_nTotalBytes;
}

void CRecentAssets::EraseLocked(std::unordered_map<std::string, Entry>::iterator entry) {
    m_nTotalBytes -= entry->second.body->size();
    m_recency.erase(entry->second.recency);
    m_entries.erase(entry);
}
