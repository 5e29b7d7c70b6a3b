// The digest-file reader over a fuzzed digest file, with every supported digest type and one
// unsupported type. The files it names are looked up in a small tree made once in a temporary
// folder (the same files as tests/data/digest/tree, so the sum tool listings there are seeds
// that match); the host opens nothing outside that tree.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_host.h"
#include "pellax_crypto.h"
#include "pellax_vrf_internal.h"
#include "pellax_vrf_old.h"
#include "targets.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTypes[] = {PELLAX_HASH_MD5,
                          PELLAX_HASH_SHA1,
                          PELLAX_HASH_SHA256,
                          PELLAX_HASH_SHA384,
                          PELLAX_HASH_SHA512,
                          PELLAX_HASH_SHA224,
                          3 /* not supported */};
constexpr int kUntouched = 77;

std::string g_tree;

void remove_tree() {
    std::error_code ignored;
    fs::remove_all(fs::path(g_tree).parent_path(), ignored);
}

void write_file(const fs::path &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    fuzz::check(static_cast<bool>(out), "tree file not written");
}

const std::string &tree() {
    if (!g_tree.empty()) {
        return g_tree;
    }
    std::string pattern = (fs::temp_directory_path() / "notarix-fuzz-XXXXXX").string();
    fuzz::check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
    const fs::path root = fs::path(pattern) / "tree";
    fs::create_directories(root / "sub");
    write_file(root / "plain.txt", "plain text\n");
    std::string rows;
    char row[32];
    for (int i = 1; i <= 120; ++i) {
        const int n = std::snprintf(row, sizeof row, "row %d\r\n", i);
        rows.append(row, static_cast<size_t>(n));
        rows.append("\0\377", 2);
    }
    write_file(root / "with inner spaces.bin", rows);
    std::string numbers;
    for (int i = 1; i <= 2000; ++i) {
        numbers += std::to_string(i) + "\n";
    }
    write_file(root / "sub" / "nested.dat", numbers);
    write_file(root / "empty", "");
    g_tree = root.string();
    std::atexit(remove_tree);
    return g_tree;
}

}  // namespace

int fuzz_digest_file(const uint8_t *data, size_t size) {
    const std::string &root = tree();
    fuzz::set_file_root(root.c_str());
    fuzz::begin_input();
    for (int type : kTypes) {
        fuzz::MemStream stream(data, size);
        int result = kUntouched;
        const PELLAX_ERROR_CODE rc = pellax_verify_digest_file_internal(
            &fuzz::callbacks(), stream.get(), root.c_str(), "/", type, &result);
        if (rc == PELLAX_OK) {
            fuzz::check(result == DIGEST_RESULT_ALL_FAILED || result == DIGEST_RESULT_PARTIAL ||
                            result == DIGEST_RESULT_ALL_PASSED,
                        "digest result out of range");
        } else {
            fuzz::check(result == kUntouched, "digest result written with a failure code");
        }
        fuzz::check(type != 3 || rc != PELLAX_OK || result == DIGEST_RESULT_ALL_FAILED,
                    "a digest of an unsupported type matched");
    }
    fuzz::end_input();
    fuzz::set_file_root(nullptr);
    return 0;
}
