#include "storage/engine/index_production.h"

#include <filesystem>

#include "storage/engine/key_codec.h"

namespace snyltdyr::engine {
namespace {

std::string BaseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

// Holds the index lock for one change (when the file is writable) and reads the header
// again under it, since another program may have changed the file meanwhile.
class LockedIndex {
 public:
  explicit LockedIndex(MdxFile& f) : f_(f) {
    if (!f_.writable()) {
      status_ = IndexStatus::Error(f_.path() + ": the index file is open read-only");
    } else if (!f_.Lock()) {
      status_ = IndexStatus::Error(f_.path() + ": the index is locked by another user");
    } else {
      status_ = f_.Reload();
      if (status_) status_ = f_.CheckPageCount();  // before anything is written
    }
  }
  ~LockedIndex() { f_.Unlock(); }
  const IndexStatus& status() const { return status_; }

 private:
  MdxFile& f_;
  IndexStatus status_;
};

}  // namespace

IndexStatus ProductionIndex::Open(const std::string& path, const std::vector<FieldDesc>& fields,
                                  int code_page, bool writable,
                                  std::unique_ptr<ProductionIndex>& out) {
  std::unique_ptr<ProductionIndex> p(new ProductionIndex());
  p->fields_ = fields;
  p->code_page_ = code_page;
  IndexStatus s = MdxFile::Open(path, writable, p->file_);
  if (!s) return s;
  s = p->LoadTags();
  if (!s) return s;
  out = std::move(p);
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::Create(const std::string& path, const std::string& table_base,
                                    const std::vector<FieldDesc>& fields, int code_page,
                                    std::unique_ptr<ProductionIndex>& out) {
  std::unique_ptr<ProductionIndex> p(new ProductionIndex());
  p->fields_ = fields;
  p->code_page_ = code_page;
  IndexStatus s = MdxFile::Create(path, table_base, p->file_);
  if (!s) return s;
  out = std::move(p);
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::Reload() {
  IndexStatus s = file_->Reload();
  if (!s) return s;
  return LoadTags();
}

IndexStatus ProductionIndex::LoadTags() {
  tags_.clear();
  write_refusal_.clear();
  for (const MdxTagEntry& e : file_->tags()) {
    Tag t;
    IndexStatus s = MdxTag::Load(*file_, e, t.mdx);
    if (!s) {
      t.problem = "The production index " + BaseName(file_->path()) + " is damaged (" +
                  s.message() + "); the table is opened read-only. Rebuild the index to write "
                  "to the table.";
    } else {
      std::string why;
      if (t.mdx->has_for()) t.cond = KeyCondition::Parse(t.mdx->for_expression(), &why);
      if (t.mdx->has_for() && !t.cond) {
        t.problem = "Tag " + e.name + " of " + BaseName(file_->path()) + " has the " + why +
                    ", which this program cannot evaluate; the table is opened read-only so "
                    "that the tag does not go out of date.";
        if (write_refusal_.empty()) write_refusal_ = t.problem;
        tags_.push_back(std::move(t));
        continue;
      }
      t.expr = KeyExpression::Parse(t.mdx->expression(), fields_, code_page_, &why);
      if (t.expr && t.expr->type() != t.mdx->key_type()) {
        why = "it gives " + std::string(1, t.expr->type()) + " keys in a " +
              std::string(1, t.mdx->key_type()) + " tag";
        t.expr.reset();
      } else if (t.expr && t.expr->type() == 'C' && t.expr->width() > kMaxCharacterKeyLength) {
        why = "it gives keys of " + std::to_string(t.expr->width()) + " characters, more than the " +
              std::to_string(kMaxCharacterKeyLength) + " an index key can hold";
        t.expr.reset();
      }
      if (!t.expr)
        t.problem = "Tag " + e.name + " of " + BaseName(file_->path()) + " has the key expression \"" +
                    t.mdx->expression() + "\", which this program cannot evaluate (" + why +
                    "); the table is opened read-only so that the tag does not go out of date.";
    }
    if (write_refusal_.empty()) write_refusal_ = t.problem;
    tags_.push_back(std::move(t));
  }
  return IndexStatus::Ok();
}

bool ProductionIndex::TagTableChanged() const {
  if (file_->tags().size() != tags_.size()) return true;
  for (size_t i = 0; i < tags_.size(); ++i)
    if (!tags_[i].mdx || tags_[i].mdx->header_page() != file_->tags()[i].header_page) return true;
  return false;
}

const ProductionIndex::Tag* ProductionIndex::Find(const std::string& name) const {
  const std::string want = UpperInCodePage(name, code_page_);
  for (const Tag& t : tags_) {
    const std::string& have = t.mdx ? t.mdx->name() : std::string();
    if (t.mdx && UpperInCodePage(have, code_page_) == want) return &t;
  }
  return nullptr;
}

std::optional<std::string> ProductionIndex::KeyOf(const Tag& tag, const RecordView& record) {
  if (!tag.expr || (tag.cond && !tag.cond->Holds(record))) return std::nullopt;
  return tag.expr->MakeKey(record, tag.mdx->key_type(), tag.mdx->key_length());
}

void ProductionIndex::CheckBeforeWriting(const IndexedTable& table, uint32_t record_sample) {
  if (!write_refusal().empty()) return;
  IndexCheckOptions options;
  options.record_sample = record_sample;
  const std::vector<IndexProblem> problems = CheckIndex(*file_, table, options);
  if (problems.empty()) return;
  const std::string file = BaseName(file_->path());
  // The worst kind decides: a damaged tree, then keys out of step, then only the order
  // (keys right but sorted by other rules: another collation).
  const IndexProblem* worst = &problems.front();
  for (const IndexProblem& p : problems)
    if (p.kind < worst->kind) worst = &p;
  if (worst->kind == IndexProblem::Kind::kOrder) {
    bool content = false;
    for (const IndexProblem& p : problems) content |= p.kind == IndexProblem::Kind::kContent;
    if (!content) {
      check_refusal_ = "Tag " + worst->tag + " of " + file +
                       " is sorted in another character order (collation) than this program "
                       "writes; the table is opened read-only so that no key is put in the "
                       "wrong place. Rebuilding the index would change the order other "
                       "programs see.";
      return;
    }
    for (const IndexProblem& p : problems)
      if (p.kind == IndexProblem::Kind::kContent) worst = &p;
  }
  const std::string detail = (worst->tag.empty() ? "" : "tag " + worst->tag + ": ") + worst->text;
  check_refusal_ = worst->kind == IndexProblem::Kind::kStructure
                       ? "The production index " + file + " is damaged (" + detail +
                             "); the table is opened read-only. Rebuild the index to write to "
                             "the table."
                       : "The production index " + file + " does not agree with the table (" +
                             detail + "); the table is opened read-only. Rebuild the index to "
                             "write to the table.";
}

IndexStatus ProductionIndex::Apply(uint32_t recno, const RecordView* before,
                                   const RecordView* after, const IndexedTable& table) {
  if (tags_.empty()) return IndexStatus::Ok();
  if (!write_refusal().empty()) return IndexStatus::Error(write_refusal());
  LockedIndex lock(*file_);
  if (!lock.status()) return lock.status();
  if (TagTableChanged()) {  // another user added a tag: it is kept in step from now on
    IndexStatus s = LoadTags();
    if (!s) return s;
    if (!write_refusal_.empty()) return IndexStatus::Error(write_refusal_);
  }
  IndexStatus first_failure;
  for (Tag& t : tags_) {
    IndexStatus s = ApplyToTag(t, recno, before, after, table);
    if (!s && first_failure.ok()) first_failure = s;  // the other tags still get the change
  }
  return first_failure;
}

IndexStatus ProductionIndex::ApplyToTag(Tag& t, uint32_t recno, const RecordView* before,
                                        const RecordView* after, const IndexedTable& table) {
  MdxTag& tag = *t.mdx;
  std::optional<std::string> old_key, new_key;
  if (before) old_key = KeyOf(t, *before);
  if (after) new_key = KeyOf(t, *after);
  if (old_key && new_key && *old_key == *new_key) return IndexStatus::Ok();
  if (!old_key && !new_key) return IndexStatus::Ok();
  IndexStatus reloaded = tag.Reload();  // another user may have changed the tag
  if (!reloaded) return reloaded;

  if (old_key) {
    bool found = false;
    IndexStatus s = tag.Remove(*old_key, recno, found);
    if (!s) return s;
    if (!found && !tag.unique())
      return IndexStatus::Error(BaseName(file_->path()) + ": tag " + tag.name() +
                                " had no entry for record " + std::to_string(recno) +
                                "; rebuild the index");
    if (found && tag.unique()) {
      // The key is free again: the lowest-numbered other record with it takes it over.
      std::vector<uint8_t> bytes;
      for (uint32_t r = 1; r <= table.record_count; ++r) {
        if (r == recno || !table.read_record(r, bytes)) continue;
        const RecordView v{table.fields, bytes.data(), table.code_page};
        const auto k = KeyOf(t, v);
        if (k && engine::CompareKeys(tag.key_type(), *k, *old_key) == 0) {
          s = tag.Insert(*k, r);
          if (!s) return s;
          break;
        }
      }
    }
  }
  if (!new_key) return IndexStatus::Ok();
  if (tag.unique()) {
    MdxPath path;
    bool found = false;
    IndexStatus s = tag.Seek(*new_key, 0, false, path, found);
    if (!s) return s;
    if (found && tag.CompareKeys(MdxTag::KeyAt(path), *new_key) == 0) {
      const uint32_t holder = MdxTag::RecnoAt(path);
      if (holder < recno) return IndexStatus::Ok();  // the first record keeps the key
      s = tag.Remove(MdxTag::KeyAt(path), holder, found);
      if (!s) return s;
    }
  }
  return tag.Insert(*new_key, recno);
}

IndexStatus ProductionIndex::AddTag(const NewTagSpec& tag_def, const IndexedTable& table) {
  const std::string file = BaseName(file_->path());
  const std::string name = UpperInCodePage(tag_def.name, code_page_);
  if (name.empty()) return IndexStatus::Error("An index tag needs a name.");
  if (name.size() > kMdxTagNameMax)
    return IndexStatus::Error("The index tag name " + name + " is longer than 10 characters.");
  if (Find(name)) return IndexStatus::Error("The index tag " + name + " already exists in " + file + ".");
  if (file_->tags().size() >= kMdxMaxTags)
    return IndexStatus::Error(file + " already holds 47 tags, the most an index file can hold.");
  std::string why;
  auto expr = KeyExpression::Parse(tag_def.expression, fields_, code_page_, &why);
  if (!expr) return IndexStatus::Error("Cannot create the index tag " + name + ": " + why + ".");
  const char type = expr->type();
  const size_t width = expr->width();
  if (type == 'C' && (width < 1 || width > kMaxCharacterKeyLength))
    return IndexStatus::Error("Cannot create the index tag " + name + ": its key of " +
                              std::to_string(width) + " characters does not fit the 1 to 100 "
                              "an index key can have.");

  MdxTagSpec m;
  m.name = name;
  m.expression = tag_def.expression;
  m.key_type = type;
  m.key_length = static_cast<uint16_t>(type == 'N' ? kNumericKeyLength
                                       : type == 'D' ? kDateKeyLength : width);
  m.descending = tag_def.descending;
  m.unique = tag_def.unique;
  if (expr->single_field() >= 0) m.single_field = fields_[static_cast<size_t>(expr->single_field())].name;

  // Every record has its key, deleted ones too (they keep their keys until a pack).
  std::vector<MdxEntry> entries;
  entries.reserve(table.record_count);
  std::vector<uint8_t> bytes;
  for (uint32_t r = 1; r <= table.record_count; ++r) {
    if (!table.read_record(r, bytes))
      return IndexStatus::Error("Cannot create the index tag " + name + ": record " +
                                std::to_string(r) + " cannot be read.");
    const RecordView v{table.fields, bytes.data(), table.code_page};
    auto key = expr->MakeKey(v, m.key_type, m.key_length);
    if (!key) return IndexStatus::Error("Cannot create the index tag " + name + ".");
    entries.push_back({std::move(*key), r});
  }
  LockedIndex lock(*file_);
  if (!lock.status()) return lock.status();
  std::unique_ptr<MdxTag> created;
  IndexStatus s = MdxTag::Create(*file_, m, std::move(entries), created);
  if (!s) return s;
  return LoadTags();
}

}  // namespace snyltdyr::engine
