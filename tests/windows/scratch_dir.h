// A fresh directory for one test under the working directory, removed with everything in it
// when the test ends; small helpers to fill it.
#ifndef NOTARIX_SCRATCH_DIR_H
#define NOTARIX_SCRATCH_DIR_H

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

class scratch_dir {
  public:
    scratch_dir() {
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        // Short, so that cases near the path limits leave room; one per test, as tests run
        // side by side.
        std::string full = std::string(test->test_suite_name()) + "." + test->name();
        path_ = std::filesystem::absolute("t" + std::to_string(std::hash<std::string>{}(full)));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~scratch_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    scratch_dir(const scratch_dir &) = delete;
    scratch_dir &operator=(const scratch_dir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // A path inside the directory, in Windows form.
    std::wstring at(const std::wstring &relative) const {
        return (path_ / relative).make_preferred().wstring();
    }
    void write(const std::wstring &relative, const std::string &bytes) const {
        std::filesystem::path file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out << bytes;
    }
    void mkdir(const std::wstring &relative) const {
        std::filesystem::create_directories(path_ / relative);
    }

  private:
    std::filesystem::path path_;
};

inline std::string read_bytes(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#endif
