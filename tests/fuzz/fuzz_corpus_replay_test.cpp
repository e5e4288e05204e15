// Replays every seed of the fuzz corpus through the fuzz targets' entry
// points, so that a decoder change that breaks one of their checks fails
// the ordinary test run, not only `make fuzz`.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_entries.h"

namespace librato::fuzz {
namespace {

namespace fs = std::filesystem;

struct Target {
  const char* name;
  void (*entry)(const std::uint8_t*, std::size_t);
};

const Target kTargets[] = {
    {"weighing_reply", WeighingReply}, {"identity_reply", IdentityReply},    {"pt_lines", PtLines},
    {"model_lookup", ModelLookup},     {"mass_text_counts", MassTextCounts},
};

class Replay : public ::testing::TestWithParam<Target> {};

TEST_P(Replay, EverySeedPassesTheChecks) {
  const fs::path dir = fs::path(LIBRATO_FUZZ_CORPUS) / GetParam().name;
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  int seeds = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    // A failed check aborts the program, which fails the test.
    GetParam().entry(bytes.data(), bytes.size());
    ++seeds;
  }
  EXPECT_GT(seeds, 0);
}

INSTANTIATE_TEST_SUITE_P(Corpus, Replay, ::testing::ValuesIn(kTargets),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace librato::fuzz
