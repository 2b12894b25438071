// The full verification of a production index against its table, in one pass over the
// data file: what the opening runs before it lets a table be written that another program
// changed behind the index (index_freshness.h), and a batch before its first write.
//
// It must take about a second for a million records, so it reads each tag's leaves once
// into a table by record number and then reads the records in large runs, comparing each
// record's keys with the entries it has; no tree is searched per record.
#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "storage/engine/datafile/record_cache.h"
#include "storage/engine/index/index_production.h"
#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {
namespace {

constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

// One tag's entries by record number.
struct TagEntries {
  const ProductionIndex::Tag* tag = nullptr;
  std::vector<uint32_t> entry_of;  // recno -> index into keys, or kNoEntry
  std::string keys;                // the entries' keys, key_length bytes each
  std::string_view Key(uint32_t at) const {
    const size_t n = tag->mdx->key_length();
    return std::string_view(keys).substr(static_cast<size_t>(at) * n, n);
  }
  std::unordered_set<std::string> held;  // a unique tag: every key it holds
};

std::string Where(const MdxTag& tag) { return "tag " + tag.name() + ": "; }

// Reads every entry of `t`; a problem when the tree cannot be walked soundly or an entry
// names a record twice or one the table does not have.
std::string ReadEntries(const ProductionIndex::Tag& t, uint32_t records, TagEntries& out) {
  const MdxTag& tag = *t.mdx;
  out.tag = &t;
  out.entry_of.assign(static_cast<size_t>(records) + 1, kNoEntry);
  out.keys.reserve(static_cast<size_t>(records) * tag.key_length());
  MdxPath path;
  MdxWalkCheck walk;
  bool found = false;
  IndexStatus s = tag.First(path, found);
  for (; s && found; s = tag.Step(path, true, found)) {
    if (IndexStatus c = walk.Check(tag, path, true); !c) return Where(tag) + c.message();
    const uint32_t recno = MdxTag::RecnoAt(path);
    const std::string& key = MdxTag::KeyAt(path);
    if (recno == 0 || recno > records)
      return Where(tag) + "an entry names record " + std::to_string(recno) + " of a table of " +
             std::to_string(records) + " records";
    if (out.entry_of[recno] != kNoEntry)
      return Where(tag) + "record " + std::to_string(recno) + " has more than one entry";
    out.entry_of[recno] = static_cast<uint32_t>(out.keys.size() / tag.key_length());
    out.keys.append(key, 0, tag.key_length());
    out.keys.resize(out.keys.size() + tag.key_length() - std::min<size_t>(key.size(), tag.key_length()), '\0');
    if (tag.unique()) out.held.insert(tag.key_type() == 'N' ? KeyToText('N', key) : key);
  }
  return s ? std::string() : Where(tag) + s.message();
}

// Whether `want` (as the record's data gives it) is the stored `key`: numbers by value,
// since other programs write equal values in more than one byte form.
bool SameKey(const MdxTag& tag, std::string want, std::string_view key) {
  want.resize(tag.key_length(), tag.key_type() == 'C' ? ' ' : '\0');
  if (tag.key_type() == 'N') return CompareKeys('N', want, key) == 0;
  return want == key;
}

// The record `recno` against one tag's entries: empty when they agree.
std::string CheckRecord(const TagEntries& e, const RecordView& view, uint32_t recno) {
  const MdxTag& tag = *e.tag->mdx;
  const auto want = ProductionIndex::KeyOf(*e.tag, view);
  const uint32_t at = e.entry_of[recno];
  if (at != kNoEntry) {
    if (!want)
      return Where(tag) + "record " + std::to_string(recno) +
             " has an entry although its FOR condition is false";
    if (!SameKey(tag, *want, e.Key(at)))
      return Where(tag) + "record " + std::to_string(recno) + " is filed under " +
             KeyToText(tag.key_type(), std::string(e.Key(at))) + " but its data gives " +
             KeyToText(tag.key_type(), *want);
    return {};
  }
  // Deleted records keep their entries, but one without its entry shows nothing wrong.
  if (!want || view.Deleted()) return {};
  if (tag.unique() && e.held.count(tag.key_type() == 'N' ? KeyToText('N', *want) : *want)) return {};
  return Where(tag) + "record " + std::to_string(recno) + " has no entry under " +
         KeyToText(tag.key_type(), *want);
}

}  // namespace

std::string ProductionIndex::VerifyEveryRecord(const IndexedTable& table) {
  const uint32_t n = table.record_count;
  std::vector<TagEntries> entries;
  for (const Tag& t : tags_) {
    if (!t.mdx || !t.expr || faults_.Of(t.mdx->name()) != nullptr) continue;
    entries.emplace_back();
    if (std::string found = ReadEntries(t, n, entries.back()); !found.empty()) {
      faults_.Mark(t.mdx->name(), IndexFault::kOutOfStep, found);
      return found;
    }
  }
  if (entries.empty()) return {};
  const size_t rl = std::max<size_t>(1, table.record_length);
  const uint32_t run = std::max<uint32_t>(1, static_cast<uint32_t>(RecordCache::kMaxRunBytes / rl));
  std::vector<uint8_t> bytes, one;
  for (uint32_t first = 1; first <= n; first += run) {
    const uint32_t count = std::min(run, n - first + 1);
    bool read = false;
    if (table.read_run && table.record_length > 0) {
      bytes.resize(static_cast<size_t>(count) * rl);
      read = table.read_run(first, count, bytes.data());
    }
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t recno = first + i;
      const uint8_t* record = nullptr;
      if (read) {
        record = bytes.data() + static_cast<size_t>(i) * rl;
      } else if (table.read_record(recno, one)) {
        record = one.data();
      } else {
        return "record " + std::to_string(recno) + " cannot be read";
      }
      const RecordView view{table.fields, record, table.code_page};
      for (const TagEntries& e : entries) {
        std::string found = CheckRecord(e, view, recno);
        if (found.empty()) continue;
        faults_.Mark(e.tag->mdx->name(), IndexFault::kOutOfStep, found);
        return found;
      }
    }
  }
  return {};
}

}  // namespace snyltdyr::engine
