// Runs one fuzz target without libFuzzer, for make test: over the seeds made for it, then
// over every file in the folders named on the command line (the inputs that once made a
// target crash, hang or break a property, kept as regression cases). A failing input
// aborts the run with its name on standard error.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Run(const std::string& name, const std::string& input) {
  std::fprintf(stderr, "%s\n", name.c_str());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const std::vector<std::string> seeds = snyltdyr::fuzz::SeedInputs(SNYLTDYR_FUZZ_TARGET);
  if (seeds.empty()) {
    std::fprintf(stderr, "no seeds for the target %s\n", SNYLTDYR_FUZZ_TARGET);
    return 1;
  }
  for (size_t i = 0; i < seeds.size(); ++i) Run("seed " + std::to_string(i + 1), seeds[i]);
  size_t kept = 0;
  for (int a = 1; a < argc; ++a) {
    if (!fs::is_directory(argv[a])) continue;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(argv[a]))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      Run(file.string(), snyltdyr::fuzz::ReadWholeFile(file.string()));
      ++kept;
    }
  }
  std::printf("%s: %zu seeds and %zu kept inputs ran clean\n", SNYLTDYR_FUZZ_TARGET, seeds.size(), kept);
  return 0;
}
