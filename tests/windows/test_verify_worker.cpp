// The worker protocol over a dialog without a window: a run from the list's rows, progress,
// verdicts in the rows, stops, a worker that outlives the stop limit, and the log file swapped
// while the worker writes to it.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "fake_dialog.h"
#include "scratch_dir.h"
#include "win_host.h"
#include "win_log.h"

namespace {

std::string fixture(const std::string &name) {
    return read_bytes(std::filesystem::path(NOTARIX_TEST_DATA) / "windows" / name);
}

// The fingerprint as a verified row shows it: five groups of eight, each followed by a space.
std::wstring pass_text() {
    std::string hex = fixture("fingerprint.txt").substr(0, 40);
    std::wstring text = L"[PASS]: Good signature, public key fingerprint: ";
    for (size_t i = 0; i < hex.size(); i += 8) {
        text += std::wstring(hex.begin() + i, hex.begin() + i + 8) + L" ";
    }
    return text;
}

const std::wstring kReady = L"Ready";
const std::wstring kFailText = L"[FAIL]: Invalid signature.";
const std::wstring kCompleted = L"Running status: Operations completed.";

class WorkerRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(init_host_services(), 0);
        dir.write(L"key.asc", fixture("key.asc"));
    }
    void TearDown() override {
        release_verify_job(job);
        close_log_file();
    }
    void good_pair(const std::wstring &name) {
        dir.write(name, fixture("signed.bin"));
        dir.write(name + L".sig", fixture("signed.bin.sig"));
    }
    // Starts a run over the list; the test thread then plays the dialog.
    void start(const std::wstring &key = L"key.asc") {
        ASSERT_EQ(start_verify_run(dialog.view, &dialog, dir.at(key).c_str(), &job), 0);
        ASSERT_NE(job, nullptr);
        ASSERT_NE(job->thread, nullptr);
    }
    bool run_to_end() { return dialog.pump_until_ended(job->thread); }

    scratch_dir dir;
    fake_dialog dialog;
    verify_job *job = nullptr;
};

TEST_F(WorkerRun, ThreeGoodPairs) {
    for (const wchar_t *name : {L"a.bin", L"b.bin", L"c.bin"}) {
        good_pair(name);
        add_signed_rows(dialog.view, dir.at(name).c_str());
    }
    start();
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(dialog.view.progress, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(dialog.view.results(), std::vector<std::wstring>(3, pass_text()));
    // Each row was updated before the progress that counts it.
    EXPECT_EQ(dialog.kinds, (std::vector<WPARAM>{VERIFY_NOTIFY_ENTRY_DONE, VERIFY_NOTIFY_PROGRESS,
                                                 VERIFY_NOTIFY_ENTRY_DONE, VERIFY_NOTIFY_PROGRESS,
                                                 VERIFY_NOTIFY_ENTRY_DONE, VERIFY_NOTIFY_PROGRESS,
                                                 VERIFY_NOTIFY_FINISHED, VERIFY_NOTIFY_STATUS}));
    EXPECT_EQ(dialog.view.status_lines.back(), kCompleted);
    EXPECT_EQ(dialog.view.enabled, std::vector<bool>{true});
    EXPECT_EQ(job->state, JOB_FINISHED);
}

TEST_F(WorkerRun, InvalidAndIncompleteRows) {
    good_pair(L"a.bin");
    dir.write(L"b.bin", fixture("tampered.bin"));
    dir.write(L"b.bin.sig", fixture("signed.bin.sig"));
    dir.write(L"c.bin", "unsigned");
    dir.write(L"lone.bin.sig", fixture("signed.bin.sig"));
    for (const wchar_t *name : {L"a.bin", L"b.bin", L"c.bin"}) {
        add_signed_rows(dialog.view, dir.at(name).c_str());
    }
    add_signature_row(dialog.view, dir.at(L"lone.bin.sig").c_str());
    start();
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(
        dialog.view.results(),
        (std::vector<std::wstring>{pass_text(), kFailText, L"[WARN]:Can't find signature file.",
                                   L"[WARN]:Can't find signed file."}));
    EXPECT_EQ(dialog.view.progress, (std::vector<int>{50, 100}));
    EXPECT_EQ(dialog.view.status_lines.back(), kCompleted);
}

TEST_F(WorkerRun, OnlyIncompleteRowsVerifyNothing) {
    dir.write(L"c.bin", "unsigned");
    dir.write(L"lone.bin.sig", "x");
    add_signed_rows(dialog.view, dir.at(L"c.bin").c_str());
    add_signature_row(dialog.view, dir.at(L"lone.bin.sig").c_str());
    start();
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(job->count, 0);
    EXPECT_TRUE(dialog.view.progress.empty());
    EXPECT_EQ(dialog.view.enabled, std::vector<bool>{true});
    EXPECT_EQ(dialog.view.status_lines.back(), kCompleted);
}

TEST_F(WorkerRun, ADeletedSignatureEndsTheRunAtItsRow) {
    for (const wchar_t *name : {L"a.bin", L"b.bin", L"c.bin"}) {
        good_pair(name);
        add_signed_rows(dialog.view, dir.at(name).c_str());
    }
    std::filesystem::remove(dir.path() / "b.bin.sig");
    start();
    ASSERT_TRUE(run_to_end());
    EXPECT_EQ(dialog.view.results(), (std::vector<std::wstring>{pass_text(), kReady, kReady}));
    EXPECT_EQ(dialog.view.progress, std::vector<int>{33});
    EXPECT_EQ(dialog.view.status_lines.back(), kCompleted);
    EXPECT_EQ(dialog.view.enabled, std::vector<bool>{true});
}

TEST_F(WorkerRun, AKeyFileThatIsGoneEndsTheRunAtOnce) {
    good_pair(L"a.bin");
    add_signed_rows(dialog.view, dir.at(L"a.bin").c_str());
    start(L"gone.asc");
    ASSERT_TRUE(run_to_end());
    DWORD code = 0;
    GetExitCodeThread(job->thread, &code);
    EXPECT_EQ(static_cast<int>(code), -1);
    EXPECT_EQ(job->state, JOB_FINISHED);
    EXPECT_EQ(dialog.kinds, std::vector<WPARAM>{VERIFY_NOTIFY_FINISHED});
    EXPECT_EQ(dialog.view.results(), std::vector<std::wstring>{kReady});
}

TEST_F(WorkerRun, StopTakesEffectAfterTheCurrentPair) {
    for (const wchar_t *name : {L"a.bin", L"b.bin", L"c.bin"}) {
        good_pair(name);
        add_signed_rows(dialog.view, dir.at(name).c_str());
    }
    start();
    // Play the dialog until the first row shows its verdict, then ask the worker to stop.
    ASSERT_TRUE(dialog.pump_until_ended(job->thread,
                                        [this] { return dialog.view.results()[0] != kReady; }));
    EXPECT_TRUE(stop_verify_thread(job));
    EXPECT_EQ(WaitForSingleObject(job->thread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(dialog.view.results(), (std::vector<std::wstring>{pass_text(), kReady, kReady}));
    // Nothing was verified after the stop, shown or not.
    ASSERT_EQ(job->count, 3);
    EXPECT_EQ(job->entries[1].progress, 0);
    EXPECT_EQ(job->entries[1].result, ENTRY_NOT_DECIDED);
    EXPECT_EQ(dialog.view.status_lines.back(), kCompleted);
    EXPECT_EQ(dialog.view.enabled, std::vector<bool>{true});
    EXPECT_EQ(job->state, JOB_STOP_REQUESTED);
    EXPECT_EQ(dialog.hung_warnings, 0);
}

TEST_F(WorkerRun, AWorkerPastTheStopLimitKeepsItsJobAndReportsToNoOne) {
    for (const wchar_t *name : {L"a.bin", L"b.bin"}) {
        good_pair(name);
        add_signed_rows(dialog.view, dir.at(name).c_str());
    }
    dialog.hold_first_entry_done = true;
    start();
    ASSERT_TRUE(dialog.wait_held());
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), job->thread, GetCurrentProcess(), &thread, 0,
                                FALSE, DUPLICATE_SAME_ACCESS));
    // The release warns after the limit and lets go; the worker still holds the job.
    release_verify_job(std::exchange(job, nullptr), 50);
    EXPECT_EQ(dialog.hung_warnings, 1);
    size_t handled = dialog.kinds.size();
    dialog.release_worker();
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    dialog.pump();
    EXPECT_EQ(dialog.kinds.size(), handled);
    EXPECT_EQ(dialog.view.results(), (std::vector<std::wstring>{kReady, kReady}));
}

TEST(WorkerProgress, RightForAnyJobSize) {
    const struct {
        int32_t done;
        int32_t total;
        int position;
    } cases[] = {
        {1, 3, 33},
        {2, 3, 66},
        {3, 3, 100},
        {0, 0, 0},
        {1, 0, 0},
        {65535, 65535, 100},
        {65536, 65536, 100},
        {70000, 140000, 50},
        {1, 100000, 0},
        {99999, 100000, 99},
        {INT32_MAX, INT32_MAX, 100},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(progress_position(pack_progress(c.done, c.total)), c.position)
            << c.done << "/" << c.total;
    }
}

TEST_F(WorkerRun, LogFileSwappedWhileTheWorkerWrites) {
    // Good and invalid pairs both make the library log.
    for (int i = 0; i < 6; ++i) {
        std::wstring name = L"f" + std::to_wstring(i) + L".bin";
        dir.write(name, fixture(i % 2 ? "tampered.bin" : "signed.bin"));
        dir.write(name + L".sig", fixture("signed.bin.sig"));
        add_signed_rows(dialog.view, dir.at(name).c_str());
    }
    dir.write(L"second.log", "kept\r\n");
    ASSERT_TRUE(open_log_file(dir.at(L"first.log").c_str()));
    start();
    // Swap as "Set log" does, once the first row is done.
    ASSERT_TRUE(dialog.pump_until_ended(job->thread,
                                        [this] { return dialog.view.results()[0] != kReady; }));
    close_log_file();
    ASSERT_TRUE(open_log_file(dir.at(L"second.log").c_str()));
    ASSERT_TRUE(run_to_end());
    close_log_file();
    const std::regex line(
        "\r\n\\[\\w{3} \\w{3} [ \\d]\\d \\d{2}:\\d{2}:\\d{2} \\d{4}\n\\]:"
        "\\[(ERROR|WARNING|INFO|DEBUG)\\]:\\[-?\\d+\\]:\\[[^\\]:]+:\\d+\\]:\\[0x[0-9A-F]+\\]:[^\r]"
        "*");
    std::string first = read_bytes(dir.path() / "first.log");
    std::string second = read_bytes(dir.path() / "second.log");
    ASSERT_EQ(second.compare(0, 6, "kept\r\n"), 0);
    second = second.substr(6);
    // Nothing but whole lines, in each file.
    for (const std::string *log : {&first, &second}) {
        EXPECT_FALSE(log->empty());
        EXPECT_EQ(std::regex_replace(*log, line, ""), "") << *log;
    }
}

}  // namespace
