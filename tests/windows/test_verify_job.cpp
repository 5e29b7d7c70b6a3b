// The job and the pairing of signed and signature files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scratch_dir.h"
#include "verify_job.h"

namespace {

struct job_deleter {
    void operator()(verify_job *job) const { release_verify_job(job); }
};
using job_ptr = std::unique_ptr<verify_job, job_deleter>;

TEST(SignatureName, SuffixAfterTheLastDotOnly) {
    const struct {
        const wchar_t *path;
        bool signature;
    } cases[] = {
        {L"a.bin.sig", true},    {L"a.bin.asc", true},      {L"x.pgp", true},
        {L"a.bin.SIG", false},   {L"a.bin.sigx", false},    {L"a.bin", false},
        {L"noextension", false}, {L"dir.sig\\file", false}, {L"C:\\d\\.asc", true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(is_signature_file_w(c.path), c.signature) << std::wstring(c.path).size();
    }
}

TEST(Pairing, SignaturesInSuffixOrder) {
    scratch_dir dir;
    for (const wchar_t *name : {L"a.bin", L"a.bin.pgp", L"a.bin.sig", L"a.bin.asc", L"b.bin",
                                L"b.bin.pgp", L"c.bin", L"lone.sig"}) {
        dir.write(name, "x");
    }
    dir.mkdir(L"c.bin.sig");  // a directory is no signature
    const struct {
        const wchar_t *source;
        std::vector<std::wstring> names;
    } cases[] = {
        {L"a.bin", {L"a.bin.sig", L"a.bin.asc", L"a.bin.pgp"}},
        {L"b.bin", {L"b.bin.pgp", L"", L""}},
        {L"c.bin", {L"", L"", L""}},
        {L"missing.bin", {L"", L"", L""}},
    };
    for (const auto &c : cases) {
        wchar_t names[SIGNATURE_SUFFIX_COUNT][JOB_PATH_CHARS];
        EXPECT_EQ(find_signature_files(dir.at(c.source).c_str(), names), !c.names[0].empty());
        for (int i = 0; i < SIGNATURE_SUFFIX_COUNT; ++i) {
            EXPECT_EQ(names[i], c.names[static_cast<size_t>(i)]);
        }
    }
}

TEST(Pairing, SourceOfASignature) {
    scratch_dir dir;
    dir.write(L"a.bin", "x");
    dir.write(L"a.bin.sig", "x");
    dir.mkdir(L"folder");
    dir.write(L"folder.sig", "x");
    const struct {
        const wchar_t *signature;
        const wchar_t *source;  // null: none
    } cases[] = {
        {L"a.bin.sig", L"a.bin"},
        {L"a.bin.pgp", L"a.bin"},  // only the signed file must exist
        {L"folder.sig", nullptr},  // its "signed file" is a directory
        {L"missing.bin.sig", nullptr},
    };
    for (const auto &c : cases) {
        wchar_t name[JOB_PATH_CHARS];
        bool found = find_source_file(dir.at(c.signature).c_str(), name);
        EXPECT_EQ(found, c.source != nullptr);
        EXPECT_EQ(std::wstring(name), c.source ? c.source : L"");
    }
}

TEST(Pairing, SignedPathMustLeaveRoomForASuffix) {
    // A signed file's path of 254 characters takes ".sig" and a terminator; 255 do not.
    const struct {
        size_t length;
        bool found;
    } cases[] = {{254, true}, {255, false}};
    for (const auto &c : cases) {
        scratch_dir dir;
        size_t padding = c.length - dir.at(L"").size() - std::wstring(L"\\a.bin").size();
        std::wstring source = std::wstring(padding, L'p') + L"\\a.bin";
        dir.write(source, "x");
        dir.write(source + L".sig", "x");
        ASSERT_EQ(dir.at(source).size(), c.length);
        wchar_t names[SIGNATURE_SUFFIX_COUNT][JOB_PATH_CHARS];
        EXPECT_EQ(find_signature_files(dir.at(source).c_str(), names), c.found) << c.length;
    }
}

TEST(JoinPath, AtMost256Characters) {
    const struct {
        size_t directory;
        size_t name;
        int rc;
    } cases[] = {{200, 55, 0}, {200, 56, -1}, {1, 1, 0}, {0, 255, 0}, {0, 256, -1}};
    for (const auto &c : cases) {
        std::wstring directory(c.directory, L'd');
        std::wstring name(c.name, L'n');
        wchar_t out[JOB_PATH_CHARS];
        EXPECT_EQ(join_path(directory.c_str(), name.c_str(), out), c.rc) << c.name;
        EXPECT_EQ(std::wstring(out), c.rc == 0 ? directory + L"\\" + name : L"");
    }
}

TEST(Job, NeedsAKeyPath) {
    EXPECT_EQ(create_verify_job(nullptr), nullptr);
    EXPECT_EQ(create_verify_job(L""), nullptr);
    job_ptr job(create_verify_job(L"C:\\keys\\key.asc"));
    ASSERT_NE(job, nullptr);
    EXPECT_STREQ(job->key_path, "C:\\keys\\key.asc");
    EXPECT_EQ(job->count, 0);
    EXPECT_EQ(job->capacity, 0);
}

TEST(Job, The33rdEntryDoublesTheCapacityAndKeepsTheOrder) {
    job_ptr job(create_verify_job(L"key.asc"));
    for (int i = 1; i <= 33; ++i) {
        std::wstring source = L"file" + std::to_wstring(i);
        job_lock_guard hold(job.get());
        ASSERT_EQ(add_verify_entry(job.get(), i, source.c_str(), (source + L".sig").c_str()), 0);
        EXPECT_EQ(job->capacity, i <= 32 ? 32 : 64);
    }
    ASSERT_EQ(job->count, 33);
    for (int i = 0; i < 33; ++i) {
        const verify_entry &entry = job->entries[i];
        std::string source = "file" + std::to_string(i + 1);
        EXPECT_EQ(entry.id, i + 1);
        EXPECT_EQ(entry.source_path, source);
        EXPECT_EQ(entry.signature_path, source + ".sig");
        EXPECT_EQ(entry.result, ENTRY_NOT_DECIDED);
    }
}

TEST(Job, PathLimitsOfAnEntry) {
    const struct {
        std::wstring source;
        std::wstring signature;
        int rc;
    } cases[] = {
        {std::wstring(258, L's'), L"a.sig", 0},   // 258 ANSI bytes fit
        {std::wstring(259, L's'), L"a.sig", -1},  // 259 do not
        {L"a", std::wstring(259, L's'), -1},
        {L"a", std::wstring(260, L's'), -1},
        {L"", L"a.sig", -1},
        {L"a", L"", -1},
    };
    job_ptr job(create_verify_job(L"key.asc"));
    job_lock_guard hold(job.get());
    for (const auto &c : cases) {
        int before = job->count;
        EXPECT_EQ(add_verify_entry(job.get(), 7, c.source.c_str(), c.signature.c_str()), c.rc);
        EXPECT_EQ(job->count, before + (c.rc == 0 ? 1 : 0));
    }
    // A refused add leaves nothing behind: the next add takes the same slot.
    ASSERT_EQ(add_verify_entry(job.get(), 8, L"b", L"b.sig"), 0);
    EXPECT_STREQ(job->entries[1].source_path, "b");
    EXPECT_EQ(job->entries[1].id, 8);
}

TEST(EntryMessage, GoodSignatureWithFingerprintGroups) {
    std::vector<PX_BYTE> fingerprint;
    for (int i = 0; i < 20; ++i) {
        fingerprint.push_back(static_cast<PX_BYTE>(i * 13 + 1));
    }
    wchar_t message[ENTRY_MESSAGE_CHARS];
    good_signature_message(fingerprint.data(), 20, message);
    EXPECT_EQ(std::wstring(message),
              L"Good signature, public key fingerprint: "
              L"010E1B28 35424F5C 69768390 9DAAB7C4 D1DEEBF8 ");
    EXPECT_EQ(fingerprint_text(fingerprint.data(), 20, false),
              "010E1B28 35424F5C 69768390 9DAAB7C4 D1DEEBF8");
    EXPECT_EQ(fingerprint_text(fingerprint.data(), 5, false), "010E1B28 35");
    EXPECT_EQ(fingerprint_text(fingerprint.data(), 0, true), "");
}

}  // namespace
