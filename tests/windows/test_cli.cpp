// notarix.exe on the command line, end to end: each case lays out gpg-made files in a fresh
// directory, runs the program there and compares its standard output byte for byte.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

const std::string kUsage =
    "Notarix version 3.1.0.17\r\n"
    "Copyright (C) Notarix developers. All rights reserved.\r\n\r\n"
    "Command:\r\n"
    " -k: public key.\r\n"
    " -d: The directory which to be verified.\r\n"
    " -f: The file which to be verified.\r\n"
    " -l: Set log file.\r\n\r\n"
    "Example:\r\n"
    " Notarix -k KEYS -d file-directory\r\n"
    " Notarix -k KEYS -f signed-file\r\n";
const std::string kFilter = "\r\n[INFO]:Filtering signature files...\r\n";
const std::string kStart = "[INFO]:Start verify process...\r\n";
const std::string kComplete = "[INFO]: Verify Complete.\r\n";
const std::string kNothing = "[ERR]No files to be verify.\r\n";

struct run_result {
    std::string out;
    int exit_code;
};

std::wstring quote_arg(const std::wstring &arg) {
    return L"\"" + arg + L"\"";
}

// Runs notarix.exe in directory with these arguments; its standard output and exit code.
run_result run_notarix(const std::wstring &directory, const std::vector<std::wstring> &args) {
    std::wstring exe = std::filesystem::absolute(NOTARIX_EXE).make_preferred().wstring();
    std::wstring command = quote_arg(exe);
    for (const std::wstring &arg : args) {
        command += L" " + quote_arg(arg);
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    EXPECT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  directory.c_str(), &startup, &process);
    CloseHandle(write_end);
    run_result result{"", -2};
    EXPECT_TRUE(started) << GetLastError();
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            result.out.append(buffer, got);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exit_code = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(read_end);
    return result;
}

std::filesystem::path fixture(const std::string &name) {
    return std::filesystem::absolute(std::filesystem::path(NOTARIX_TEST_DATA) / "windows" / name);
}

// The key's fingerprint as the [PASS] line shows it.
std::string fingerprint_groups() {
    std::string hex = read_bytes(fixture("fingerprint.txt")).substr(0, 40);
    std::string groups;
    for (size_t i = 0; i < hex.size(); i += 8) {
        groups += (i ? " " : "") + hex.substr(i, 8);
    }
    return groups;
}

std::string pass_line(const std::string &signature) {
    return "[PASS]:Good Signature. File path: " + signature +
           ", public key fingerprint: " + fingerprint_groups() + "\r\n";
}

std::string narrow(const std::wstring &text) {
    return std::string(text.begin(), text.end());
}

void replace_all(std::wstring &text, const std::wstring &from, const std::wstring &to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

struct placed_file {
    std::wstring path;    // in the run's directory
    std::string fixture;  // copied from tests/data/windows; empty: a small unsigned file
};

const std::vector<placed_file> kGoodPair = {{L"a.bin", "signed.bin"},
                                            {L"a.bin.sig", "signed.bin.sig"}};

struct cli_case {
    const char *name;
    std::vector<placed_file> files;
    std::vector<std::wstring> args;
    std::string out;
    int exit_code;
};

// {LONG} stands for a directory path of exactly 200 characters inside the run's directory.
const std::wstring kName55 = std::wstring(51, L'n') + L".txt";
const std::wstring kName56 = std::wstring(52, L'n') + L".txt";

std::vector<cli_case> cli_cases() {
    const std::string no_key = "[ERR]:Please specify public key with -k.\r\n\r\n" + kUsage;
    const std::string no_files =
        "[ERR]:Please specify either source file with -f or directory with -d.\r\n\r\n" + kUsage;
    return {
        {"no arguments", {}, {}, no_key, -1},
        {"help anywhere", kGoodPair, {L"-k", L"key.asc", L"-f", L"a.bin", L"-h"}, kUsage, -1},
        {"help before dialog", {}, {L"-h", L"-ui"}, kUsage, -1},
        {"unknown option ignored",
         kGoodPair,
         {L"-x", L"-k", L"key.asc", L"-f", L"a.bin"},
         kFilter + kStart + pass_line("a.bin.sig") + kComplete,
         0},
        {"only the first -f counts",
         {{L"a.bin", "signed.bin"},
          {L"a.bin.sig", "signed.bin.sig"},
          {L"b.bin", "signed.bin"},
          {L"b.bin.asc", "signed.bin.asc"},
          {L"c.bin", "signed.bin"},
          {L"c.bin.sig", "signed.bin.sig"}},
         {L"-k", L"key.asc", L"-f", L"a.bin", L"b.bin", L"-f", L"c.bin"},
         kFilter + kStart + pass_line("a.bin.sig") + pass_line("b.bin.asc") + kComplete,
         0},
        {"value starting with -", kGoodPair, {L"-k", L"-f", L"a.bin"}, kUsage, -1},
        {"no -k", kGoodPair, {L"-f", L"a.bin"}, no_key, -1},
        {"no -f or -d", {}, {L"-k", L"key.asc", L"-d"}, no_files, -1},
        {"text value too long",
         {},
         {L"-k", std::wstring(259, L'k')},
         "[WARN]: Input params is too long.\r\n" + kUsage,
         -1},
        {"three suffixes in order",
         {{L"a.bin", "signed.bin"},
          {L"a.bin.pgp", "signed.bin.pgp"},
          {L"a.bin.sig", "signed.bin.sig"},
          {L"a.bin.asc", "signed.bin.asc"}},
         {L"-k", L"key.asc", L"-f", L"a.bin"},
         kFilter + kStart + pass_line("a.bin.sig") + pass_line("a.bin.asc") +
             pass_line("a.bin.pgp") + kComplete,
         0},
        {"a .pgp named directly",
         {{L"x", "signed.bin"}, {L"x.pgp", "signed.bin.pgp"}},
         {L"-k", L"key.asc", L"-f", L"x.pgp"},
         kFilter + kStart + pass_line("x.pgp") + kComplete,
         0},
        {"signature without its signed file",
         {{L"lone.bin.sig", "signed.bin.sig"}},
         {L"-k", L"key.asc", L"-f", L"lone.bin.sig"},
         kFilter + "[WARN]:Can't find source file for lone.bin.sig.\r\n" + kStart + kNothing +
             kComplete,
         -1},
        {"folder with a good pair",
         {{L"dir\\a.bin", "signed.bin"}, {L"dir\\a.bin.sig", "signed.bin.sig"}},
         {L"-k", L"key.asc", L"-d", L"dir"},
         kFilter + kStart + pass_line("dir\\a.bin.sig") + kComplete,
         0},
        {"folder with an unsigned readme",
         {{L"dir\\a.bin", "signed.bin"},
          {L"dir\\a.bin.sig", "signed.bin.sig"},
          {L"dir\\readme.txt", ""}},
         {L"-k", L"key.asc", L"-d", L"dir"},
         kFilter + "[WARN]:Can't find signature file for dir\\readme.txt.\r\n" + kStart +
             pass_line("dir\\a.bin.sig") + kComplete,
         1},
        {"one invalid signature",
         {{L"bad.bin", "tampered.bin"}, {L"bad.bin.sig", "signed.bin.sig"}},
         {L"-k", L"key.asc", L"-f", L"bad.bin"},
         kFilter + kStart + "[FAIL]: Invalid signature.. Source file bad.bin\r\n" + kComplete,
         2},
        {"one good, one invalid",
         {{L"a.bin", "signed.bin"},
          {L"a.bin.sig", "signed.bin.sig"},
          {L"bad.bin", "tampered.bin"},
          {L"bad.bin.asc", "signed.bin.asc"}},
         {L"-k", L"key.asc", L"-f", L"a.bin", L"bad.bin"},
         kFilter + kStart + pass_line("a.bin.sig") +
             "[FAIL]: Invalid signature.. Source file bad.bin\r\n" + kComplete,
         1},
        {"missing key file",
         kGoodPair,
         {L"-k", L"nokey.asc", L"-f", L"a.bin"},
         kFilter + kStart + "Open public key file error.\r\n" + kComplete,
         -1},
        {"key file without a key",
         {{L"a.bin", "signed.bin"}, {L"a.bin.sig", "signed.bin.sig"}, {L"nokey.asc", "signed.bin"}},
         {L"-k", L"nokey.asc", L"-f", L"a.bin"},
         kFilter + kStart + "Initialize public key error.\r\n" + kComplete,
         -1},
        {"missing -f file",
         {},
         {L"-k", L"key.asc", L"-f", L"missing.bin"},
         kFilter + "[ERR]:File not exist missing.bin.\r\n" + kStart + kNothing + kComplete,
         -1},
        {"missing -f file beside a good one",
         kGoodPair,
         {L"-k", L"key.asc", L"-f", L"a.bin", L"missing.bin"},
         kFilter + "[ERR]:File not exist missing.bin.\r\n" + kStart + pass_line("a.bin.sig") +
             kComplete,
         1},
        {"over-long -f element, then a good one",
         kGoodPair,
         {L"-k", L"key.asc", L"-f", std::wstring(260, L'f'), L"a.bin"},
         kFilter + kStart + pass_line("a.bin.sig") + kComplete,
         1},
        {"over-long -d element",
         {},
         {L"-k", L"key.asc", L"-d", std::wstring(257, L'd')},
         kFilter + "[ERR]path too long: " + std::string(257, 'd') + ".\r\n" + kStart + kNothing +
             kComplete,
         -1},
        {"forward slashes keep the folder",
         {{L"sub\\a.bin", "signed.bin"},
          {L"sub\\a.bin.sig", "signed.bin.sig"},
          {L"a.bin.sig", "signed.bin.pgp"}},
         {L"-k", L"key.asc", L"-f", L"sub/a.bin"},
         kFilter + kStart + pass_line("sub/a.bin.sig") + kComplete,
         0},
        {"joined path of 256 characters",
         {{L"{LONG}\\" + kName55, ""}},
         {L"-k", L"key.asc", L"-d", L"{LONG}"},
         kFilter + "[WARN]:Can't find signature file for {LONG}\\" + narrow(kName55) + ".\r\n" +
             kStart + kNothing + kComplete,
         -1},
        {"joined path of 257 characters",
         {{L"{LONG}\\" + kName56, ""}},
         {L"-k", L"key.asc", L"-d", L"{LONG}"},
         kFilter + "[WARN]:Folder's depth is overloaded.\r\n" + kStart + kNothing + kComplete,
         -1},
        {"folder path of 257 characters",
         {{L"{LONG}\\" + kName56 + L"\\x", ""}},
         {L"-k", L"key.asc", L"-d", L"{LONG}"},
         kFilter +
             "[WARN]:May be not all signature added, because the folder's depth is overloaded\r\n" +
             kStart + kNothing + kComplete,
         -1},
    };
}

class CommandLine : public ::testing::Test {
  protected:
    // Lays out the case's files (and key.asc) and runs it; {LONG} is replaced everywhere.
    run_result run(cli_case &c) {
        std::wstring base = dir.path().wstring();
        std::wstring long_dir = base + L"\\" + std::wstring(200 - base.size() - 1, L'l');
        std::filesystem::copy_file(fixture("key.asc"), dir.path() / "key.asc");
        for (placed_file &file : c.files) {
            replace_all(file.path, L"{LONG}", long_dir);
            std::filesystem::path target = std::filesystem::path(file.path).is_absolute()
                                               ? std::filesystem::path(file.path)
                                               : dir.path() / file.path;
            std::filesystem::create_directories(target.parent_path());
            if (file.fixture.empty()) {
                std::ofstream(target, std::ios::binary) << "unsigned\n";
            } else {
                std::filesystem::copy_file(fixture(file.fixture), target);
            }
        }
        for (std::wstring &arg : c.args) {
            replace_all(arg, L"{LONG}", long_dir);
        }
        std::wstring out(c.out.begin(), c.out.end());
        replace_all(out, L"{LONG}", long_dir);
        c.out = narrow(out);
        return run_notarix(base, c.args);
    }
    scratch_dir dir;
};

class CommandLineCase : public CommandLine, public ::testing::WithParamInterface<size_t> {};

TEST_P(CommandLineCase, OutputAndExitCode) {
    cli_case c = cli_cases()[GetParam()];
    SCOPED_TRACE(c.name);
    if (dir.path().wstring().size() > 190) {
        GTEST_SKIP() << "the build folder's path leaves no room for a 200-character folder";
    }
    run_result result = run(c);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.exit_code, c.exit_code);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineCase, ::testing::Range<size_t>(0, cli_cases().size()),
                         [](const ::testing::TestParamInfo<size_t> &param) {
                             std::string name = cli_cases()[param.param].name;
                             for (char &ch : name) {
                                 if (!isalnum(static_cast<unsigned char>(ch))) {
                                     ch = '_';
                                 }
                             }
                             return name;
                         });

TEST_F(CommandLine, SignatureThatCannotBeOpened) {
    // Held open without sharing, the signature exists but cannot be read.
    cli_case c = {"", kGoodPair, {L"-k", L"key.asc", L"-f", L"a.bin"}, "", 0};
    std::filesystem::copy_file(fixture("signed.bin.sig"), dir.path() / "a.bin.sig");
    c.files.pop_back();
    HANDLE held = CreateFileW(dir.at(L"a.bin.sig").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    run_result result = run(c);
    CloseHandle(held);
    EXPECT_EQ(result.out, kFilter + kStart + "[ERR]Open signature file error.\r\n" + kComplete);
    // Nothing was verified: the run does not end as a success.
    EXPECT_EQ(result.exit_code, 2);
}

TEST_F(CommandLine, LogFileIsAppendedTo) {
    cli_case c = {"",
                  {{L"bad.bin", "tampered.bin"}, {L"bad.bin.sig", "signed.bin.sig"}},
                  {L"-k", L"key.asc", L"-f", L"bad.bin", L"-l", L"run.log"},
                  "",
                  0};
    dir.write(L"run.log", "previous run\r\n");
    run_result result = run(c);
    EXPECT_EQ(result.out,
              kFilter + kStart + "[FAIL]: Invalid signature.. Source file bad.bin\r\n" + kComplete);
    EXPECT_EQ(result.exit_code, 2);
    std::string log = read_bytes(dir.path() / "run.log");
    ASSERT_EQ(log.compare(0, 14, "previous run\r\n"), 0) << log;
    std::string lines = log.substr(14);
    const std::regex line(
        "\r\n\\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n\\]:"
        "\\[(ERROR|WARNING|INFO|DEBUG)\\]:\\[-?[0-9]+\\]:\\[[^\\]\\\\:]+:[0-9]+\\]:"
        "\\[0x[0-9A-F]+\\]:[^\r]*");
    EXPECT_TRUE(std::regex_match(lines, std::regex("(" + std::string("\r\n\\[[^\r]*") + ")+")));
    size_t count = 0;
    for (size_t at = 0; at < lines.size(); ++count) {
        size_t next = lines.find("\r\n[", at + 2);
        std::string one =
            lines.substr(at, next == std::string::npos ? std::string::npos : next - at);
        EXPECT_TRUE(std::regex_match(one, line)) << one;
        at = next == std::string::npos ? lines.size() : next;
    }
    EXPECT_GT(count, 0u);
}

TEST_F(CommandLine, UnopenableLogFile) {
    cli_case c = {"", kGoodPair, {L"-k", L"key.asc", L"-f", L"a.bin", L"-l", L"logdir"}, "", 0};
    dir.mkdir(L"logdir");
    run_result result = run(c);
    EXPECT_TRUE(
        std::regex_match(result.out, std::regex("\\[ERR\\]:Open log file error\\([0-9A-F]+\\)\\.")))
        << result.out;
    EXPECT_EQ(result.exit_code, -1);
}

}  // namespace
