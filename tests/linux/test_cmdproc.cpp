// The command processor's own logic: options, paths, fingerprint text and file pairing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NotarixCmdProc.h"
#include "scratch_dir.h"

namespace {

using Paths = std::vector<std::string>;

TEST(CmdProc, OptionsAndPaths) {
    const struct {
        const char *text;
        int index;
    } options[] = {{"-h", 0}, {"-k", 1}, {"-f", 2}, {"-d", 3},   {"-l", 4},  {"-x", -1},
                   {"-", -1}, {"", -1},  {"k", -1}, {"-kk", -1}, {"-ui", -1}};
    for (const auto &o : options) {
        EXPECT_EQ(isOption(o.text), o.index) << o.text;
    }
    EXPECT_FALSE(ValidatePath("ab"));
    EXPECT_TRUE(ValidatePath("abc"));

    char buffer[kPathBufferSize];
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ApplyPathRule(std::string(1025, 'a').c_str(), buffer));
    EXPECT_FALSE(ApplyPathRule(std::string(1024, 'a').c_str(), buffer));
    EXPECT_FALSE(ApplyPathRule("ab", buffer));
    EXPECT_TRUE(ApplyPathRule(std::string(1023, 'a').c_str(), buffer));
    EXPECT_EQ(std::string(buffer), std::string(1023, 'a'));
    const std::string out = testing::internal::GetCapturedStdout();
    // A 1024-character path does not fit the buffer and is reported as the empty text it left.
    // The first message is cut at 511 characters like every console line.
    const std::string too_long =
        "[ERROR]:Get real path error, File position:" + std::string(1025, 'a') + ".";
    EXPECT_EQ(out, too_long.substr(0, 511) +
                       "\n[ERROR]:Path not valid, File position:.\n"
                       "[ERROR]:Path not valid, File position:ab.\n");
}

TEST(CmdProc, MessagesAreCutAt511Characters) {
    testing::internal::CaptureStdout();
    PrintMsg("%s", std::string(600, 'x').c_str());
    PrintMsg("[INFO]:%d", 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(511, 'x') + "\n[INFO]:7\n");
}

TEST(CmdProc, FingerprintText) {
    CNotarixCmdProc proc;
    std::vector<PX_BYTE> bytes(20);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<PX_BYTE>(i * 13 + 0xA0);
    }
    char *text = proc.ConvertHexToString(bytes.data(), bytes.size());
    EXPECT_STREQ(text, "A0ADBAC7 D4E1EEFB 0815222F 3C495663 707D8A97");
    delete[] text;
    const PX_BYTE five[] = {1, 2, 3, 0xFF, 0x0A};
    text = proc.ConvertHexToString(five, 5);
    EXPECT_STREQ(text, "010203FF 0A");
    delete[] text;
    text = proc.ConvertHexToString(five, 0);
    EXPECT_STREQ(text, "");
    delete[] text;
}

TEST(CmdProc, SignatureNames) {
    CNotarixCmdProc proc;
    const struct {
        const char *path;
        bool signature;
    } names[] = {{"a.sig", true},     {"a.asc", true},     {".sig", false},
                 {"dir/.sig", false}, {"e.SIG", false},    {"a.sig.txt", false},
                 {"dir/x.asc", true}, {"f.sig.sig", true}, {"a.pgp", false}};
    for (const auto &n : names) {
        EXPECT_EQ(proc.IsSignatureFile(n.path), n.signature) << n.path;
    }
    EXPECT_EQ(proc.GetSourceFile("dir/x.tar.sig"), "dir/x.tar");
    EXPECT_EQ(proc.GetSignatureFile("x.tar", ".asc"), "x.tar.asc");
}

TEST(CmdProc, FilesGivenOnTheCommandLine) {
    ScratchDir dir;
    for (const char *name : {"d", "d.sig", "e", "e.asc", "e.sig", "lone.sig", "plain"}) {
        dir.write(name, "x");
    }
    CNotarixCmdProc proc;
    proc.m_files = {dir / "d.sig", dir / "e", dir / "lone.sig", dir / "plain"};
    unsigned int problems = 0;
    Paths list;
    testing::internal::CaptureStdout();
    proc.DoWithSingleFile(problems, list);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(list, (Paths{dir / "d.sig", dir / "e.asc", dir / "e.sig"}));
    EXPECT_EQ(problems, 2u);
    EXPECT_EQ(out, "[WARN]:Can't find signed file. signature file path: " + (dir / "lone.sig") +
                       ".\n[WARN]:Can't find Signature file. Signed file path: " + (dir / "plain") +
                       ".\n");
}

TEST(CmdProc, DirectoryWalkPairsFromTheSignedSide) {
    ScratchDir dir;
    for (const char *name : {"a", "a.asc", "a.sig", "b.sig", "c", "f", "f.sig", "f.sig.sig",
                             "e.SIG", ".sig", "sub/g", "sub/g.sig"}) {
        dir.write(name, "x");
    }
    // A linked signature is not accepted as the partner of a regular file.
    dir.write("h", "x");
    std::filesystem::create_symlink(dir / "a.sig", dir / "h.sig");

    CNotarixCmdProc proc;
    proc.m_directories = {dir.path()};  // without the trailing slash
    unsigned int problems = 0;
    Paths list;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(proc.ProcDirectory(problems, list));
    const std::string out = testing::internal::GetCapturedStdout();

    const std::string root = dir.path() + "/";
    Paths expected = {root + "a.asc", root + "a.sig", root + "f.sig", root + "sub/g.sig"};
    std::sort(list.begin(), list.end());  // the system's listing order is not ours to fix
    EXPECT_EQ(list, expected);
    for (const std::string &warned :
         {"[WARN]:Can't find signed file, signature file: " + root + "b.sig\n",
          "[WARN]:Can't find signature file, signed file: " + root + "c\n",
          "[WARN]:Can't find signature file, signed file: " + root + "e.SIG\n",
          "[WARN]:Can't find signature file, signed file: " + root + ".sig\n",
          "[WARN]:Can't find signature file, signed file: " + root + "h\n"}) {
        EXPECT_NE(out.find(warned), std::string::npos) << warned << out;
    }
    EXPECT_EQ(problems, 5u);
}

TEST(CmdProc, WalkFailures) {
    ScratchDir dir;
    dir.write("a", "x");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling");
    CNotarixCmdProc proc;
    unsigned int problems = 0;
    Paths list;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(proc.FilterFiles(dir.path() + "/", problems, list));
    EXPECT_FALSE(proc.FilterFiles(dir / "nope/", problems, list));
    testing::internal::GetCapturedStdout();

    ScratchDir empty;
    EXPECT_TRUE(proc.FilterFiles(empty.path() + "/", problems, list));
    EXPECT_TRUE(list.empty());
}

TEST(CmdProc, FileChecksDoNotFollowLinks) {
    ScratchDir dir;
    const std::string file = dir.write("k", "x");
    std::filesystem::create_symlink(file, dir / "link");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "sublink");
    CNotarixCmdProc proc;
    EXPECT_TRUE(proc.CheckFile(file));
    EXPECT_FALSE(proc.CheckFile(dir / "link"));
    EXPECT_FALSE(proc.CheckFile(dir / "sub"));
    EXPECT_FALSE(proc.CheckFile(""));
    EXPECT_TRUE(proc.CheckDirectory(dir / "sub"));
    EXPECT_FALSE(proc.CheckDirectory(dir / "sublink"));
    EXPECT_FALSE(proc.CheckDirectory(file));
}

}  // namespace
