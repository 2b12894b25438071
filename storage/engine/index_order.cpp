#include "storage/engine/index_order.h"

#include <chrono>

#include "storage/engine/error_stack.h"

namespace snyltdyr::engine {
namespace {

class TagOrder : public RecordOrder {
 public:
  TagOrder(ProductionIndex& index, std::string tag) : index_(index), name_(std::move(tag)) {}

  Result First(OrderPos& pos) override { return Edge(true, pos); }
  Result Last(OrderPos& pos) override { return Edge(false, pos); }

  Result Next(const OrderPos& from, OrderPos& pos) override { return Move(from, true, pos); }
  Result Prior(const OrderPos& from, OrderPos& pos) override { return Move(from, false, pos); }

  Result PositionOf(const RecordView& record, uint32_t recno, OrderPos& pos) override {
    MdxTag* tag = nullptr;
    if (Result r = GetTag(tag)) return r;
    const ProductionIndex::Tag& t = *index_.Find(name_);
    if (Result r = Check(tag->Reload())) return r;  // another opening may have moved the root
    bool found = false;
    if (t.expr) {
      const auto key = ProductionIndex::KeyOf(t, record);
      if (!key) return kErrRecordNotFound;  // its FOR condition leaves it out
      if (Result r = Check(tag->FindExact(*key, recno, path_, found))) return r;
    } else {
      // A tag we cannot evaluate is still walked; find the record by looking.
      MdxWalkCheck look;
      if (Result r = Check(tag->First(path_, found))) return r;
      while (found && MdxTag::RecnoAt(path_) != recno) {
        if (Result r = Check(look.Check(*tag, path_, true))) return r;
        if (Result r = Check(tag->Step(path_, true, found))) return r;
      }
    }
    if (!found) {  // a unique tag whose key another record holds
      path_.clear();
      return kErrRecordNotFound;
    }
    walk_.Restart();
    return Give(pos, true);
  }

  int Compare(const OrderPos& a, const OrderPos& b) const override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx) return (a.recno > b.recno) - (a.recno < b.recno);
    return t->mdx->ComparePos(a.key, a.recno, b.key, b.recno);
  }

  void Reread() override { path_.clear(); }

  bool StillAt(const RecordView& record, uint32_t recno, const OrderPos& pos) override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx || !t->expr || pos.recno != recno) return false;
    std::optional<std::string> key = ProductionIndex::KeyOf(*t, record);
    if (!key) return false;
    // Stored keys are padded to the key length, as the tag writes them.
    key->resize(t->mdx->key_length(), t->mdx->key_type() == 'C' ? ' ' : '\0');
    return *key == pos.key;
  }

  // A FOR condition leaves records out, and a unique tag all but one of each key; an
  // index found out of step may miss records, and the count then follows the walk.
  bool HoldsEveryRecord() const override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    return t != nullptr && t->mdx && !t->mdx->has_for() && !t->mdx->unique() &&
           index_.write_refusal().empty();
  }

 private:
  Result GetTag(MdxTag*& tag) {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx) return Fail(kErrIndexNotFound, "Index tag " + name_ + ".");
    tag = t->mdx.get();
    return kOk;
  }

  static Result Check(const IndexStatus& s) {
    return s ? kOk : Fail(kErrDamagedIndex, s.message());
  }

  // Gives out the place path_ stands on, whose nodes were just read from the file.
  Result Give(OrderPos& pos, bool forward) {
    MdxTag* tag = nullptr;
    if (Result r = GetTag(tag)) return r;
    if (tag->stamp() != stamp_) walk_.TreeChanged();
    stamp_ = tag->stamp();
    generation_ = MdxFile::WriteGeneration();
    checked_at_ = Clock::now();
    return GiveKept(*tag, pos, forward);
  }

  // Every place given out goes past the walk check first, so a damaged tree stops the
  // walk with its message instead of giving records twice or out of order.
  Result GiveKept(const MdxTag& tag, OrderPos& pos, bool forward) {
    if (Result r = Check(walk_.Check(tag, path_, forward))) {
      path_.clear();
      walk_.Restart();
      return r;
    }
    pos.key = MdxTag::KeyAt(path_);
    pos.recno = MdxTag::RecnoAt(path_);
    given_ = pos;
    return kOk;
  }

  // Whether the nodes of path_ may serve the step from `from` without being read again:
  // the step starts where path_ stands, nothing in this process wrote an index since they
  // were read, and the tag header in the file (which every writer updates) still carries
  // the stamp they were read under. A step inside the kept leaf trusts a look at the
  // header made within the last kLookInterval, so that a fast walk looks once in many
  // steps while changes of other programs are still seen at once in human terms; a step
  // on to another leaf, whose page comes from the kept branches, always looks. After a
  // pause the path is checked in full instead: the stamp's counter wraps after 256 changes.
  bool KeptPathHolds(MdxTag& tag, const OrderPos& from, bool forward) {
    if (path_.empty() || generation_ != MdxFile::WriteGeneration()) return false;
    const Clock::time_point now_time = Clock::now();
    if (now_time - checked_at_ > kKeptPathPause) return false;
    const MdxFrame& leaf = path_.back();
    if (leaf.idx >= leaf.node.size()) return false;
    if (MdxTag::RecnoAt(path_) != from.recno || MdxTag::KeyAt(path_) != from.key) return false;
    const bool inside_leaf = forward ? leaf.idx + 1 < leaf.node.size() : leaf.idx > 0;
    if (inside_leaf && now_time - checked_at_ < kLookInterval) return true;
    uint64_t now = 0;
    if (!tag.PeekStamp(now) || now != stamp_) return false;
    checked_at_ = now_time;
    return true;
  }

  Result Edge(bool first, OrderPos& pos) {
    MdxTag* tag = nullptr;
    if (Result r = GetTag(tag)) return r;
    if (Result r = Check(tag->Reload())) return r;
    bool found = false;
    if (Result r = Check(first ? tag->First(path_, found) : tag->Last(path_, found))) return r;
    if (!found) {
      path_.clear();
      return first ? kErrEndOfTable : kErrBeginningOfTable;
    }
    walk_.Restart();
    return Give(pos, first);
  }

  Result Move(const OrderPos& from, bool forward, OrderPos& pos) {
    MdxTag* tag = nullptr;
    if (Result r = GetTag(tag)) return r;
    const Result none = forward ? kErrEndOfTable : kErrBeginningOfTable;
    // A walk goes on from the place it gave last; from anywhere else it starts anew.
    if (from.recno != given_.recno || from.key != given_.key) walk_.Restart();
    if (KeptPathHolds(*tag, from, forward)) {
      // The usual sequential step: within the kept leaf, or on to the next leaf through
      // the kept branches.
      bool found = false;
      if (Result r = Check(tag->Step(path_, forward, found))) return r;
      if (!found) {
        path_.clear();
        return none;
      }
      return GiveKept(*tag, pos, forward);
    }
    bool on_place = false;
    if (!path_.empty())
      if (Result r = Check(tag->Revalidate(path_, from.key, from.recno, stamp_, on_place))) return r;
    bool found = false;
    if (!on_place) {
      if (Result r = Check(tag->Reload())) return r;
      if (Result r = Check(tag->FindExact(from.key, from.recno, path_, found))) return r;
      on_place = found;
    }
    if (on_place) {
      if (Result r = Check(tag->Step(path_, forward, found))) return r;
    } else if (forward) {  // a crack: the first entry after where the record was
      if (Result r = Check(tag->Seek(from.key, from.recno, true, path_, found))) return r;
    } else {  // the last entry before it
      if (Result r = Check(tag->Seek(from.key, from.recno, false, path_, found))) return r;
      if (found) {
        if (Result r = Check(tag->Step(path_, false, found))) return r;
      } else if (Result r = Check(tag->Last(path_, found))) {
        return r;
      }
    }
    if (!found) {
      path_.clear();
      return none;
    }
    return Give(pos, forward);
  }

  ProductionIndex& index_;
  std::string name_;
  using Clock = std::chrono::steady_clock;
  static constexpr auto kKeptPathPause = std::chrono::milliseconds(250);
  static constexpr auto kLookInterval = std::chrono::microseconds(100);

  MdxPath path_;        // where the last position given out stands
  uint64_t stamp_ = 0;  // the tag's stamp when path_ was read
  uint64_t generation_ = 0;       // MdxFile::WriteGeneration() then
  Clock::time_point checked_at_;  // when the stamp in the file was last seen to be stamp_
  MdxWalkCheck walk_;             // the walk that gave out given_ last
  OrderPos given_;
};

}  // namespace

std::unique_ptr<RecordOrder> MakeTagOrder(ProductionIndex& index, const std::string& tag) {
  return std::make_unique<TagOrder>(index, tag);
}

}  // namespace snyltdyr::engine
