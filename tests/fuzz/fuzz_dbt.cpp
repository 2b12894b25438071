// Fuzz target: a .DBT memo file, read as either variant and written to.
//
// The input is the memo file. It is opened as each variant the table's version byte can
// name; the memos of its first blocks, and of block numbers at and past its end, are read;
// then a short memo is written over block 1 and a long one appended. Properties: nothing
// crashes, no memo read is longer than the file, every write lands at most at the end of
// the file plus the blocks it needs, and what was written reads back unchanged.
#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "storage/engine/memo/dbt_memo.h"

namespace eng = snyltdyr::engine;
using snyltdyr::fuzz::FuzzFail;

namespace {

void WriteAndReadBack(eng::DbtMemo& memo, const std::string& path, const std::string& content,
                      uint32_t old_block) {
  const uint64_t before = snyltdyr::fuzz::FileSize(path);
  uint32_t block = 0;
  if (memo.Write(content, old_block, block) != eng::kOk) return;  // refused: nothing to check
  const uint64_t bs = memo.block_size();
  const uint64_t needed = (content.size() + 9 + bs - 1) / bs;
  const uint64_t bound = std::max(before, ((before + bs - 1) / bs + needed) * bs);
  const uint64_t after = snyltdyr::fuzz::FileSize(path);
  if (after > bound)
    FuzzFail("a memo write grew the memo file from " + std::to_string(before) + " to " +
             std::to_string(after) + " bytes (block size " + std::to_string(bs) + ")");
  std::string back;
  if (memo.Read(block, back) != eng::kOk || back != content)
    FuzzFail("the memo written at block " + std::to_string(block) + " does not read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (eng::MemoKind kind : {eng::MemoKind::kDbase4, eng::MemoKind::kDbase3, eng::MemoKind::kUnknown}) {
    const std::string path = snyltdyr::fuzz::WriteScratchFile("FUZZ.DBT", input);
    eng::DbtMemo memo;
    if (memo.Open(path, kind, true) != eng::kOk) continue;
    const uint64_t file_size = snyltdyr::fuzz::FileSize(path);
    const uint32_t blocks = static_cast<uint32_t>(
        std::min<uint64_t>((file_size + memo.block_size() - 1) / memo.block_size(), 16));
    std::string content;
    for (uint32_t block : {0u, blocks, blocks + 1, 0xFFFFFFFFu, 0x7FFFFFFFu})
      if (memo.Read(block, content) == eng::kOk && content.size() > file_size)
        FuzzFail("a memo longer than its file");
    for (uint32_t block = 1; block < blocks; ++block)
      if (memo.Read(block, content) == eng::kOk && content.size() > file_size)
        FuzzFail("a memo longer than its file");
    WriteAndReadBack(memo, path, "Kort merknad", 1);
    WriteAndReadBack(memo, path, std::string(1300, 'm') + "slutt", 0);
  }
  return 0;
}
