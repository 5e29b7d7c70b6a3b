// The stored key path, under a key of its own so the program's setting is left alone.
#include <gtest/gtest.h>

#include <string>

#include "win_settings.h"

namespace {

class KeySetting : public ::testing::Test {
  protected:
    // One key per test: tests run side by side and the registry is shared.
    void SetUp() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        key_ = L"SOFTWARE\\NotarixTest_" + std::wstring(name.begin(), name.end());
        test_key = key_.c_str();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, test_key);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, test_key); }
    // Stores raw value data, as another program might have left it.
    void store(DWORD type, const void *data, DWORD bytes) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, test_key, kKeyValueName, type, data, bytes),
                  ERROR_SUCCESS);
    }
    std::wstring key_;
    const wchar_t *test_key = nullptr;
};

TEST_F(KeySetting, FirstReadCreatesAnEmptyValue) {
    wchar_t path[JOB_PATH_CHARS];
    EXPECT_FALSE(read_key_setting(test_key, path));
    wchar_t stored[8] = L"x";
    DWORD bytes = sizeof stored;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, test_key, kKeyValueName, RRF_RT_REG_SZ, nullptr,
                           stored, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(stored), L"");
    EXPECT_FALSE(read_key_setting(test_key, path));
}

TEST_F(KeySetting, WrittenPathReadsBack) {
    const std::wstring paths[] = {L"C:\\keys\\key.asc", std::wstring(259, L'p')};
    for (const std::wstring &written : paths) {
        ASSERT_TRUE(write_key_setting(test_key, written.c_str()));
        wchar_t path[JOB_PATH_CHARS];
        EXPECT_TRUE(read_key_setting(test_key, path));
        EXPECT_EQ(std::wstring(path), written);
    }
    EXPECT_FALSE(write_key_setting(test_key, L""));
    EXPECT_FALSE(write_key_setting(test_key, std::wstring(260, L'p').c_str()));
}

TEST_F(KeySetting, OverLongOrForeignValuesAreNotLoaded) {
    std::wstring long_path(260, L'p');
    const DWORD number = 7;
    const struct {
        DWORD type;
        const void *data;
        DWORD bytes;
        bool loaded;
    } cases[] = {
        {REG_SZ, long_path.c_str(), 261 * sizeof(wchar_t), false},
        {REG_SZ, long_path.c_str(), 260 * sizeof(wchar_t), false},  // no terminator, no room
        {REG_SZ, long_path.c_str(), 259 * sizeof(wchar_t), true},   // no terminator, fits
        {REG_DWORD, &number, sizeof number, false},
    };
    wchar_t path[JOB_PATH_CHARS];
    EXPECT_FALSE(read_key_setting(test_key, path));  // creates the key
    for (const auto &c : cases) {
        store(c.type, c.data, c.bytes);
        EXPECT_EQ(read_key_setting(test_key, path), c.loaded) << c.bytes;
        EXPECT_EQ(std::wstring(path), c.loaded ? long_path.substr(0, 259) : L"");
    }
}

}  // namespace
