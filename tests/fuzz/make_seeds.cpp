// Writes the seed corpus of every fuzz target into OUT/<target>/: the seeds made from the
// fuzz table and the register's texts, and, when a folder of real-world tables is given,
// its files of the target's kind (read from there, copied into the corpus only).
//
//   make_seeds OUT [FIXTURES]
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz_support.h"

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  constexpr uintmax_t kLargest = 64 * 1024;
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_seeds OUT [FIXTURES]\n");
    return 2;
  }
  const fs::path out = argv[1];
  const char* targets[] = {"dbf", "dbt", "mdx", "filter_parser", "filter_tree", "key_expression"};
  for (const std::string target : targets) {
    fs::create_directories(out / target);
    const auto seeds = snyltdyr::fuzz::SeedInputs(target);
    for (size_t i = 0; i < seeds.size(); ++i) {
      const fs::path file = out / target / ("seed_" + std::to_string(i + 1));
      std::FILE* f = std::fopen(file.c_str(), "wb");
      if (f == nullptr || std::fwrite(seeds[i].data(), 1, seeds[i].size(), f) != seeds[i].size()) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
      }
      std::fclose(f);
    }
    std::printf("%-15s %zu seeds\n", target.c_str(), seeds.size());
  }
  if (argc > 2 && fs::is_directory(argv[2])) {
    size_t copied = 0;
    for (const auto& entry : fs::recursive_directory_iterator(argv[2])) {
      if (!entry.is_regular_file()) continue;
      std::string ext = entry.path().extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      // Large files only slow the targets down; the small ones hold the same structures.
      if ((ext != ".dbf" && ext != ".dbt" && ext != ".mdx") || entry.file_size() > kLargest) continue;
      const fs::path to = out / ext.substr(1) / ("real_" + std::to_string(++copied) + ext);
      fs::copy_file(entry.path(), to, fs::copy_options::overwrite_existing);
      fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    }
    std::printf("%zu real-world files from %s\n", copied, argv[2]);
  }
  return 0;
}
