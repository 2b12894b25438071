#include "storage/engine/index/index_checker.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>

#include "storage/engine/keys/key_codec.h"
#include "storage/engine/keys/key_expression.h"
#include "storage/engine/index/mdx_tag.h"

namespace snyltdyr::engine {
namespace {

constexpr double kFirstDay = 1757585;  // 1 January 100
constexpr double kLastDay = 5373484;   // 31 December 9999

struct Checker {
  MdxFile& file;
  const IndexedTable& table;
  const IndexCheckOptions& options;
  std::vector<IndexProblem> problems;
  std::map<uint32_t, std::string> owner;  // page -> who references it

  bool Full() const { return problems.size() >= options.max_problems; }
  void Add(IndexProblem::Kind kind, const std::string& tag, const std::string& text) {
    if (!Full()) problems.push_back({kind, tag, text});
  }

  // Claims a page for `who`; false (and a problem) when someone else has it already.
  bool Claim(uint32_t page, const std::string& tag, const std::string& who) {
    auto [it, fresh] = owner.emplace(page, who);
    if (!fresh) {
      Add(IndexProblem::Kind::kStructure, tag,
          "page " + std::to_string(page) + " is used as " + who + " and as " + it->second);
    }
    return fresh;
  }

  bool KeyBytesSound(const MdxTag& t, const std::string& key) const {
    if (t.key_type() == 'N') return DecodeNumericKey(key).has_value();
    if (t.key_type() == 'D') {
      const double v = DecodeDateKey(key);
      return v == 0 || (std::isfinite(v) && v == std::floor(v) && v >= kFirstDay && v <= kLastDay);
    }
    return true;
  }

  struct Subtree {
    bool empty = true;
    std::string min, max;
  };

  // Walks the subtree at `page`; appends leaf entries in order to `entries`.
  Subtree Walk(const MdxTag& t, uint32_t page, size_t depth, std::optional<size_t>& leaf_depth,
               std::vector<MdxEntry>& entries) {
    Subtree out;
    if (Full()) return out;
    const std::string& name = t.name();
    if (depth > 32) {
      Add(IndexProblem::Kind::kStructure, name, "the tree is deeper than 32 levels");
      return out;
    }
    if (!Claim(page, name, "a node of tag " + name)) return out;
    MdxNode node;
    if (IndexStatus s = t.ReadNode(page, node); !s) {
      Add(IndexProblem::Kind::kStructure, name, s.message());
      return out;
    }
    if (node.leaf) {
      if (!leaf_depth) leaf_depth = depth;
      if (*leaf_depth != depth)
        Add(IndexProblem::Kind::kStructure, name,
            "leaf at page " + std::to_string(page) + " is not at the depth of the others");
      for (size_t i = 0; i < node.size(); ++i) {
        if (node.ptrs[i] < 1 || node.ptrs[i] > table.record_count)
          Add(IndexProblem::Kind::kStructure, name,
              "record number " + std::to_string(node.ptrs[i]) + " at page " +
                  std::to_string(page) + " is outside the table");
        if (!KeyBytesSound(t, node.keys[i]))
          Add(IndexProblem::Kind::kStructure, name,
              "a key at page " + std::to_string(page) + " is not a valid " +
                  std::string(1, t.key_type()) + " key");
        entries.push_back({node.keys[i], node.ptrs[i]});
      }
      if (node.size() > 0) out = {false, node.keys.front(), node.keys.back()};
      return out;
    }
    for (size_t i = 0; i <= node.size(); ++i) {
      const uint32_t child = node.child(i);
      bool is_header = false;
      for (const MdxTagEntry& e : file.tags()) is_header |= e.header_page == child;
      if (is_header) {
        Add(IndexProblem::Kind::kStructure, name,
            "node at page " + std::to_string(page) + " points at a tag header");
        continue;
      }
      Subtree sub = Walk(t, child, depth + 1, leaf_depth, entries);
      if (sub.empty) continue;
      if (i < node.size() && t.CompareKeys(sub.max, node.keys[i]) > 0)
        Add(IndexProblem::Kind::kOrder, name,
            "separator " + std::to_string(i) + " at page " + std::to_string(page) +
                " is smaller than a key below it");
      if (i > 0 && t.CompareKeys(node.keys[i - 1], sub.min) > 0)
        Add(IndexProblem::Kind::kOrder, name,
            "separator " + std::to_string(i - 1) + " at page " + std::to_string(page) +
                " is greater than the first key to its right");
      if (out.empty) out = {false, sub.min, sub.max};
      out.max = sub.max;
    }
    return out;
  }

  void CheckOrder(const MdxTag& t, const std::vector<MdxEntry>& entries) {
    for (size_t i = 1; i < entries.size() && !Full(); ++i) {
      const int c = t.CompareKeys(entries[i - 1].key, entries[i].key);
      if (c > 0) {
        Add(IndexProblem::Kind::kOrder, t.name(),
            "key of record " + std::to_string(entries[i].recno) + " (" +
                KeyToText(t.key_type(), entries[i].key) + ") comes after a greater key (" +
                KeyToText(t.key_type(), entries[i - 1].key) + ")");
      } else if (c == 0 && t.unique()) {
        Add(IndexProblem::Kind::kOrder, t.name(),
            "unique key " + KeyToText(t.key_type(), entries[i].key) + " is held by records " +
                std::to_string(entries[i - 1].recno) + " and " + std::to_string(entries[i].recno));
      }
    }
  }

  // A key as a map key: numbers by value (equal values in different byte forms agree).
  static std::string Canonical(const MdxTag& t, const std::string& key) {
    return t.key_type() == 'N' ? KeyToText('N', key) : key;
  }

  void CheckContent(const MdxTag& t, const std::vector<MdxEntry>& entries) {
    std::string why;
    auto expr = KeyExpression::Parse(t.expression(), *table.fields, table.code_page, &why);
    std::optional<KeyCondition> cond;
    if (expr && t.has_for()) cond = KeyCondition::Parse(t.for_expression(), &why);
    if (!expr || (t.has_for() && !cond)) {
      Add(IndexProblem::Kind::kContent, t.name(), why);
      return;
    }
    auto key_of = [&](const RecordView& v) -> std::optional<std::string> {
      if (cond && !cond->Holds(v)) return std::nullopt;
      return expr->MakeKey(v, t.key_type(), t.key_length());
    };
    // A full check counts every entry; a sampled one looks the sampled records up.
    const uint32_t n = table.record_count;
    const bool full = options.record_sample == 0 || options.record_sample >= n;
    std::unordered_map<uint32_t, uint32_t> count_of;  // recno -> entries
    std::set<std::string> held;
    std::vector<uint8_t> bytes;
    const size_t entry_step = full || options.record_sample >= entries.size()
                                  ? 1
                                  : entries.size() / options.record_sample;
    for (size_t i = 0; i < entries.size(); ++i) {
      const MdxEntry& e = entries[i];
      if (Full()) return;
      if (full && ++count_of[e.recno] == 2)
        Add(IndexProblem::Kind::kContent, t.name(),
            "record " + std::to_string(e.recno) + " has more than one entry");
      if (full && t.unique()) held.insert(Canonical(t, e.key));
      if (i % entry_step != 0) continue;
      if (e.recno < 1 || e.recno > table.record_count || !table.read_record(e.recno, bytes))
        continue;
      const RecordView view{table.fields, bytes.data(), table.code_page};
      if (cond && !cond->Holds(view)) {
        Add(IndexProblem::Kind::kContent, t.name(),
            "record " + std::to_string(e.recno) + " has an entry although its FOR condition is false");
        continue;
      }
      const auto want = expr->MakeKey(view, t.key_type(), t.key_length());
      if (!want || engine::CompareKeys(t.key_type(), *want, e.key) != 0 ||
          (t.key_type() != 'N' && *want != e.key))
        Add(IndexProblem::Kind::kContent, t.name(),
            "record " + std::to_string(e.recno) + " is filed under " +
                KeyToText(t.key_type(), e.key) + " but its data gives " +
                (want ? KeyToText(t.key_type(), *want) : std::string("no key")));
    }
    // Without a FOR condition every record has its entry (deleted ones too), so a tag of
    // another size is out of step; records appended by a program that left the index
    // alone are the usual cause, so the last records are always among those looked at.
    if (!t.unique() && !t.has_for() && entries.size() != n)
      Add(IndexProblem::Kind::kContent, t.name(),
          "the tag has " + std::to_string(entries.size()) + " entries for " + std::to_string(n) +
              " records");
    const uint32_t step = full ? 1 : n / options.record_sample;
    const uint32_t tail = full ? n : std::max<uint32_t>(n, 100) - 100;
    for (uint32_t r = 1; r <= n && !Full(); r = r > tail ? r + 1 : std::min(r + step, tail + 1)) {
      if (!table.read_record(r, bytes)) {
        Add(IndexProblem::Kind::kContent, t.name(), "record " + std::to_string(r) + " cannot be read");
        continue;
      }
      const RecordView view{table.fields, bytes.data(), table.code_page};
      if (view.Deleted()) continue;
      const auto key = key_of(view);
      if (!key) continue;  // its FOR condition leaves it out
      if (!full) {
        MdxPath path;
        bool found = false;
        IndexStatus st = t.unique() ? t.Seek(*key, 0, false, path, found)
                                    : t.FindExact(*key, r, path, found);
        if (st && found && t.unique()) found = t.CompareKeys(MdxTag::KeyAt(path), *key) == 0;
        if (!st || !found)
          Add(IndexProblem::Kind::kContent, t.name(),
              "record " + std::to_string(r) + " has no entry under " + KeyToText(t.key_type(), *key));
      } else if (t.unique()) {
        if (held.count(Canonical(t, *key)) == 0)
          Add(IndexProblem::Kind::kContent, t.name(),
              "no entry holds the key " + KeyToText(t.key_type(), *key) + " of record " +
                  std::to_string(r));
      } else if (count_of.count(r) == 0) {
        Add(IndexProblem::Kind::kContent, t.name(), "record " + std::to_string(r) + " has no entry");
      }
    }
  }

  void Run() {
    if (IndexStatus s = file.CheckPageCount(); !s) Add(IndexProblem::Kind::kStructure, "", s.message());
    for (const MdxTagEntry& e : file.tags()) Claim(e.header_page, e.name, "the header of tag " + e.name);
    std::vector<uint32_t> free_pages;
    if (!file.FreeListPages(free_pages)) {
      Add(IndexProblem::Kind::kStructure, "", "the free list is broken");
    }
    for (uint32_t p : free_pages) Claim(p, "", "a free block");
    for (const MdxTagEntry& e : file.tags()) {
      if (Full()) return;
      std::unique_ptr<MdxTag> t;
      if (IndexStatus s = MdxTag::Load(file, e, t); !s) {
        Add(IndexProblem::Kind::kStructure, e.name, s.message());
        continue;
      }
      std::vector<MdxEntry> entries;
      std::optional<size_t> leaf_depth;
      Walk(*t, t->root(), 0, leaf_depth, entries);
      CheckOrder(*t, entries);
      if (options.check_content) CheckContent(*t, entries);
    }
  }
};

}  // namespace

std::vector<IndexProblem> CheckIndex(MdxFile& file, const IndexedTable& table,
                                     const IndexCheckOptions& options) {
  Checker c{file, table, options, {}, {}};
  c.Run();
  return std::move(c.problems);
}

std::string DescribeProblems(const std::vector<IndexProblem>& problems) {
  std::string out;
  for (const IndexProblem& p : problems) {
    if (!out.empty()) out += "\n";
    if (!p.tag.empty()) out += "tag " + p.tag + ": ";
    out += p.text;
  }
  return out;
}

}  // namespace snyltdyr::engine
