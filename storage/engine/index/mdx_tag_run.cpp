// Many new entries of a tag at once, in tag order: a leaf written once for all the
// entries that fall inside it, instead of once for each.
#include "storage/engine/index/mdx_tag.h"

namespace snyltdyr::engine {

IndexStatus MdxTag::InsertSorted(const std::vector<MdxEntry>& entries) {
  if (unique()) return Damaged("a run of entries for a unique tag");
  std::string key;
  auto padded = [&](const std::string& k) {
    key = k;
    key.resize(key_length_, key_type_ == 'C' ? ' ' : '\0');
    return key;
  };
  for (size_t i = 0; i < entries.size();) {
    MdxPath path;
    if (IndexStatus s = SeekPlace(padded(entries[i].key), entries[i].recno, true, path); !s) return s;
    MdxNode& leaf = path.back().node;
    size_t at = path.back().idx;
    // Only strictly between two items of the leaf is an entry sure to belong there with no
    // separator above it changing; a full leaf splits. Those go one by one.
    if (at == 0 || at >= leaf.size() || leaf.size() >= write_max()) {
      if (IndexStatus s = Insert(entries[i].key, entries[i].recno); !s) return s;
      ++i;
      continue;
    }
    while (i < entries.size() && leaf.size() < write_max()) {
      const uint32_t recno = entries[i].recno;
      padded(entries[i].key);
      // An entry out of order goes one by one rather than into a wrong place.
      if (ComparePos(leaf.keys[at - 1], leaf.ptrs[at - 1], key, recno) >= 0) break;
      while (at < leaf.size() && ComparePos(leaf.keys[at], leaf.ptrs[at], key, recno) < 0) ++at;
      if (at >= leaf.size()) break;
      leaf.keys.insert(leaf.keys.begin() + static_cast<long>(at), key);
      leaf.ptrs.insert(leaf.ptrs.begin() + static_cast<long>(at), recno);
      ++at;
      ++i;
    }
    if (IndexStatus s = WriteNode(leaf); !s) return s;
    if (IndexStatus s = WriteTagHeader(); !s) return s;
  }
  return IndexStatus::Ok();
}

}  // namespace snyltdyr::engine
