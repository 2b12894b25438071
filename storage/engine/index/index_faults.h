// Which tags of a production index may not be used, and why: the one place where a tag
// (or the index file as a whole) is found unusable and every user of the index looks.
//
// A tag is marked when it is found damaged (its tree cannot be walked soundly), foreign
// (sorted by rules other than this engine's, so that seeking in it goes wrong) or out of
// step with the table (an entry that is not the key its record's data gives, a record
// without its entry). The mark holds the message the user sees: what was found, in which
// file and tag, and the one command that repairs it. Every path that orders, seeks or
// counts by a tag asks first and fails with that message; no change is written into an
// index that holds any mark.
//
// Invariant: marks are only added while the index is open; the first mark of a tag (and
// of the file) stays, so the message tells the first thing that was found. Only a
// rebuild, which makes a new file, starts without marks.
#pragma once

#include <map>
#include <string>

#include "storage/engine/engine.h"

namespace snyltdyr::engine {

enum class IndexFault : uint8_t { kDamaged, kForeign, kOutOfStep };

struct IndexFaultMark {
  IndexFault fault = IndexFault::kOutOfStep;
  std::string message;  // whole sentences, ending with the advice
};

class IndexFaults {
 public:
  // `mdx_path` names the index in the messages and the folder in the advice.
  explicit IndexFaults(std::string mdx_path) : mdx_path_(std::move(mdx_path)) {}

  // Marks tag `tag` (empty: the whole file). `detail` says what was found ("tag DATO:
  // record 17 is filed under ...").
  void Mark(const std::string& tag, IndexFault fault, const std::string& detail);

  // The mark that keeps `tag` from use (the file's first, else the tag's), or null.
  const IndexFaultMark* Of(const std::string& tag) const;
  // The first mark of all, or null: the reason no change may be written.
  const IndexFaultMark* First() const { return first_.message.empty() ? nullptr : &first_; }
  bool empty() const { return First() == nullptr; }

  // kOk when `tag` may be used; otherwise its mark, reported (kErrDamagedIndex for a
  // damaged index, kErrIndexOutOfDate for the others).
  Result Check(const std::string& tag) const { return Report(Of(tag)); }
  // kOk when nothing is marked; otherwise the first mark, reported.
  Result CheckAll() const { return Report(First()); }

  // The sentence that names the command repairing the index at `mdx_path`.
  static std::string RebuildAdvice(const std::string& mdx_path);

 private:
  static Result Report(const IndexFaultMark* mark);

  std::string mdx_path_;
  std::map<std::string, IndexFaultMark> marks_;  // by tag name as stored; "" the file
  IndexFaultMark first_;
};

}  // namespace snyltdyr::engine
