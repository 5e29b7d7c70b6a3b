// A fresh directory under the system's temporary folder, removed with everything in it when the
// test ends. Works the same under Linux and Windows.
#ifndef NOTARIX_TESTS_TEMP_DIR_H
#define NOTARIX_TESTS_TEMP_DIR_H

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

class TempDir {
  public:
    explicit TempDir(const std::string &prefix) {
        std::random_device seed;
        std::mt19937_64 random(seed());
        const std::filesystem::path root = std::filesystem::temp_directory_path();
        for (;;) {
            path_ = root / (prefix + std::to_string(random()));
            if (std::filesystem::create_directory(path_)) {
                break;
            }
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }

  private:
    std::filesystem::path path_;
};

#endif
