// One tag of a production index: its header block and its B-tree of keys.
//
// Tag header block (little-endian): 0 root page, 4 pages of the tag's nodes, 8 flags
// (0x08 descending, 0x40 unique, 0x10 always), 9 key type, 11 0x1B, 12 key length,
// 14 most keys per node, 16 secondary type (1 for dates), 18 item length
// (= key length + 4 rounded up to 4), 20 change counter, 23 unique (1), 24 key expression
// (NUL-terminated, at most 220), 245 FOR clause present, 246 tag has keys, 248 first
// leaf page, 252 last leaf page, 257 date, 476-509 the key length, 01, the field name and
// 'A' when the key is one field, 762 FOR expression.
//
// Node block: 0 item count n, 4 (ignored, 0), then n items of `item length` bytes: a
// 4-byte pointer (the record number in a leaf, a child page in a branch) and the key.
// In a branch the word after the last item is the page of the last child, and a non-zero
// word there is what tells a branch from a leaf. Key i of a branch is the greatest key in
// the subtree of child i; the last child holds everything greater. All leaves are at the
// same depth; leaves are not chained.
//
// Tag order: keys in ascending value order (reversed in descending tags), equal keys in
// ascending record order (files of other programs may hold equal keys in another record
// order; readers here never depend on it). A unique tag holds each key value once: a
// record whose key is already there gets no entry (the first record wins).
//
// A tag keeps no nodes between operations: every operation reads what it walks, so
// changes made by other openings of the file are seen. A caller that keeps a path (a
// cursor's place in the order) has it checked by Revalidate before going on from it.
//
// Changes survive a crash at any point: each takes effect through the write of one block
// (the leaf, the first ancestor with room, or the tag header for a new root), and every
// block written before that one is new and linked by nothing yet; blocks a change no
// longer links go on the free list only after it took effect.
//
// Every walk is bounded, whatever the file holds: a descent stops at 32 levels and at a
// page that lies below itself, a step passes each empty leaf once, and a walk over many
// steps is watched by an MdxWalkCheck. What breaks these rules is refused with Damaged().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "storage/engine/index/index_status.h"
#include "storage/engine/index/mdx_file.h"

namespace snyltdyr::engine {

struct MdxNode {
  uint32_t page = 0;
  bool leaf = true;
  std::vector<std::string> keys;
  std::vector<uint32_t> ptrs;
  uint32_t extra = 0;  // branch: the last child
  size_t size() const { return keys.size(); }
  uint32_t child(size_t i) const { return i < keys.size() ? ptrs[i] : extra; }
};

// A place in the tree: the nodes from the root down to a leaf, with the child (or item)
// chosen in each. The last frame's index may equal its item count: just after the leaf.
struct MdxFrame {
  MdxNode node;
  size_t idx = 0;
};
using MdxPath = std::vector<MdxFrame>;

// What a new tag is made of.
struct MdxTagLayout {
  std::string name;
  std::string expression;
  char key_type = 'C';
  uint16_t key_length = 0;
  bool descending = false;
  bool unique = false;
  std::string for_expression;  // empty: every record has its key
  std::string single_field;  // the field's name when the key is one field
};

struct MdxEntry {
  std::string key;
  uint32_t recno = 0;
};

class MdxTag {
 public:
  static IndexStatus Load(MdxFile& file, const MdxTagEntry& entry, std::unique_ptr<MdxTag>& out);
  // Writes a new tag holding `entries` (any order; sorted once here) and adds it to the
  // file's tag table. The caller holds the index lock.
  static IndexStatus Create(MdxFile& file, const MdxTagLayout& tag_def, std::vector<MdxEntry> entries,
                            std::unique_ptr<MdxTag>& out);

  const std::string& name() const { return entry_.name; }
  uint32_t header_page() const { return entry_.header_page; }
  char key_type() const { return key_type_; }
  uint16_t key_length() const { return key_length_; }
  bool descending() const { return (flags_ & 0x08) != 0; }
  bool unique() const { return (flags_ & 0x40) != 0 || unique_byte_ != 0; }
  const std::string& expression() const { return expression_; }
  bool has_for() const { return has_for_; }
  const std::string& for_expression() const { return for_expression_; }
  uint32_t root() const { return root_; }
  // What changes with every change of the tag: its counter (byte 20), root and size.
  // Equal stamps mean an unchanged tree (short of 256 changes in between).
  uint64_t stamp() const { return StampOf(static_cast<uint8_t>(header_[20]), root_, pages_); }
  // The stamp the tag header in the file holds now, read without the rest of the header.
  IndexStatus PeekStamp(uint64_t& stamp) const;
  uint32_t read_max() const { return read_max_; }
  MdxFile& file() const { return *file_; }

  // Reads the tag header again (after the index lock was taken).
  IndexStatus Reload();

  // Keys in tag order: -1, 0, 1.
  int CompareKeys(const std::string& a, const std::string& b) const;
  // Positions (key, record number) in tag order.
  int ComparePos(const std::string& ka, uint32_t ra, const std::string& kb, uint32_t rb) const;

  // Walking. `found` is false when there is no such entry.
  IndexStatus First(MdxPath& path, bool& found) const;
  IndexStatus Last(MdxPath& path, bool& found) const;
  // The first entry at or after (key, recno); with `strict`, the first after it.
  IndexStatus Seek(const std::string& key, uint32_t recno, bool strict, MdxPath& path,
                   bool& found) const;
  // The entry (key, recno) itself, searching all equal keys.
  IndexStatus FindExact(const std::string& key, uint32_t recno, MdxPath& path, bool& found) const;
  // The entry after / before the one the path stands on.
  IndexStatus Step(MdxPath& path, bool forward, bool& found) const;
  // Checks that a path still leads to (key, recno): when the tag's stamp is still
  // `stamp` only the leaf is read again, else every node of the path.
  IndexStatus Revalidate(MdxPath& path, const std::string& key, uint32_t recno, uint64_t stamp,
                         bool& ok);
  static const std::string& KeyAt(const MdxPath& p) { return p.back().node.keys[p.back().idx]; }
  static uint32_t RecnoAt(const MdxPath& p) { return p.back().node.ptrs[p.back().idx]; }

  // Changes; the caller holds the index lock and has reloaded the file and tag headers.
  // Insert leaves a unique tag unchanged when the key is already there (`inserted` false).
  IndexStatus Insert(const std::string& key, uint32_t recno, bool* inserted = nullptr);
  // Inserts `entries`, sorted in tag order, into a tag that is not unique (mdx_tag_run.cpp):
  // entries that fall between two items of one leaf go into it together, with one write
  // of the leaf, the others one by one as Insert puts them. Every write is one of
  // Insert's, so a crash leaves the tag with some of the entries, sound.
  IndexStatus InsertSorted(const std::vector<MdxEntry>& entries);
  // Removes (key, recno); `found` is false when the tag has no such entry.
  IndexStatus Remove(const std::string& key, uint32_t recno, bool& found);

  // Reads one node with its checks (page in range, item count, child pages).
  IndexStatus ReadNode(uint32_t page, MdxNode& node) const;
  // The number of entries, from the branches and the item count of each leaf (a cheap
  // look: the keys of the leaves are not read).
  IndexStatus CountEntries(uint64_t& count) const;

  // The damaged-index refusal: the file, the tag and `why`.
  IndexStatus Damaged(const std::string& why) const;

 private:
  MdxTag() = default;
  static uint64_t StampOf(uint8_t counter, uint32_t root, uint32_t pages) {
    return (static_cast<uint64_t>(counter) << 56) ^ (static_cast<uint64_t>(root) << 24) ^ pages;
  }
  IndexStatus ParseHeader(const std::string& block);
  IndexStatus WriteNode(const MdxNode& node);
  IndexStatus WriteTagHeader();
  IndexStatus Descend(const std::string& key, uint32_t recno, bool strict, MdxPath& path) const;
  IndexStatus DescendEdge(uint32_t page, bool leftmost, MdxPath& path) const;
  IndexStatus Normalize(MdxPath& path, bool& found) const;
  // The raw place of (key, recno): its leaf index may equal the leaf's item count.
  IndexStatus SeekPlace(const std::string& key, uint32_t recno, bool strict, MdxPath& path) const;
  IndexStatus SplitPath(MdxPath& path);
  IndexStatus UnlinkEmptyLeaf(MdxPath& path);
  IndexStatus FixSeparator(MdxPath& path, size_t level, const std::string& key);
  IndexStatus FixEdgeLeaves();
  IndexStatus NewNode(MdxNode& node);
  // Puts blocks no node links any more on the free list, then writes the file header.
  IndexStatus FreeNodes(const std::vector<uint32_t>& pages);
  uint32_t write_max() const { return write_max_; }

  MdxFile* file_ = nullptr;
  MdxTagEntry entry_;
  std::string header_;  // the tag header block as read, patched on write
  uint32_t root_ = 0;
  uint32_t pages_ = 0;
  uint8_t flags_ = 0x10;
  char key_type_ = 'C';
  uint16_t key_length_ = 0;
  uint16_t item_length_ = 0;
  uint32_t read_max_ = 0;
  uint32_t write_max_ = 0;
  uint8_t unique_byte_ = 0;
  std::string expression_;
  bool has_for_ = false;
  std::string for_expression_;
  uint32_t first_leaf_ = 0;
  uint32_t last_leaf_ = 0;
};

// Watches one walk over a tag, place by place, in one direction. In a sound tree such a
// walk enters each leaf once and never meets a key that goes back in tag order; a walk
// that enters a leaf again (a child pointer aimed at a subtree already walked, a cycle)
// or, in a numeric or date tag, meets a smaller key is refused as damage. Character keys
// are not compared: another program may have sorted them by another collation.
class MdxWalkCheck {
 public:
  // Forgets the walk: the next place starts a new one.
  void Restart();
  // The tree changed between two places (another writer): leaves may have moved, so only
  // the key order is kept watching.
  void TreeChanged();
  // Checks the place `path` stands on (an entry), the next one the walk gives.
  IndexStatus Check(const MdxTag& tag, const MdxPath& path, bool forward);

 private:
  bool started_ = false;
  bool forward_ = true;
  uint32_t leaf_ = 0;
  size_t idx_ = 0;  // the place in leaf_ last given
  std::string key_;
  std::unordered_set<uint32_t> leaves_;
};

}  // namespace snyltdyr::engine
