#include "storage/engine/index/index_faults.h"

#include <filesystem>

#include "storage/engine/error_stack.h"

namespace snyltdyr::engine {

std::string IndexFaults::RebuildAdvice(const std::string& mdx_path) {
  std::string dir = std::filesystem::path(mdx_path).parent_path().string();
  if (dir.empty()) dir = ".";
  return "To rebuild it from the table, run: snyltdyr-cli reindex \"" + dir + "\"";
}

void IndexFaults::Mark(const std::string& tag, IndexFault fault, const std::string& detail) {
  if (marks_.count(tag)) return;
  const std::string file = std::filesystem::path(mdx_path_).filename().string();
  const std::string what = detail.empty() ? std::string() : " (" + detail + ")";
  IndexFaultMark mark{fault, {}};
  switch (fault) {
    case IndexFault::kDamaged:
      mark.message = "The production index " + file + " is damaged" + what +
                     ". The index is not used, and the table is only read until the index "
                     "is rebuilt. " + RebuildAdvice(mdx_path_) + ".";
      break;
    case IndexFault::kOutOfStep:
      mark.message = "The production index " + file + " does not agree with the table" + what +
                     ". The index is not used, and the table is only read until the index "
                     "is rebuilt. " + RebuildAdvice(mdx_path_) + ".";
      break;
    case IndexFault::kForeign:
      mark.message = (tag.empty() ? "The production index " + file : "Tag " + tag + " of " + file) +
                     " is sorted in another character order (collation) than this program "
                     "writes" + what + ", so it is not used, and the table is only read so "
                     "that no key is put in the wrong place. Rebuilding the index changes "
                     "the order other programs see. " + RebuildAdvice(mdx_path_) + ".";
      break;
  }
  if (first_.message.empty()) first_ = mark;
  marks_.emplace(tag, std::move(mark));
}

const IndexFaultMark* IndexFaults::Of(const std::string& tag) const {
  auto whole = marks_.find(std::string());
  if (whole != marks_.end()) return &whole->second;
  auto it = marks_.find(tag);
  return it == marks_.end() ? nullptr : &it->second;
}

Result IndexFaults::Report(const IndexFaultMark* mark) {
  if (mark == nullptr) return kOk;
  return Fail(mark->fault == IndexFault::kDamaged ? kErrDamagedIndex : kErrIndexOutOfDate,
              mark->message);
}

}  // namespace snyltdyr::engine
