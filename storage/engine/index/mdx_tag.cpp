#include "storage/engine/index/mdx_tag.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>
#include <unordered_set>

#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {
namespace {

constexpr size_t kMaxDepth = 32;
constexpr size_t kExpressionOffset = 24;
constexpr size_t kExpressionMax = 220;
constexpr size_t kForOffset = 762;

uint16_t ItemLength(uint16_t key_length) {
  return static_cast<uint16_t>((key_length + 4 + 3) / 4 * 4);
}

bool OnPath(const MdxPath& path, uint32_t page) {
  for (const MdxFrame& f : path)
    if (f.node.page == page) return true;
  return false;
}

std::string CString(const std::string& block, size_t off, size_t max) {
  if (off >= block.size()) return {};
  const size_t n = strnlen(block.data() + off, std::min(max, block.size() - off));
  return block.substr(off, n);
}

}  // namespace

// ---- Header ---------------------------------------------------------------------------

IndexStatus MdxTag::Load(MdxFile& file, const MdxTagEntry& entry, std::unique_ptr<MdxTag>& out) {
  std::unique_ptr<MdxTag> t(new MdxTag());
  t->file_ = &file;
  t->entry_ = entry;
  IndexStatus s = t->Reload();
  if (!s) return s;
  out = std::move(t);
  return IndexStatus::Ok();
}

IndexStatus MdxTag::Reload() {
  std::string block;
  IndexStatus s = file_->ReadBlock(entry_.header_page, block);
  if (!s) return IndexStatus::Error("tag " + entry_.name + ": " + s.message());
  return ParseHeader(block);
}

IndexStatus MdxTag::PeekStamp(uint64_t& stamp) const {
  std::string head;
  IndexStatus s = file_->ReadBlockStart(entry_.header_page, 24, head);
  if (!s) return IndexStatus::Error("tag " + entry_.name + ": " + s.message());
  stamp = StampOf(static_cast<uint8_t>(head[20]), GetU32(head, 0), GetU32(head, 4));
  return IndexStatus::Ok();
}

IndexStatus MdxTag::ParseHeader(const std::string& block) {
  auto bad = [&](const std::string& why) {
    return IndexStatus::Error(file_->path() + ": tag " + entry_.name + ": " + why);
  };
  const uint32_t root = GetU32(block, 0);
  const char type = block[9];
  const uint16_t key_length = GetU16(block, 12);
  const uint16_t max_keys = GetU16(block, 14);
  const uint16_t secondary = GetU16(block, 16);
  const uint16_t item_length = GetU16(block, 18);
  if (type != 'C' && type != 'N' && type != 'D') return bad("unknown key type");
  if (type != entry_.key_type) return bad("key type differs from the tag table");
  if ((type == 'N' && key_length != kNumericKeyLength) ||
      (type == 'D' && key_length != kDateKeyLength) ||
      (type == 'C' && (key_length < 1 || key_length > kMaxCharacterKeyLength)))
    return bad("impossible key length " + std::to_string(key_length));
  if (item_length != ItemLength(key_length)) return bad("item length does not fit the key");
  const uint32_t fit = (file_->block_bytes() - 12) / item_length;
  if (max_keys < 2 || max_keys > fit) return bad("impossible number of keys per node");
  if (secondary != (type == 'D' ? 1 : 0)) return bad("secondary key type does not fit");
  if (!file_->PageInRange(root))
    return bad("root page out of range");
  for (const MdxTagEntry& e : file_->tags())
    if (e.header_page == root) return bad("root page is a tag header");

  header_ = block;
  root_ = root;
  pages_ = GetU32(block, 4);
  flags_ = static_cast<uint8_t>(block[8]);
  key_type_ = type;
  key_length_ = key_length;
  item_length_ = item_length;
  read_max_ = max_keys;
  write_max_ = std::min<uint32_t>(max_keys, (file_->block_bytes() - 16) / item_length);
  if (write_max_ < 2) write_max_ = 2;
  unique_byte_ = static_cast<uint8_t>(block[23]);
  expression_ = CString(block, kExpressionOffset, kExpressionMax);
  has_for_ = block[245] != 0;
  for_expression_ = has_for_ ? CString(block, kForOffset, kExpressionMax) : std::string();
  first_leaf_ = GetU32(block, 248);
  last_leaf_ = GetU32(block, 252);
  return IndexStatus::Ok();
}

IndexStatus MdxTag::WriteTagHeader() {
  PutU32(header_, 0, root_);
  PutU32(header_, 4, pages_);
  header_[20] = static_cast<char>(static_cast<uint8_t>(header_[20]) + 1);  // change counter
  header_[246] = 1;
  PutU32(header_, 248, first_leaf_);
  PutU32(header_, 252, last_leaf_);
  return file_->WriteBlock(entry_.header_page, header_);
}

int MdxTag::CompareKeys(const std::string& a, const std::string& b) const {
  const int c = engine::CompareKeys(key_type_, a, b);
  return descending() ? -c : c;
}

int MdxTag::ComparePos(const std::string& ka, uint32_t ra, const std::string& kb,
                       uint32_t rb) const {
  const int c = CompareKeys(ka, kb);
  if (c != 0) return c;
  return (ra > rb) - (ra < rb);
}

// ---- Nodes ----------------------------------------------------------------------------

IndexStatus MdxTag::ReadNode(uint32_t page, MdxNode& node) const {
  std::string block;
  IndexStatus s = file_->ReadBlock(page, block);
  if (!s) return s;
  const uint32_t n = GetU32(block, 0);
  if (n > read_max_)
    return IndexStatus::Error(file_->path() + ": tag " + entry_.name + ": node at page " +
                              std::to_string(page) + " claims " + std::to_string(n) + " keys");
  node.page = page;
  node.keys.resize(n);
  node.ptrs.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t off = 8 + static_cast<size_t>(i) * item_length_;
    node.ptrs[i] = GetU32(block, off);
    node.keys[i].assign(block, off + 4, key_length_);
  }
  node.extra = GetU32(block, 8 + static_cast<size_t>(n) * item_length_);
  node.leaf = node.extra == 0;
  if (!node.leaf) {
    for (size_t i = 0; i <= n; ++i) {
      const uint32_t c = node.child(i);
      if (!file_->PageInRange(c))
        return IndexStatus::Error(file_->path() + ": tag " + entry_.name + ": node at page " +
                                  std::to_string(page) + " points outside the file");
    }
  }
  return IndexStatus::Ok();
}

IndexStatus MdxTag::WriteNode(const MdxNode& node) {
  std::string block(file_->block_bytes(), '\0');
  const size_t n = node.size();
  PutU32(block, 0, static_cast<uint32_t>(n));
  for (size_t i = 0; i < n; ++i) {
    const size_t off = 8 + i * item_length_;
    PutU32(block, off, node.ptrs[i]);
    std::memcpy(block.data() + off + 4, node.keys[i].data(),
                std::min<size_t>(node.keys[i].size(), key_length_));
  }
  if (!node.leaf) PutU32(block, 8 + n * item_length_, node.extra);
  return file_->WriteBlock(node.page, block);
}

IndexStatus MdxTag::NewNode(MdxNode& node) {
  IndexStatus s = file_->AllocateBlock(node.page);
  if (s) pages_ += file_->block_pages();
  return s;
}

IndexStatus MdxTag::FreeNodes(const std::vector<uint32_t>& pages) {
  for (uint32_t page : pages) {
    pages_ -= std::min(pages_, file_->block_pages());
    if (IndexStatus s = file_->ReleaseBlock(page); !s) return s;
  }
  return pages.empty() ? IndexStatus::Ok() : file_->WriteHeader();
}

// ---- Walking --------------------------------------------------------------------------

// Goes down to the leaf where (key, recno) belongs. A separator holds only a key, so when
// several children end with the searched key (a long run of equal keys), the child is
// found by a binary search over the last entries of those children: equal keys stand in
// record order, so "the child's last entry is not before the target" flips once.
IndexStatus MdxTag::Descend(const std::string& key, uint32_t recno, bool strict,
                            MdxPath& path) const {
  path.clear();
  auto not_before = [&](const std::string& k, uint32_t r) {
    const int c = ComparePos(k, r, key, recno);
    return strict ? c > 0 : c >= 0;
  };
  uint32_t page = root_;
  while (path.size() < kMaxDepth) {
    if (OnPath(path, page)) return Damaged("page " + std::to_string(page) + " lies below itself");
    MdxFrame f;
    IndexStatus s = ReadNode(page, f.node);
    if (!s) return s;
    if (f.node.leaf) {
      path.push_back(std::move(f));
      return IndexStatus::Ok();
    }
    const size_t n = f.node.size();
    size_t lo = 0;
    while (lo < n && CompareKeys(f.node.keys[lo], key) < 0) ++lo;
    size_t hi = lo;
    while (hi < n && CompareKeys(f.node.keys[hi], key) == 0) ++hi;
    // Children lo..hi-1 end with the key itself; child hi ends beyond it (or is the last).
    auto last_not_before = [&](size_t child, bool& result) -> IndexStatus {
      MdxPath edge;
      IndexStatus st = DescendEdge(f.node.child(child), false, edge);
      if (!st) return st;
      const MdxFrame& leaf = edge.back();
      result = leaf.node.size() == 0 ||
               not_before(leaf.node.keys[leaf.idx], leaf.node.ptrs[leaf.idx]);
      return IndexStatus::Ok();
    };
    size_t pick = lo;
    if (hi > lo && !(recno == 0 && !strict)) {
      bool ok = false;
      if (s = last_not_before(lo, ok); !s) return s;
      if (!ok) {
        if (s = last_not_before(hi - 1, ok); !s) return s;
        if (!ok) {
          pick = hi;
        } else {  // the first child in (lo, hi-1] whose last entry is not before
          size_t a = lo, b = hi - 1;  // not_before(a) false, not_before(b) true
          while (b - a > 1) {
            const size_t mid = a + (b - a) / 2;
            if (s = last_not_before(mid, ok); !s) return s;
            (ok ? b : a) = mid;
          }
          pick = b;
        }
      }
    }
    f.idx = pick;
    page = f.node.child(pick);
    path.push_back(std::move(f));
  }
  return Damaged("it is deeper than " + std::to_string(kMaxDepth) + " levels");
}

IndexStatus MdxTag::DescendEdge(uint32_t page, bool leftmost, MdxPath& path) const {
  while (path.size() < kMaxDepth) {
    if (OnPath(path, page)) return Damaged("page " + std::to_string(page) + " lies below itself");
    MdxFrame f;
    IndexStatus s = ReadNode(page, f.node);
    if (!s) return s;
    const size_t n = f.node.size();
    if (f.node.leaf) {
      f.idx = leftmost || n == 0 ? 0 : n - 1;
      path.push_back(std::move(f));
      return IndexStatus::Ok();
    }
    f.idx = leftmost ? 0 : n;
    page = f.node.child(f.idx);
    path.push_back(std::move(f));
  }
  return Damaged("it is deeper than " + std::to_string(kMaxDepth) + " levels");
}

IndexStatus MdxTag::Damaged(const std::string& why) const {
  return IndexStatus::Error(file_->path() + ": tag " + entry_.name + " is damaged (" + why + ")");
}

IndexStatus MdxTag::Step(MdxPath& path, bool forward, bool& found) const {
  found = false;
  if (path.empty()) return IndexStatus::Ok();
  MdxFrame& leaf = path.back();
  if (forward && leaf.idx + 1 < leaf.node.size()) {
    ++leaf.idx;
    found = true;
    return IndexStatus::Ok();
  }
  if (!forward && leaf.idx > 0 && leaf.idx <= leaf.node.size()) {
    --leaf.idx;
    found = true;
    return IndexStatus::Ok();
  }
  // On to the next leaf, over empty ones. A loop, not a call per empty leaf, and each
  // leaf passed once: a tree whose pointers lead back to an empty leaf is damaged.
  std::unordered_set<uint32_t> passed;
  MdxPath walked = path;
  for (;;) {
    size_t level = walked.size() - 1;
    while (level > 0 && !(forward ? walked[level - 1].idx < walked[level - 1].node.size()
                                  : walked[level - 1].idx > 0))
      --level;
    if (level == 0) return IndexStatus::Ok();  // no entry on this side
    MdxFrame& parent = walked[level - 1];
    forward ? ++parent.idx : --parent.idx;
    walked.resize(level);
    IndexStatus s = DescendEdge(parent.node.child(parent.idx), forward, walked);
    if (!s) return s;
    if (walked.back().node.size() > 0) break;
    if (!passed.insert(walked.back().node.page).second)
      return Damaged("the empty leaf at page " + std::to_string(walked.back().node.page) +
                     " is reached twice");
  }
  path = std::move(walked);
  found = true;
  return IndexStatus::Ok();
}

IndexStatus MdxTag::First(MdxPath& path, bool& found) const {
  path.clear();
  IndexStatus s = DescendEdge(root_, true, path);
  if (!s) return s;
  found = path.back().node.size() > 0;
  if (!found) return Step(path, true, found);
  return IndexStatus::Ok();
}

IndexStatus MdxTag::Last(MdxPath& path, bool& found) const {
  path.clear();
  IndexStatus s = DescendEdge(root_, false, path);
  if (!s) return s;
  found = path.back().node.size() > 0;
  if (!found) return Step(path, false, found);
  return IndexStatus::Ok();
}

IndexStatus MdxTag::Normalize(MdxPath& path, bool& found) const {
  MdxFrame& leaf = path.back();
  if (leaf.idx < leaf.node.size()) {
    found = true;
    return IndexStatus::Ok();
  }
  if (leaf.node.size() > 0) leaf.idx = leaf.node.size() - 1;
  return Step(path, true, found);
}

IndexStatus MdxTag::Seek(const std::string& key, uint32_t recno, bool strict, MdxPath& path,
                         bool& found) const {
  IndexStatus s = SeekPlace(key, recno, strict, path);
  if (!s) return s;
  found = path.back().idx < path.back().node.size();
  if (!found) {
    MdxPath walk = path;
    s = Normalize(walk, found);
    if (!s) return s;
    if (found) path = std::move(walk);
  }
  return IndexStatus::Ok();
}

IndexStatus MdxTag::SeekPlace(const std::string& key, uint32_t recno, bool strict,
                              MdxPath& path) const {
  IndexStatus s = Descend(key, recno, strict, path);
  if (!s) return s;
  auto before = [&](const MdxPath& p) {
    const MdxFrame& f = p.back();
    const int c = ComparePos(f.node.keys[f.idx], f.node.ptrs[f.idx], key, recno);
    return strict ? c <= 0 : c < 0;
  };
  auto scan = [&](MdxPath& p) {
    MdxFrame& f = p.back();
    f.idx = 0;
    while (f.idx < f.node.size() && before(p)) ++f.idx;
  };
  scan(path);
  // Equal keys may run on into the following leaves with record numbers still below
  // the target: follow them, so that the place found keeps equal keys in record order.
  MdxWalkCheck walk;
  while (path.back().idx == path.back().node.size() && path.back().node.size() > 0) {
    MdxPath next = path;
    next.back().idx = next.back().node.size() - 1;
    if (s = walk.Check(*this, next, true); !s) return s;
    bool more = false;
    s = Step(next, true, more);
    if (!s) return s;
    if (!more || !before(next)) break;
    path = std::move(next);
    scan(path);
  }
  return IndexStatus::Ok();
}

IndexStatus MdxTag::FindExact(const std::string& key, uint32_t recno, MdxPath& path,
                              bool& found) const {
  IndexStatus s = Seek(key, recno, false, path, found);
  if (!s) return s;
  if (found && RecnoAt(path) == recno && CompareKeys(KeyAt(path), key) == 0) return s;
  // Another program may have kept equal keys in another record order: scan them all.
  s = Seek(key, 0, false, path, found);
  MdxWalkCheck walk;
  while (s && found && CompareKeys(KeyAt(path), key) == 0) {
    if (RecnoAt(path) == recno) return s;
    s = walk.Check(*this, path, true);
    if (s) s = Step(path, true, found);
  }
  found = false;
  return s;
}

IndexStatus MdxTag::Revalidate(MdxPath& path, const std::string& key, uint32_t recno,
                               uint64_t stamp, bool& ok) {
  ok = false;
  if (path.empty()) return IndexStatus::Ok();
  IndexStatus s = Reload();  // the root may have moved
  if (!s) return s;
  const size_t first = stamp == this->stamp() ? path.size() - 1 : 0;
  for (size_t level = first; level < path.size(); ++level) {
    const uint32_t page = level == 0 ? root_ : path[level - 1].node.child(path[level - 1].idx);
    if (page != path[level].node.page) return IndexStatus::Ok();
    s = ReadNode(page, path[level].node);
    if (!s) return s;
    const bool last = level + 1 == path.size();
    if (path[level].node.leaf != last) return IndexStatus::Ok();
    if (path[level].idx > path[level].node.size() || (last && path[level].idx == path[level].node.size()))
      return IndexStatus::Ok();
  }
  ok = RecnoAt(path) == recno && KeyAt(path) == key;
  return IndexStatus::Ok();
}

// ---- Changes --------------------------------------------------------------------------

IndexStatus MdxTag::Insert(const std::string& key_in, uint32_t recno, bool* inserted) {
  if (inserted) *inserted = false;
  std::string key = key_in;
  key.resize(key_length_, key_type_ == 'C' ? ' ' : '\0');
  MdxPath path;
  bool found = false;
  IndexStatus s;
  if (unique()) {
    s = Seek(key, 0, false, path, found);
    if (!s) return s;
    if (found && CompareKeys(KeyAt(path), key) == 0) return IndexStatus::Ok();
  }
  // The place may be just after a leaf's last item: that leaf lies under a separator
  // that covers the key, so no separator changes unless a node splits.
  s = SeekPlace(key, recno, true, path);
  if (!s) return s;
  MdxFrame& leaf = path.back();
  leaf.node.keys.insert(leaf.node.keys.begin() + static_cast<long>(leaf.idx), key);
  leaf.node.ptrs.insert(leaf.node.ptrs.begin() + static_cast<long>(leaf.idx), recno);
  if (leaf.node.size() > write_max()) {
    s = SplitPath(path);
  } else {
    s = WriteNode(leaf.node);  // one block: the key is in or it is not
    if (s) s = WriteTagHeader();
  }
  if (s && inserted) *inserted = true;
  return s;
}

// The leaf of `path` holds one item too many. It splits, and so does every ancestor that
// overflows in turn, by copying: the halves of a splitting node go into new blocks and
// the node itself stays as it was until the one write that links the new blocks in (the
// first ancestor with room, or the tag header when the root splits). A crash at any
// point leaves the old tree or the new one, and blocks nobody uses, which the file
// header's page count (written before anything links them) covers.
IndexStatus MdxTag::SplitPath(MdxPath& path) {
  const size_t leaf_level = path.size() - 1;
  size_t top = leaf_level;  // the highest level that splits
  while (top > 0 && path[top - 1].node.size() + 1 > write_max()) --top;
  // Appending after the tag's last key (dates of new records, growing numbers) leaves
  // the old leaf as it was, full, and starts a new one: the tag stays compact, and the
  // old leaf need not be copied since it does not change.
  const MdxFrame& leaf = path.back();
  const bool appended = leaf.idx + 1 == leaf.node.size() && leaf.node.page == last_leaf_;
  const size_t blocks = 2 * (leaf_level - top + 1) + (top == 0 ? 1 : 0) - (appended ? 1 : 0);
  std::vector<MdxNode> made(blocks);
  for (MdxNode& n : made)
    if (IndexStatus s = NewNode(n); !s) return s;
  if (IndexStatus s = file_->WriteHeader(); !s) return s;

  std::vector<uint32_t> replaced;
  std::string separator;
  uint32_t left_page = 0, right_page = 0;
  size_t next_block = 0;
  for (size_t level = leaf_level;; --level) {
    MdxNode& a = path[level].node;
    if (level < leaf_level) {  // the child below split into left and right
      const size_t i = path[level].idx;
      a.keys.insert(a.keys.begin() + static_cast<long>(i), separator);
      a.ptrs.insert(a.ptrs.begin() + static_cast<long>(i), left_page);
      if (i + 1 < a.size()) {
        a.ptrs[i + 1] = right_page;
      } else {
        a.extra = right_page;
      }
    }
    if (level < top) {  // room here: this write links the new blocks in
      if (IndexStatus s = WriteNode(a); !s) return s;
      break;
    }
    const bool keep_left = a.leaf && appended;
    MdxNode kept;
    MdxNode& l = keep_left ? kept : made[next_block++];
    MdxNode& r = made[next_block++];
    if (keep_left) l.page = a.page;
    l.leaf = r.leaf = a.leaf;
    const size_t c = a.size();
    if (a.leaf) {
      const size_t k = appended ? c - 1 : (c + 1) / 2;
      l.keys.assign(a.keys.begin(), a.keys.begin() + static_cast<long>(k));
      l.ptrs.assign(a.ptrs.begin(), a.ptrs.begin() + static_cast<long>(k));
      r.keys.assign(a.keys.begin() + static_cast<long>(k), a.keys.end());
      r.ptrs.assign(a.ptrs.begin() + static_cast<long>(k), a.ptrs.end());
      separator = l.keys.back();
      if (first_leaf_ == a.page) first_leaf_ = l.page;
      if (last_leaf_ == a.page) last_leaf_ = r.page;
    } else {
      const size_t k = c / 2;
      separator = a.keys[k];
      l.keys.assign(a.keys.begin(), a.keys.begin() + static_cast<long>(k));
      l.ptrs.assign(a.ptrs.begin(), a.ptrs.begin() + static_cast<long>(k));
      l.extra = a.ptrs[k];
      r.keys.assign(a.keys.begin() + static_cast<long>(k) + 1, a.keys.end());
      r.ptrs.assign(a.ptrs.begin() + static_cast<long>(k) + 1, a.ptrs.end());
      r.extra = a.extra;
    }
    if (!keep_left)
      if (IndexStatus s = WriteNode(l); !s) return s;
    if (IndexStatus s = WriteNode(r); !s) return s;
    if (!keep_left) replaced.push_back(a.page);
    left_page = l.page;
    right_page = r.page;
    if (level == 0) {  // a new root over the two halves; the tag header links it in
      MdxNode& root = made[next_block++];
      root.leaf = false;
      root.keys = {separator};
      root.ptrs = {left_page};
      root.extra = right_page;
      if (IndexStatus s = WriteNode(root); !s) return s;
      root_ = root.page;
      break;
    }
  }
  if (IndexStatus s = WriteTagHeader(); !s) return s;
  return FreeNodes(replaced);
}

IndexStatus MdxTag::Remove(const std::string& key_in, uint32_t recno, bool& found) {
  std::string key = key_in;
  key.resize(key_length_, key_type_ == 'C' ? ' ' : '\0');
  MdxPath path;
  IndexStatus s = FindExact(key, recno, path, found);
  if (!s || !found) return s;
  MdxFrame& leaf = path.back();
  const bool was_last = leaf.idx + 1 == leaf.node.size();
  leaf.node.keys.erase(leaf.node.keys.begin() + static_cast<long>(leaf.idx));
  leaf.node.ptrs.erase(leaf.node.ptrs.begin() + static_cast<long>(leaf.idx));
  if (leaf.node.size() == 0 && path.size() > 1) return UnlinkEmptyLeaf(path);
  s = WriteNode(leaf.node);  // one block: the key is out or it is not
  // A separator greater than its subtree needs is still a sound tree; keeping it exact
  // helps other programs' checks.
  if (s && was_last && leaf.node.size() > 0)
    s = FixSeparator(path, path.size() - 1, leaf.node.keys.back());
  if (s) s = WriteTagHeader();
  return s;
}

// The leaf of `path` is empty: one write takes it (and every ancestor it leaves without
// children) out of the tree, then the blocks are released. Released blocks are never
// linked anywhere when they go on the free list.
IndexStatus MdxTag::UnlinkEmptyLeaf(MdxPath& path) {
  std::vector<uint32_t> gone{path.back().node.page};
  size_t level = path.size() - 1;
  while (level > 0 && path[level - 1].node.size() == 0) {  // its only child is going
    --level;
    gone.push_back(path[level].node.page);
  }
  IndexStatus s;
  if (level == 0) {  // nothing is left: the root becomes an empty leaf
    gone.pop_back();
    MdxNode& root = path[0].node;
    root.leaf = true;
    root.keys.clear();
    root.ptrs.clear();
    root.extra = 0;
    s = WriteNode(root);
  } else {
    MdxFrame& p = path[level - 1];
    const size_t i = p.idx;
    std::string new_greatest;
    if (i < p.node.size()) {
      p.node.keys.erase(p.node.keys.begin() + static_cast<long>(i));
      p.node.ptrs.erase(p.node.ptrs.begin() + static_cast<long>(i));
    } else {  // the last child goes: the one before it takes its place
      p.node.extra = p.node.ptrs.back();
      new_greatest = p.node.keys.back();
      p.node.keys.pop_back();
      p.node.ptrs.pop_back();
    }
    if (level - 1 == 0 && p.node.size() == 0) {  // a root with one child gives way to it
      root_ = p.node.extra;
      gone.push_back(p.node.page);
    } else {
      s = WriteNode(p.node);
      if (s && !new_greatest.empty()) s = FixSeparator(path, level - 1, new_greatest);
    }
  }
  if (s) s = FixEdgeLeaves();
  if (s) s = WriteTagHeader();  // links the new root in when the root gave way
  if (s) s = FreeNodes(gone);
  return s;
}

// The greatest key under path[level] became `key`: correct the separator that covers it.
IndexStatus MdxTag::FixSeparator(MdxPath& path, size_t level, const std::string& key) {
  for (size_t lv = level; lv > 0; --lv) {
    MdxFrame& p = path[lv - 1];
    if (p.idx < p.node.size()) {
      p.node.keys[p.idx] = key;
      return WriteNode(p.node);
    }
  }
  return IndexStatus::Ok();
}

IndexStatus MdxTag::FixEdgeLeaves() {
  MdxPath p;
  IndexStatus s = DescendEdge(root_, true, p);
  if (!s) return s;
  first_leaf_ = p.back().node.page;
  p.clear();
  s = DescendEdge(root_, false, p);
  if (!s) return s;
  last_leaf_ = p.back().node.page;
  return IndexStatus::Ok();
}

IndexStatus MdxTag::CountEntries(uint64_t& count) const {
  count = 0;
  MdxPath edge;  // all leaves are as deep as the first
  IndexStatus s = DescendEdge(root_, true, edge);
  if (!s) return s;
  const size_t leaf_level = edge.size() - 1;
  if (leaf_level == 0) {
    count = edge.back().node.size();
    return IndexStatus::Ok();
  }
  auto bad = [&](uint32_t page, const std::string& what) {
    return IndexStatus::Error(file_->path() + ": tag " + entry_.name + ": node at page " +
                              std::to_string(page) + " " + what);
  };
  // The branches, level by level; then the leaves, whose item counts are read in runs of
  // neighbouring blocks (a tag built in one go has its leaves side by side), so that a
  // tag of a million keys costs a few dozen reads.
  std::vector<uint32_t> level{root_}, leaves;
  std::set<uint32_t> seen;
  for (size_t depth = 0; depth < leaf_level; ++depth) {
    std::vector<uint32_t> below;
    for (uint32_t page : level) {
      MdxNode node;
      if (!seen.insert(page).second) return bad(page, "is linked twice");
      if (s = ReadNode(page, node); !s) return s;
      if (node.leaf) return bad(page, "is a leaf above the depth of the first leaf");
      for (size_t i = 0; i <= node.size(); ++i) below.push_back(node.child(i));
    }
    level = std::move(below);
  }
  leaves = std::move(level);
  std::sort(leaves.begin(), leaves.end());
  const uint32_t bp = file_->block_pages();
  constexpr uint32_t kRunPages = 1024;  // 512 KB read at a time
  std::string run;
  for (size_t i = 0; i < leaves.size();) {
    if (i > 0 && leaves[i] == leaves[i - 1]) return bad(leaves[i], "is linked twice");
    size_t j = i + 1;
    while (j < leaves.size() && leaves[j] == leaves[j - 1] + bp &&
           leaves[j] + bp - leaves[i] <= kRunPages)
      ++j;
    if (s = file_->ReadPages(leaves[i], leaves[j - 1] + bp - leaves[i], run); !s) return s;
    for (size_t k = i; k < j; ++k) {
      const uint32_t n = GetU32(run, static_cast<size_t>(leaves[k] - leaves[i]) * kMdxPageSize);
      if (n > read_max_) return bad(leaves[k], "claims " + std::to_string(n) + " keys");
      count += n;
    }
    i = j;
  }
  return IndexStatus::Ok();
}

// ---- A new tag --------------------------------------------------------------------------

IndexStatus MdxTag::Create(MdxFile& file, const MdxTagLayout& tag_def, std::vector<MdxEntry> entries,
                           std::unique_ptr<MdxTag>& out) {
  const uint16_t item = ItemLength(tag_def.key_length);
  std::unique_ptr<MdxTag> t(new MdxTag());
  t->file_ = &file;
  t->entry_ = {0, tag_def.name, tag_def.key_type};
  t->key_type_ = tag_def.key_type;
  t->key_length_ = tag_def.key_length;
  t->item_length_ = item;
  t->flags_ = static_cast<uint8_t>(0x10 | (tag_def.descending ? 0x08 : 0) | (tag_def.unique ? 0x40 : 0));
  t->unique_byte_ = tag_def.unique ? 1 : 0;
  t->write_max_ = (file.block_bytes() - 16) / item;
  t->read_max_ = (file.block_bytes() - 12) / item;
  if (t->write_max_ < 2) return IndexStatus::Error("the key is too long for the index blocks");

  for (MdxEntry& e : entries) e.key.resize(tag_def.key_length, tag_def.key_type == 'C' ? ' ' : '\0');
  const MdxTag& cmp = *t;
  std::stable_sort(entries.begin(), entries.end(), [&](const MdxEntry& a, const MdxEntry& b) {
    return cmp.ComparePos(a.key, a.recno, b.key, b.recno) < 0;
  });
  if (tag_def.unique) {  // the lowest record number of each key holds it
    auto last = std::unique(entries.begin(), entries.end(), [&](const MdxEntry& a, const MdxEntry& b) {
      return cmp.CompareKeys(a.key, b.key) == 0;
    });
    entries.erase(last, entries.end());
  }

  uint32_t header_page = 0;
  IndexStatus s = file.AllocateBlock(header_page);
  if (!s) return s;
  t->entry_.header_page = header_page;

  // Bottom-up: leaves filled evenly, then each branch level over the one below.
  struct Built { uint32_t page; std::string greatest; };
  std::vector<Built> level;
  const size_t per_leaf_max = t->write_max_;
  const size_t leaves = std::max<size_t>(1, (entries.size() + per_leaf_max - 1) / per_leaf_max);
  for (size_t li = 0, at = 0; li < leaves; ++li) {
    const size_t take = (entries.size() - at) / (leaves - li) +
                        ((entries.size() - at) % (leaves - li) != 0 ? 1 : 0);
    MdxNode node;
    s = t->NewNode(node);
    if (!s) return s;
    for (size_t k = 0; k < take; ++k, ++at) {
      node.keys.push_back(entries[at].key);
      node.ptrs.push_back(entries[at].recno);
    }
    s = t->WriteNode(node);
    if (!s) return s;
    level.push_back({node.page, node.keys.empty() ? std::string() : node.keys.back()});
  }
  t->first_leaf_ = level.front().page;
  t->last_leaf_ = level.back().page;
  while (level.size() > 1) {
    const size_t fan = per_leaf_max + 1;
    const size_t branches = (level.size() + fan - 1) / fan;
    std::vector<Built> up;
    for (size_t bi = 0, at = 0; bi < branches; ++bi) {
      const size_t take = (level.size() - at) / (branches - bi) +
                          ((level.size() - at) % (branches - bi) != 0 ? 1 : 0);
      MdxNode node;
      node.leaf = false;
      s = t->NewNode(node);
      if (!s) return s;
      for (size_t k = 0; k + 1 < take; ++k) {
        node.keys.push_back(level[at + k].greatest);
        node.ptrs.push_back(level[at + k].page);
      }
      node.extra = level[at + take - 1].page;
      s = t->WriteNode(node);
      if (!s) return s;
      up.push_back({node.page, level[at + take - 1].greatest});
      at += take;
    }
    level = std::move(up);
  }
  t->root_ = level.front().page;

  std::string h(file.block_bytes(), '\0');
  PutU32(h, 0, t->root_);
  PutU32(h, 4, t->pages_);
  h[8] = static_cast<char>(t->flags_);
  h[9] = tag_def.key_type;
  h[11] = 0x1B;
  PutU16(h, 12, tag_def.key_length);
  PutU16(h, 14, static_cast<uint16_t>(t->write_max_));
  PutU16(h, 16, tag_def.key_type == 'D' ? 1 : 0);
  PutU16(h, 18, item);
  h[20] = 1;
  h[23] = static_cast<char>(t->unique_byte_);
  const std::string expr = tag_def.expression.substr(0, kExpressionMax);
  std::memcpy(h.data() + kExpressionOffset, expr.data(), expr.size());
  if (!tag_def.for_expression.empty()) {
    const std::string cond = tag_def.for_expression.substr(0, kExpressionMax);
    h[245] = 1;
    std::memcpy(h.data() + kForOffset, cond.data(), cond.size());
  }
  h[246] = entries.empty() ? 0 : 1;
  PutU32(h, 248, t->first_leaf_);
  PutU32(h, 252, t->last_leaf_);
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  h[257] = static_cast<char>(tm.tm_year % 100);
  h[258] = static_cast<char>(tm.tm_mon + 1);
  h[259] = static_cast<char>(tm.tm_mday);
  if (!tag_def.single_field.empty()) {
    PutU32(h, 476, tag_def.key_length);
    h[480] = 1;
    const std::string f = tag_def.single_field.substr(0, 26);
    std::memcpy(h.data() + 482, f.data(), f.size());
    h[509] = 'A';
  }
  s = file.WriteBlock(header_page, h);
  if (!s) return s;
  s = file.AddTagEntry(t->entry_);
  if (!s) return s;
  return Load(file, t->entry_, out);
}

// ---- Watching a walk -----------------------------------------------------------------

void MdxWalkCheck::Restart() {
  started_ = false;
  leaves_.clear();
}

void MdxWalkCheck::TreeChanged() { leaves_.clear(); }

IndexStatus MdxWalkCheck::Check(const MdxTag& tag, const MdxPath& path, bool forward) {
  const MdxFrame& leaf = path.back();
  const std::string& key = leaf.node.keys[leaf.idx];
  if (!started_ || forward != forward_) {
    Restart();
    started_ = true;
    forward_ = forward;
  } else if (tag.key_type() != 'C') {
    const int c = tag.CompareKeys(key, key_);
    if (forward ? c < 0 : c > 0)
      return tag.Damaged("the keys at page " + std::to_string(leaf.node.page) + " are out of order");
  }
  // A step on within the leaf it stands in moves its place the walk's way; any other step
  // enters a leaf, also the same one again (a branch naming one child twice in a row).
  const bool onward = !leaves_.empty() && leaf.node.page == leaf_ &&
                      (forward ? leaf.idx > idx_ : leaf.idx < idx_);
  if (!onward) {
    if (!leaves_.insert(leaf.node.page).second)
      return tag.Damaged("the leaf at page " + std::to_string(leaf.node.page) + " is reached twice");
    leaf_ = leaf.node.page;
  }
  idx_ = leaf.idx;
  key_ = key;
  return IndexStatus::Ok();
}

}  // namespace snyltdyr::engine
