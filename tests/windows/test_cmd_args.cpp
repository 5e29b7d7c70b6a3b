// Command-line parsing: options looked up in table order, first occurrences only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmd_line.h"

namespace {

struct parse_case {
    std::vector<std::wstring> args;  // after the program name
    int answer;
    std::wstring key, files, dirs, log;
};

const std::wstring k258(258, L'k');
const std::wstring k259(259, L'k');

const parse_case kCases[] = {
    {{}, CMD_RUN, L"", L"", L"", L""},
    {{L"-k", L"K", L"-f", L"a", L"-h"}, CMD_HELP, L"", L"", L"", L""},
    {{L"-k", L"K", L"-ui"}, CMD_DIALOG, L"", L"", L"", L""},
    {{L"-h", L"-ui"}, CMD_HELP, L"", L"", L"", L""},
    {{L"-ui", L"-h"}, CMD_HELP, L"", L"", L"", L""},
    {{L"-x", L"-k", L"K", L"-f", L"a.bin"}, CMD_RUN, L"K", L"a.bin", L"", L""},
    {{L"-k", L"K", L"-f", L"a.bin", L"b.bin", L"-f", L"c.bin"},
     CMD_RUN,
     L"K",
     L"a.bin;b.bin",
     L"",
     L""},
    {{L"-k", L"-f", L"a.bin"}, CMD_ERROR, L"", L"", L"", L""},
    {{L"-k", L"K", L"-d"}, CMD_RUN, L"K", L"", L"", L""},
    {{L"-k"}, CMD_RUN, L"", L"", L"", L""},
    {{L"-k", L"K", L"-k", L"K2"}, CMD_RUN, L"K", L"", L"", L""},
    {{L"-K", L"K", L"--k", L"K"}, CMD_RUN, L"", L"", L"", L""},
    {{L"-k", k258}, CMD_RUN, k258, L"", L"", L""},
    {{L"-k", k259}, CMD_ERROR, L"", L"", L"", L""},
    {{L"-l", k259, L"-k", L"K"}, CMD_ERROR, L"K", L"", L"", L""},
    // "-k" is looked for before "-l", whose value then begins with "-".
    {{L"-l", L"-k", L"K"}, CMD_ERROR, L"K", L"", L"", L""},
    {{L"-d", L"d1", L"d2", L"-k", L"K", L"-l", L"run.log", L"stray", L"-f", L"-d", L"x"},
     CMD_RUN,
     L"K",
     L"",
     L"d1;d2",
     L"run.log"},
    {{L"-f", L"", L"a"}, CMD_RUN, L"", L";a", L"", L""},
};

TEST(ParseCmdArgs, Table) {
    for (const parse_case &c : kCases) {
        std::vector<std::wstring> storage = {L"notarix.exe"};
        storage.insert(storage.end(), c.args.begin(), c.args.end());
        std::vector<wchar_t *> argv;
        for (std::wstring &arg : storage) {
            argv.push_back(&arg[0]);
        }
        cmd_args args;
        std::wstring joined;
        for (const std::wstring &arg : c.args) {
            joined += arg.substr(0, 12) + L" ";
        }
        SCOPED_TRACE(std::string(joined.begin(), joined.end()));
        EXPECT_EQ(parse_cmd_args(static_cast<int>(argv.size()), argv.data(), &args), c.answer);
        EXPECT_EQ(std::wstring(args.key_file), c.key);
        EXPECT_EQ(args.file_list, c.files);
        EXPECT_EQ(args.dir_list, c.dirs);
        EXPECT_EQ(std::wstring(args.log_file), c.log);
    }
}

TEST(ExitCode, FromTheRunFlags) {
    const struct {
        uint32_t flags;
        int code;
    } cases[] = {{0, 0},
                 {JOB_FLAG_GOOD, 0},
                 {JOB_FLAG_GOOD | JOB_FLAG_LEFT_OUT, 1},
                 {JOB_FLAG_GOOD | JOB_FLAG_INVALID, 1},
                 {JOB_FLAG_LEFT_OUT, 2},
                 {JOB_FLAG_INVALID, 2},
                 {JOB_FLAG_LEFT_OUT | JOB_FLAG_INVALID, 2}};
    for (const auto &c : cases) {
        EXPECT_EQ(exit_code_from_flags(c.flags), c.code) << c.flags;
    }
}

}  // namespace
