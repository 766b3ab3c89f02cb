// The names of the asset files the cache may hold: every one a listing of
// its directory found, and every one stored since. A name not here is not
// on the disk, so a miss costs no look at it (under Wine, looking for a file
// that is not there reads the whole directory, a case at a time). A name
// here may be gone (clear-cache, a trim): the file is then looked for and
// not found, as it would be without the list. No Windows header.
#pragma once

#include <mutex>
#include <string>
#include <unordered_set>

class CStoredNames {
public:
    void Add(const std::string& name) {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_names.insert(name);
    }
    void Remove(const std::string& name) {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_names.erase(name);
    }
    // Before the directory is listed anew.
    void Clear() {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_names.clear();
    }
    bool MayHave(const std::string& name) const {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_names.count(name) != 0;
    }

private:
    mutable std::mutex m_lock;  // guards m_names
    std::unordered_set<std::string> m_names;
};
