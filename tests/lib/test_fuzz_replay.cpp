// The fuzz targets' committed seeds (fuzz/corpus/<target>) and the inputs of past findings
// (fuzz/regressions/<target>) run through the targets themselves, so every finding stays a test
// in the ordinary and the sanitizer builds. A target aborts with the input's path on anything
// wrong: a failed check, a block or file left open, an allocation above the host's cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "targets.h"

namespace fs = std::filesystem;

namespace {

struct Target {
    const char *name;
    int (*run)(const uint8_t *data, size_t size);
};

const Target kTargets[] = {
    {"armor", fuzz_armor},
    {"parse_packet", fuzz_parse_packet},
    {"digest_file", fuzz_digest_file},
    {"vsnprintf_s", fuzz_vsnprintf_s},
    {"load_key", fuzz_load_key},
    {"verify_detached", fuzz_verify_detached},
};

void PrintTo(const Target &target, std::ostream *os) {
    *os << target.name;
}

std::vector<fs::path> inputs(const fs::path &dir) {
    std::vector<fs::path> files;
    if (fs::is_directory(dir)) {
        for (const fs::directory_entry &e : fs::directory_iterator(dir)) {
            if (e.is_regular_file()) {
                files.push_back(e.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SeedsAndRegressionsRunClean) {
    const fs::path root = NOTARIX_FUZZ_DIR;
    const std::vector<fs::path> seeds = inputs(root / "corpus" / GetParam().name);
    EXPECT_FALSE(seeds.empty()) << "no seeds for " << GetParam().name;
    std::vector<fs::path> all = seeds;
    for (const fs::path &p : inputs(root / "regressions" / GetParam().name)) {
        all.push_back(p);
    }
    for (const fs::path &p : all) {
        std::ifstream in(p, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        const std::string label = p.string();
        fuzz::set_input_label(label.c_str());
        GetParam().run(bytes.data(), bytes.size());
    }
    fuzz::set_input_label(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target> &param) {
                             return std::string(param.param.name);
                         });

}  // namespace
