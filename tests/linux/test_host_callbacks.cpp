// The host side handed to the library: bounded callbacks and the log file line.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <ctime>
#include <string>

#include "NotarixHost.h"
#include "scratch_dir.h"

namespace {

int format(char *dest, PX_ULONG size, PX_ULONG count, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int r = vsnprintf_s_callback(dest, size, count, fmt, args);
    va_end(args);
    return r;
}

TEST(HostCallbacks, BoundedSlots) {
    std::string text(2047, 'q');
    char big[2048];
    EXPECT_EQ(format(big, sizeof big, 2047, "%s", text.c_str()), 2047);
    EXPECT_EQ(big[2047], '\0');
    EXPECT_EQ(format(big, sizeof big, 2048, "%s", "a"), -1);  // count must be below the size
    char small[8];
    EXPECT_EQ(format(small, sizeof small, 7, "%s", "12345678"), -1);  // a cut text fails
    EXPECT_EQ(format(small, sizeof small, 7, "%d", 42), 2);
    EXPECT_STREQ(small, "42");

    char fill[4] = {1, 1, 1, 1};
    EXPECT_EQ(memset_s_callback(fill, 4, 7, 6), -1);
    EXPECT_EQ(fill[0], 1);  // refused before anything is touched
    EXPECT_EQ(memset_s_callback(fill, 4, 7, 4), 0);
    EXPECT_EQ(fill[3], 7);
    EXPECT_EQ(memcpy_s_callback(fill, 4, "abcdef", 5), -1);
    EXPECT_EQ(memmove_s_callback(fill, 4, "ab", 2), 0);
    EXPECT_EQ(strcpy_s_callback(small, 3, "abc"), -1);
    EXPECT_EQ(strcpy_s_callback(small, 4, "abc"), 0);
    EXPECT_STREQ(small, "abc");
}

TEST(HostCallbacks, OpenAppliesThePathRule) {
    ScratchDir dir;
    const std::string file = dir.write("data.bin", "12345");
    testing::internal::CaptureStdout();
    EXPECT_EQ(fopen_callback("ab", "rb"), nullptr);
    EXPECT_EQ(fopen_callback(std::string(1024, 'a').c_str(), "rb"), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "[ERROR]:Path not valid, File position:ab.\n"
              "[ERROR]:Path not valid, File position:.\n");
    void *handle = fopen_callback(file.c_str(), "rb");
    ASSERT_NE(handle, nullptr);
    char buf[16];
    EXPECT_EQ(fread_callback(buf, sizeof buf, handle), 5u);
    EXPECT_EQ(fclose_callback(handle), 0);
    EXPECT_NE(get_utc_time_callback(), 0);
}

class LogFile : public testing::Test {
  protected:
    void SetUp() override { s_logfile = fopen(path_.c_str(), "w+b"); }
    void TearDown() override {
        if (s_logfile != nullptr) {
            fclose(s_logfile);
            s_logfile = nullptr;
        }
    }
    std::string contents() {
        fflush(s_logfile);
        return read_file(path_);
    }
    ScratchDir dir_;
    std::string path_ = dir_ / "notarix.log";
};

TEST_F(LogFile, LineForm) {
    const int64_t when = 1700000000;
    notarix_log(PELLAX_LOG_WARNING, "lib/parse.cpp", 321, 99, when, 115, "Sub packet is short.");
    notarix_log(PELLAX_LOG_INFO, "verify", 7, 99, when, 0, "second");

    const time_t t = when;
    struct tm local {};
    localtime_r(&t, &local);
    char stamp[64];
    asctime_r(&local, stamp);  // ends with its own newline
    const std::string thread = std::to_string(static_cast<unsigned long>(pthread_self()));
    EXPECT_EQ(contents(), "\r\n[" + std::string(stamp) + "]:[WARNING]:[" + thread +
                              "]:[parse.cpp:321]:Sub packet is short.\r\n[" + stamp + "]:[INFO]:[" +
                              thread + "]:[verify:7]:second");
}

TEST_F(LogFile, OverlongLinesAreDropped) {
    notarix_log(PELLAX_LOG_ERROR, "parse", 1, 0, 1700000000, 0, std::string(500, 'm').c_str());
    EXPECT_EQ(contents(), "");
}

TEST(HostLog, NoFileNoOutput) {
    ASSERT_EQ(s_logfile, nullptr);
    testing::internal::CaptureStdout();
    notarix_log(PELLAX_LOG_ERROR, "parse", 1, 0, 1700000000, 0, "nothing");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
