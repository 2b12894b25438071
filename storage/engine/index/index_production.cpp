#include "storage/engine/index/index_production.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "storage/engine/keys/key_codec.h"

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
  std::unique_ptr<ProductionIndex> p(new ProductionIndex(path));
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
  std::unique_ptr<ProductionIndex> p(new ProductionIndex(path));
  p->fields_ = fields;
  p->code_page_ = code_page;
  IndexStatus s = MdxFile::Create(path, table_base, p->file_);
  if (!s) return s;
  out = std::move(p);
  return IndexStatus::Ok();
}

IndexStatus ProductionIndex::Reload() {
  // Under the shared lock, so that no header is read while a writer rewrites it (which
  // would look like damage).
  const bool locked = file_->LockShared();
  IndexStatus s = file_->Reload();
  if (s) s = LoadTags();
  if (locked) file_->Unlock();
  return s;
}

IndexStatus ProductionIndex::LoadTags() {
  tags_.clear();
  write_refusal_.clear();
  for (const MdxTagEntry& e : file_->tags()) {
    Tag t;
    IndexStatus s = MdxTag::Load(*file_, e, t.mdx);
    if (!s) {
      faults_.Mark(e.name, IndexFault::kDamaged, s.message());
      t.problem = faults_.Of(e.name)->message;
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

std::string ProductionIndex::write_refusal() const {
  if (!write_refusal_.empty()) return write_refusal_;
  if (!page_count_refusal_.empty()) return page_count_refusal_;
  return faults_.empty() ? std::string() : faults_.First()->message;
}

void ProductionIndex::CheckBeforeWriting(const IndexedTable& table, uint32_t record_sample) {
  IndexCheckOptions options;
  options.record_sample = record_sample;
  const std::vector<IndexProblem> problems = CheckIndex(*file_, table, options);
  // Per tag the worst kind decides: a damaged tree, then keys out of step, then only the
  // order (keys right but sorted by other rules: another collation).
  std::map<std::string, const IndexProblem*> worst;
  std::map<std::string, bool> content;
  for (const IndexProblem& p : problems) {
    const IndexProblem*& w = worst[p.tag];
    if (w == nullptr || p.kind < w->kind) w = &p;
    content[p.tag] = content[p.tag] || p.kind == IndexProblem::Kind::kContent;
  }
  for (const auto& [tag, p] : worst) {
    const IndexProblem* shown = p;
    if (p->kind == IndexProblem::Kind::kOrder && !content[tag]) {
      faults_.Mark(tag, IndexFault::kForeign, std::string());
      continue;
    }
    if (p->kind == IndexProblem::Kind::kOrder)  // out of step as well: say that
      for (const IndexProblem& q : problems)
        if (q.tag == tag && q.kind == IndexProblem::Kind::kContent) shown = &q;
    const std::string detail = (tag.empty() ? "" : "tag " + tag + ": ") + shown->text;
    faults_.Mark(tag, shown->kind == IndexProblem::Kind::kStructure ? IndexFault::kDamaged
                                                                    : IndexFault::kOutOfStep,
                 detail);
  }
}

namespace {

// A tag about to be made: what goes into its header, how its keys are made, its entries.
struct PlannedTag {
  MdxTagLayout layout;
  std::optional<KeyExpression> expr;
  std::optional<KeyCondition> cond;
  std::vector<MdxEntry> entries;
};

IndexStatus PlanTag(const NewTagDefinition& tag_def, const std::vector<FieldDesc>& fields,
                    int code_page, PlannedTag& plan) {
  const std::string name = UpperInCodePage(tag_def.name, code_page);
  if (name.empty()) return IndexStatus::Error("An index tag needs a name.");
  if (name.size() > kMdxTagNameMax)
    return IndexStatus::Error("The index tag name " + name + " is longer than 10 characters.");
  std::string why;
  plan.expr = KeyExpression::Parse(tag_def.expression, fields, code_page, &why);
  if (!plan.expr) return IndexStatus::Error("Cannot create the index tag " + name + ": " + why + ".");
  const char type = plan.expr->type();
  const size_t width = plan.expr->width();
  if (type == 'C' && (width < 1 || width > kMaxCharacterKeyLength))
    return IndexStatus::Error("Cannot create the index tag " + name + ": its key of " +
                              std::to_string(width) + " characters does not fit the 1 to 100 "
                              "an index key can have.");
  if (!tag_def.for_expression.empty()) {
    plan.cond = KeyCondition::Parse(tag_def.for_expression, &why);
    if (!plan.cond) return IndexStatus::Error("Cannot create the index tag " + name + ": " + why + ".");
  }
  MdxTagLayout& m = plan.layout;
  m.name = name;
  m.expression = tag_def.expression;
  m.key_type = type;
  m.key_length = static_cast<uint16_t>(type == 'N' ? kNumericKeyLength
                                       : type == 'D' ? kDateKeyLength : width);
  m.descending = tag_def.descending;
  m.unique = tag_def.unique;
  m.for_expression = tag_def.for_expression;
  if (plan.expr->single_field() >= 0)
    m.single_field = fields[static_cast<size_t>(plan.expr->single_field())].name;
  return IndexStatus::Ok();
}

}  // namespace

IndexStatus ProductionIndex::AddTag(const NewTagDefinition& tag_def, const IndexedTable& table) {
  return AddTags({tag_def}, table);
}

IndexStatus ProductionIndex::AddTags(const std::vector<NewTagDefinition>& tag_defs,
                                     const IndexedTable& table,
                                     const std::function<void(uint32_t, uint32_t)>& progress) {
  const std::string file = BaseName(file_->path());
  if (file_->tags().size() + tag_defs.size() > kMdxMaxTags)
    return IndexStatus::Error(file + " would hold more than 47 tags, the most an index file can hold.");
  std::vector<PlannedTag> plans(tag_defs.size());
  for (size_t i = 0; i < tag_defs.size(); ++i) {
    if (IndexStatus s = PlanTag(tag_defs[i], fields_, code_page_, plans[i]); !s) return s;
    const std::string& name = plans[i].layout.name;
    bool twice = Find(name) != nullptr;
    for (size_t j = 0; j < i; ++j) twice = twice || plans[j].layout.name == name;
    if (twice) return IndexStatus::Error("The index tag " + name + " already exists in " + file + ".");
    plans[i].entries.reserve(table.record_count);
  }
  // Every record has its keys, deleted ones too (they keep their keys until a pack).
  std::vector<uint8_t> bytes;
  const uint32_t step = std::max<uint32_t>(1, table.record_count / 100);
  for (uint32_t r = 1; r <= table.record_count; ++r) {
    if (!table.read_record(r, bytes))
      return IndexStatus::Error("Cannot create the index: record " + std::to_string(r) +
                                " cannot be read.");
    const RecordView v{table.fields, bytes.data(), table.code_page};
    for (PlannedTag& p : plans) {
      if (p.cond && !p.cond->Holds(v)) continue;
      auto key = p.expr->MakeKey(v, p.layout.key_type, p.layout.key_length);
      if (!key) return IndexStatus::Error("Cannot create the index tag " + p.layout.name + ".");
      p.entries.push_back({std::move(*key), r});
    }
    if (progress && (r % step == 0 || r == table.record_count)) progress(r, table.record_count);
  }
  LockedIndex lock(*file_);
  if (!lock.status()) return lock.status();
  for (PlannedTag& p : plans) {
    std::unique_ptr<MdxTag> created;
    IndexStatus s = MdxTag::Create(*file_, p.layout, std::move(p.entries), created);
    if (!s) return s;
  }
  return LoadTags();
}

}  // namespace snyltdyr::engine
