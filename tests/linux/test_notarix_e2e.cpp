// The real notarix program, run in temporary folders: console lines and exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

struct RunResult {
    int status;
    std::string out;
};

// Runs notarix with args in cwd and collects its standard output and exit status.
RunResult notarix(const std::vector<std::string> &args, const std::string &cwd = ".") {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) {
        return {-1, ""};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        if (chdir(cwd.c_str()) != 0) {
            _exit(120);
        }
        std::vector<char *> argv{const_cast<char *>(NOTARIX_BINARY)};
        for (const std::string &a : args) {
            argv.push_back(const_cast<char *>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(NOTARIX_BINARY, argv.data());
        _exit(121);
    }
    close(pipe_fds[1]);
    RunResult run{-1, ""};
    char buf[4096];
    for (ssize_t n; (n = read(pipe_fds[0], buf, sizeof buf)) > 0;) {
        run.out.append(buf, static_cast<size_t>(n));
    }
    close(pipe_fds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

const std::string kExamples = NOTARIX_EXAMPLES;
const std::string kKey = kExamples + "/keys/example-key.asc";
const std::string kSigned = kExamples + "/signed";

std::string help_text() {
    return "Notarix 3.1.0.17\n"
           "Copyright (C) 2026 Notarix. All rights reserved.\n"
           "This product includes software developed by the OpenSSL Project for use in the "
           "OpenSSL Toolkit (http://www.openssl.org/)\n"
           "\nCommond:\n -k: public key.\n -d: The directory which to be verified.\n"
           " -f: The file which to be verified.\n -l: Set log file.\nExample:\n"
           " Notarix -k KEYS -d filedirectory\n Notarix -k KEYS -f signedfile\n";
}

// gpg's fingerprint of the example key in notarix's form: five groups of eight digits.
std::string example_fingerprint() {
    std::string hex = read_file(kExamples + "/keys/example-key.fingerprint").substr(0, 40);
    std::string grouped;
    for (size_t i = 0; i < hex.size(); i += 8) {
        grouped += (i ? " " : "") + hex.substr(i, 8);
    }
    return grouped;
}

bool has(const RunResult &r, const std::string &line) {
    return r.out.find(line + "\n") != std::string::npos;
}

TEST(Notarix, CommandLineFailures) {
    ScratchDir dir;
    const std::string file = dir.write("file.txt", "x");
    const std::string missing = dir / "missing";
    std::filesystem::create_symlink(kKey, dir / "key-link");
    const std::string long_name = std::string(600, 'n');
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"bogus"}, "[ERROR]:Wrong argument: \"bogus\".\n"},
        {{"-k"}, "[ERROR]:Command line error.\n"},
        {{"-k", "-f", file}, "[ERROR]:Command line error.\n"},
        {{"-k", kKey, "-l"}, "[ERROR]:Command line error.\n"},
        {{"-k", missing, "-f", file},
         "[ERROR]:Can't find public key, key file: " + missing + ".\n"},
        {{"-k", dir / "key-link", "-f", file},
         "[ERROR]:Can't find public key, key file: " + (dir / "key-link") + ".\n"},
        {{"-k", kKey, "-f", file, missing}, "[ERROR]:Can't find file, file: " + missing + ".\n"},
        {{"-k", kKey}, "[ERROR]:There is no file to be verified.\n"},
        {{"-k", kKey, "-d"}, "[ERROR]:There is no file to be verified.\n"},
        {{"-k", kKey, "-d", missing}, ""},
        {{"-k", kKey, "-f", file, "-l", "ab"}, "[ERROR]:Path not valid, File position:ab.\n"},
        {{"-k", kKey, "-f", file, "-l", dir / "no/such/dir.log"},
         "[ERROR]:Open log file error, File position:" + (dir / "no/such/dir.log") + ".\n"},
        {{"-k", kKey, "-f", long_name},
         ("[ERROR]:Can't find file, file: " + long_name).substr(0, 511) + "\n"},
    };
    for (const auto &c : cases) {
        const RunResult r = notarix(c.args, dir.path());
        EXPECT_EQ(r.status, 255) << c.args[0];
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(Notarix, HelpAndNoArguments) {
    ScratchDir dir;
    RunResult r = notarix({});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, help_text() +
                         "[FAIL]:There is no files to be verified.\n"
                         "[INFO]: Verify Complete.\n");

    // -h ends parsing wherever it stands; what came before it has had its effect.
    r = notarix({"-l", dir / "early.log", "-h", "-k", dir / "missing"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, help_text());
    EXPECT_TRUE(std::filesystem::exists(dir / "early.log"));
}

TEST(Notarix, ExampleFolderShowsPassFailAndWarn) {
    const RunResult r = notarix({"-k", kKey, "-d", kSigned});
    EXPECT_EQ(r.status, 1);
    const std::string fpr = example_fingerprint();
    EXPECT_TRUE(has(r, "[INFO]:Filter file in directory, please wait..."));
    for (const char *name : {"hello.txt.sig", "notes.md.asc", "nested/deep/data.bin.sig"}) {
        EXPECT_TRUE(has(r, "[PASS]:Good Signature. File path: " + kSigned + "/" + name +
                               ", Public key fingerprint: " + fpr + "."))
            << name << r.out;
    }
    EXPECT_TRUE(has(r, "[FAIL]:Invalid Signature. File path: " + kSigned + "/tampered.txt.sig."));
    EXPECT_TRUE(
        has(r, "[WARN]:Can't find signature file, signed file: " + kSigned + "/unsigned.txt"));
    const std::string last = "[INFO]: Verify Complete.\n";
    EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
}

TEST(Notarix, ExitStatusSummarizesTheRun) {
    ScratchDir dir;
    dir.copy_in(kSigned + "/hello.txt", "good");
    dir.copy_in(kSigned + "/hello.txt.sig", "good.sig");
    dir.copy_in(kSigned + "/tampered.txt", "bad");
    dir.copy_in(kSigned + "/tampered.txt.sig", "bad.sig");
    dir.write("lonely", "no signature");

    EXPECT_EQ(notarix({"-k", kKey, "-f", dir / "good"}).status, 0);
    EXPECT_EQ(notarix({"-k", kKey, "-f", dir / "good", dir / "bad"}).status, 1);
    EXPECT_EQ(notarix({"-k", kKey, "-f", dir / "bad"}).status, 2);
    EXPECT_EQ(notarix({"-k", kKey, "-f", dir / "good", dir / "lonely"}).status, 1);
    // The signature named directly, key given after the files.
    const RunResult r = notarix({"-f", dir / "good.sig", "-k", kKey});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(has(r, "[PASS]:Good Signature. File path: " + (dir / "good.sig") +
                           ", Public key fingerprint: " + example_fingerprint() + "."));
}

TEST(Notarix, FilesComeBeforeDirectoriesAndLaterKeysWin) {
    ScratchDir dir;
    dir.copy_in(kSigned + "/hello.txt", "a");
    dir.copy_in(kSigned + "/hello.txt.sig", "a.sig");
    dir.copy_in(kSigned + "/hello.txt", "tree/b");
    dir.copy_in(kSigned + "/hello.txt.sig", "tree/b.sig");
    const std::string other_key = dir.write("other.asc", "not a key");
    const RunResult r = notarix({"-k", other_key, "-f", dir / "a", "-d", dir / "tree", "-k", kKey});
    EXPECT_EQ(r.status, 0) << r.out;
    const size_t file_line = r.out.find("File path: " + (dir / "a.sig"));
    const size_t dir_line = r.out.find("File path: " + (dir / "tree/b.sig"));
    ASSERT_NE(file_line, std::string::npos);
    ASSERT_NE(dir_line, std::string::npos);
    EXPECT_LT(file_line, dir_line);
}

TEST(Notarix, LibraryAndWalkFailures) {
    ScratchDir dir;
    dir.copy_in(kSigned + "/hello.txt", "ab");
    dir.copy_in(kSigned + "/hello.txt.sig", "ab.sig");
    // The library cannot open a two-character path: that file's check fails, the run goes on.
    RunResult r = notarix({"-k", kKey, "-f", "ab.sig"}, dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r, "[ERROR]:Path not valid, File position:ab."));
    EXPECT_TRUE(has(r, "[FAIL]:Verify signature error. File path: ab.sig"));

    const std::string not_a_key = dir.write("empty.asc", "");
    r = notarix({"-k", not_a_key, "-f", "ab.sig"}, dir.path());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "[FAIL]:Initialize verify context error.\n[INFO]: Verify Complete.\n");

    std::filesystem::create_symlink(dir / "nowhere", dir / "dangling");
    r = notarix({"-k", kKey, "-d", dir.path()});
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(has(r, "[FAIL]:ProcDirectory Error."));
    EXPECT_TRUE(has(r, "[INFO]: Verify Complete."));
}

TEST(Notarix, LogFileReceivesTheLibraryLines) {
    ScratchDir dir;
    const std::string log = dir / "run.log";
    std::filesystem::create_directory(dir / "empty");
    const RunResult r = notarix({"-k", kKey, "-f", kSigned + "/hello.txt", "-l", log});
    EXPECT_EQ(r.status, 0);
    const std::string text = read_file(log);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(0, 3), "\r\n[");
    EXPECT_NE(text.find("]:[INFO]:["), std::string::npos);
    EXPECT_NE(text.find("Load key file: " + kKey + "."), std::string::npos);
    EXPECT_NE(text.back(), '\n');  // the file ends without a line break

    // -l alone creates (or empties) the file before anything else happens.
    const RunResult help = notarix({"-l", log, "-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(read_file(log), "");
}

}  // namespace
