// A table's production index as a whole: the .MDX file, its tags with their parsed key
// expressions, the checks before writing into it, key maintenance for every record
// change, and new tags.
//
// Invariants:
// - After Apply() returns success, every tag holds exactly the keys the records give:
//   one entry per record (deleted records keep theirs), and in a unique tag one entry per
//   key value, held by the lowest-numbered record with that value.
// - `write_refusal()` is non-empty when writing would leave a tag stale or put keys in the
//   wrong place (a key expression we cannot evaluate, another collation, a damaged or
//   out-of-step tag). The table then opens read-only and says why.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/engine/index_checker.h"
#include "storage/engine/index_status.h"
#include "storage/engine/key_expression.h"
#include "storage/engine/mdx_file.h"
#include "storage/engine/mdx_tag.h"

namespace snyltdyr::engine {

struct NewTagSpec {
  std::string name;        // at most 10 characters; stored upper case
  std::string expression;  // a key expression (a field name for one-field keys)
  bool descending = false;
  bool unique = false;
};

class ProductionIndex {
 public:
  struct Tag {
    std::unique_ptr<MdxTag> mdx;
    std::optional<KeyExpression> expr;  // absent when it cannot be evaluated
    std::optional<KeyCondition> cond;   // the FOR condition; absent: every record
    std::string problem;                // why the tag cannot be used or written
  };

  // Opens the .MDX at `path` for a table with `fields` and `code_page`.
  static IndexStatus Open(const std::string& path, const std::vector<FieldDesc>& fields,
                          int code_page, bool writable, std::unique_ptr<ProductionIndex>& out);
  // Creates an empty .MDX for the table whose base name is `table_base`.
  static IndexStatus Create(const std::string& path, const std::string& table_base,
                            const std::vector<FieldDesc>& fields, int code_page,
                            std::unique_ptr<ProductionIndex>& out);

  MdxFile& file() { return *file_; }
  const std::vector<Tag>& tags() const { return tags_; }
  // The tag named `name` (without regard to case), or null.
  const Tag* Find(const std::string& name) const;
  // The key of a record in a tag, or nothing when the record has no entry there (its FOR
  // condition is false).
  static std::optional<std::string> KeyOf(const Tag& tag, const RecordView& record);

  const std::string& write_refusal() const {
    return write_refusal_.empty() ? check_refusal_ : write_refusal_;
  }
  // The checks before writing into an index another program may have made: every key
  // expression evaluable, the structure sound, the keys in our order and in step with a
  // sample of the records. Sets write_refusal() when one fails.
  void CheckBeforeWriting(const IndexedTable& table, uint32_t record_sample);

  // Brings every tag in step with one record change (before absent: a new record). The
  // table is needed to hand a unique key on to another record when its holder lets go.
  IndexStatus Apply(uint32_t recno, const RecordView* before, const RecordView* after,
                    const IndexedTable& table);

  // Adds a maintained tag over every record of `table`, sorted once.
  IndexStatus AddTag(const NewTagSpec& tag_def, const IndexedTable& table);

  // Reads the header and tag table again (another user may have added tags).
  IndexStatus Reload();

 private:
  ProductionIndex() = default;
  IndexStatus LoadTags();
  bool TagTableChanged() const;
  IndexStatus ApplyToTag(Tag& tag, uint32_t recno, const RecordView* before,
                         const RecordView* after, const IndexedTable& table);

  std::unique_ptr<MdxFile> file_;
  std::vector<FieldDesc> fields_;
  int code_page_ = 437;
  std::vector<Tag> tags_;
  std::string write_refusal_;  // from the tags as loaded
  std::string check_refusal_;  // from CheckBeforeWriting; survives reloads
};

}  // namespace snyltdyr::engine
