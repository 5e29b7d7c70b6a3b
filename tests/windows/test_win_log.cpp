// The log file and the form of its lines.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>

#include "scratch_dir.h"
#include "win_log.h"

namespace {

constexpr int64_t kTime = 1700000000;

std::string asctime_of(int64_t utc_time) {
    __time64_t when = utc_time;
    struct tm local;
    char text[32] = "";
    EXPECT_EQ(_localtime64_s(&local, &when), 0);
    EXPECT_EQ(asctime_s(text, sizeof text, &local), 0);
    return text;
}

class LogFile : public ::testing::Test {
  protected:
    void TearDown() override { close_log_file(); }
    scratch_dir dir;
};

TEST_F(LogFile, LinesAreAppendedInTheirForm) {
    const struct {
        PELLAX_LOG_TYPE level;
        const char *file;
        int line;
        PX_ULONG thread_id;
        int code;
        const char *message;
        const char *tail;  // what follows the time text
    } cases[] = {
        {PELLAX_LOG_INFO, "lib\\parse.cpp", 42, 7, 0x1a, "hello",
         "]:[INFO]:[7]:[parse.cpp:42]:[0x1A]:hello"},
        {PELLAX_LOG_ERROR, "mainproc", 1, 0xFFFFFFFFul, 0, "",
         "]:[ERROR]:[-1]:[mainproc:1]:[0x0]:"},
        {PELLAX_LOG_WARNING, "a/b\\c\\verify.cpp", 900, 1234, 310, "Read file error.",
         "]:[WARNING]:[1234]:[verify.cpp:900]:[0x136]:Read file error."},
        {PELLAX_LOG_DEBUG, "x/y.cpp", 5, 0, 201, "100%", "]:[DEBUG]:[0]:[x/y.cpp:5]:[0xC9]:100%"},
    };
    dir.write(L"run.log", "earlier content\n");
    ASSERT_TRUE(open_log_file(dir.at(L"run.log").c_str()));
    ASSERT_TRUE(log_file_is_open());
    std::string expected = "earlier content\n";
    for (const auto &c : cases) {
        win_log_callback(c.level, c.file, c.line, c.thread_id, kTime, c.code, c.message);
        expected += "\r\n[" + asctime_of(kTime) + c.tail;
    }
    close_log_file();
    EXPECT_FALSE(log_file_is_open());
    EXPECT_EQ(read_bytes(dir.path() / "run.log"), expected);
    // The time text keeps its line feed inside the first brackets.
    EXPECT_NE(expected.find("2023\n]:[INFO]"), std::string::npos);
}

TEST_F(LogFile, TimeZeroIsNow) {
    ASSERT_TRUE(open_log_file(dir.at(L"now.log").c_str()));
    win_log_callback(PELLAX_LOG_ERROR, "verify", 3, 1, 0, 2, "Get current time error.");
    close_log_file();
    std::string text = read_bytes(dir.path() / "now.log");
    EXPECT_TRUE(std::regex_match(text, std::regex("\r\n\\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                                                  "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n\\]:"
                                                  "\\[ERROR\\]:\\[1\\]:\\[verify:3\\]:\\[0x2\\]:"
                                                  "Get current time error\\.")))
        << text;
}

TEST_F(LogFile, LineOver2047CharactersIsNotWritten) {
    ASSERT_TRUE(open_log_file(dir.at(L"long.log").c_str()));
    std::string head = "\r\n[" + asctime_of(kTime) + "]:[INFO]:[1]:[m:1]:[0x0]:";
    for (size_t length : {size_t{2047}, size_t{2048}}) {
        std::string message(length - head.size(), 'm');
        win_log_callback(PELLAX_LOG_INFO, "m", 1, 1, kTime, 0, message.c_str());
    }
    close_log_file();
    std::string text = read_bytes(dir.path() / "long.log");
    EXPECT_EQ(text.size(), 2047u);
    EXPECT_EQ(text.compare(0, head.size(), head), 0);
}

TEST_F(LogFile, NothingWithoutAFileAndANewFileReplacesTheOld) {
    win_log_callback(PELLAX_LOG_INFO, "m", 1, 1, kTime, 0, "dropped");
    ASSERT_TRUE(open_log_file(dir.at(L"first.log").c_str()));
    win_log_callback(PELLAX_LOG_INFO, "m", 1, 1, kTime, 0, "one");
    ASSERT_TRUE(open_log_file(dir.at(L"second.log").c_str()));
    win_log_callback(PELLAX_LOG_INFO, "m", 1, 1, kTime, 0, "two");
    close_log_file();
    win_log_callback(PELLAX_LOG_INFO, "m", 1, 1, kTime, 0, "dropped");
    std::string time = asctime_of(kTime);
    EXPECT_EQ(read_bytes(dir.path() / "first.log"),
              "\r\n[" + time + "]:[INFO]:[1]:[m:1]:[0x0]:one");
    EXPECT_EQ(read_bytes(dir.path() / "second.log"),
              "\r\n[" + time + "]:[INFO]:[1]:[m:1]:[0x0]:two");
}

TEST_F(LogFile, UnopenableFileLeavesLoggingOff) {
    dir.mkdir(L"folder");
    EXPECT_FALSE(open_log_file(dir.at(L"folder").c_str()));
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_FALSE(log_file_is_open());
}

}  // namespace
