// A fresh, empty directory for one test, named after it and removed with
// everything in it when the object goes. No Windows header.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class CScratchDirectory {
public:
    // <temp>/<prefix><test name>, emptied first.
    explicit CScratchDirectory(const std::string& prefix) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() / (prefix + (test ? test->name() : "outside_a_test"));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~CScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CScratchDirectory(const CScratchDirectory&) = delete;
    CScratchDirectory& operator=(const CScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
