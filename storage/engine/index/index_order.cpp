#include "storage/engine/index/index_order.h"

#include <chrono>
#include <set>

#include "storage/engine/error_stack.h"
#include "storage/engine/index/index_freshness.h"
#include "storage/engine/keys/key_codec.h"

namespace snyltdyr::engine {
namespace {

// Holds the index lock shared while it lives: any writer busy with the index is done.
class WritersDone {
 public:
  explicit WritersDone(MdxFile& f) : f_(f), held_(f.LockShared()) {}
  ~WritersDone() {
    if (held_) f_.Unlock();
  }
  bool held() const { return held_; }

 private:
  MdxFile& f_;
  bool held_;
};

class TagOrder : public RecordOrder {
 public:
  TagOrder(ProductionIndex& index, std::function<IndexedTable()> table_now, std::string tag)
      : index_(index), table_now_(std::move(table_now)), name_(std::move(tag)) {}

  // A walk from the first place forward, step by step to the end, is a walk through the
  // whole tag: it is watched (Cover, Covered) for a record reached twice and, in a tag
  // that holds every record, for a record never reached.
  Result First(OrderPos& pos) override {
    const Result r = Settled([&] { return Edge(true, pos); });
    // The tag's stamp as the walk read it (an empty tag gives no place to take it from).
    const ProductionIndex::Tag* t = index_.Find(name_);
    cover_.Start(t != nullptr && t->mdx ? t->mdx->stamp() : stamp_, table_now_().record_count);
    if (r == kOk) return Cover(pos);
    if (r == kErrEndOfTable) return Covered(r);
    cover_.Stop();
    return r;
  }
  Result Last(OrderPos& pos) override {
    cover_.Stop();
    return Settled([&] { return Edge(false, pos); });
  }

  Result Next(const OrderPos& from, OrderPos& pos) override {
    const bool along = cover_.active && from.recno == given_.recno && from.key == given_.key;
    const Result r = Settled([&] { return Move(from, true, pos); });
    if (along && r == kOk) return Cover(pos);
    if (along && r == kErrEndOfTable) return Covered(r);
    cover_.Stop();
    return r;
  }
  Result Prior(const OrderPos& from, OrderPos& pos) override {
    cover_.Stop();
    return Settled([&] { return Move(from, false, pos); });
  }

  Result PositionOf(const RecordView& record, uint32_t recno, OrderPos& pos) override {
    cover_.Stop();  // a walk from here on starts in the middle
    return Settled([&] { return Place(record, recno, pos); });
  }

  Result Confirm(const OrderPos& pos, std::vector<uint8_t>& record) override {
    return Settled([&] { return Filed(pos, record); });
  }

 private:
  Result Place(const RecordView& record, uint32_t recno, OrderPos& pos) {
    MdxTag* tag = nullptr;
    if (Result r = GetTag(tag)) return r;
    const ProductionIndex::Tag& t = *index_.Find(name_);
    if (Result r = Check(tag->Reload())) return r;  // another opening may have moved the root
    const auto key = ProductionIndex::KeyOf(t, record);
    if (!key)
      return Fail(kErrRecordNotFound, "Record " + std::to_string(recno) + " is not in the order of tag " +
                                          name_ + ": its FOR condition leaves it out.");
    bool found = false;
    if (Result r = Check(tag->FindExact(*key, recno, path_, found))) return r;
    if (!found) return Unfiled(t, recno, pos);
    walk_.Restart();
    return Give(pos, true);
  }

  Result Filed(const OrderPos& pos, std::vector<uint8_t>& record) {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx || !t->expr) return kOk;  // nothing to confirm it by
    if (!record.empty() && KeyMatches(*t, record, pos)) return kOk;
    // A writer may be moving this record's keys: once it is done, look again.
    WritersDone done(index_.file());
    if (!done.held())
      return Fail(kErrTableBusy, index_.file().path() + ": another user is changing the index.");
    const IndexedTable table = table_now_();
    if (pos.recno > table.record_count) {
      return OutOfStep("tag " + name_ + ": an entry names record " + std::to_string(pos.recno) +
                       " of a table of " + std::to_string(table.record_count) + " records");
    }
    if (!table.read_record(pos.recno, record))
      return Fail(kErrReadFailed, index_.file().path() + ": record " + std::to_string(pos.recno) + ".");
    if (KeyMatches(*t, record, pos)) return kOk;
    MdxPath path;
    bool still_there = false;
    if (Result r = Check(t->mdx->Reload())) return r;
    if (Result r = Check(t->mdx->FindExact(pos.key, pos.recno, path, still_there))) return r;
    if (!still_there) {  // moved meanwhile: the walk goes on from where it was
      path_.clear();
      return kErrRecordNotFound;
    }
    const auto key = ProductionIndex::KeyOf(*t, View(table, record));
    return OutOfStep("tag " + name_ + ": record " + std::to_string(pos.recno) + " is filed under " +
                     KeyToText(t->mdx->key_type(), pos.key) + " but its data gives " +
                     (key ? KeyToText(t->mdx->key_type(), *key) : std::string("no key")));
  }

 public:
  int Compare(const OrderPos& a, const OrderPos& b) const override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx) return (a.recno > b.recno) - (a.recno < b.recno);
    return t->mdx->ComparePos(a.key, a.recno, b.key, b.recno);
  }

  void Reread() override { path_.clear(); }

  // The rest of the leaf the walk stands in, as it was read for the last place given out.
  void Upcoming(const OrderPos& at, bool forward, std::vector<uint32_t>& recnos) override {
    recnos.clear();
    if (path_.empty() || at.recno != given_.recno || at.key != given_.key) return;
    const MdxFrame& leaf = path_.back();
    if (forward) {
      for (size_t i = leaf.idx + 1; i < leaf.node.size(); ++i) recnos.push_back(leaf.node.ptrs[i]);
    } else {
      for (size_t i = std::min(leaf.idx, leaf.node.size()); i-- > 0;) recnos.push_back(leaf.node.ptrs[i]);
    }
  }

  bool StillAt(const RecordView& record, uint32_t recno, const OrderPos& pos) override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx || !t->expr || pos.recno != recno) return false;
    std::optional<std::string> key = ProductionIndex::KeyOf(*t, record);
    if (!key) return false;
    // Stored keys are padded to the key length, as the tag writes them.
    key->resize(t->mdx->key_length(), t->mdx->key_type() == 'C' ? ' ' : '\0');
    return *key == pos.key;
  }

  // A FOR condition leaves records out, and a unique tag all but one of each key; a tag
  // marked unusable counts nothing (the count goes through it, and fails).
  bool HoldsEveryRecord() const override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    return t != nullptr && t->mdx && !t->mdx->has_for() && !t->mdx->unique() &&
           index_.faults().Of(name_) == nullptr;
  }

 private:
  Result GetTag(MdxTag*& tag) {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx) return Fail(kErrIndexNotFound, "Index tag " + name_ + ".");
    if (Result r = index_.faults().Check(name_)) return r;
    // Without its key nothing the tag gives can be confirmed: it is never an order.
    if (!t->expr) return Fail(kErrIndexOutOfDate, t->problem);
    tag = t->mdx.get();
    return kOk;
  }

  // The tree is read without the index lock, so a block that a writer is rewriting just
  // then may be read half old, half new. A step that finds the tree unsound is taken
  // again once any writer is done (under the shared index lock); only a failure that
  // stays marks the tag damaged. Such moments are rare: a step that needs taking again
  // soon after another did (a damaged tree, where taking a step again can lead round in
  // circles) is not taken again.
  Result Settled(const std::function<Result()>& step) {
    damage_.clear();
    Result r = step();
    if (damage_.empty()) {
      if (r == kOk) ++steps_since_retry_;
      return r;
    }
    if (steps_since_retry_ >= kStepsBetweenRetries) {
      steps_since_retry_ = 0;
      WritersDone done(index_.file());
      path_.clear();
      damage_.clear();
      r = step();
      if (damage_.empty()) return r;
    }
    path_.clear();
    index_.faults().Mark(name_, IndexFault::kDamaged, damage_);
    return index_.faults().Check(name_);
  }

  Result Check(const IndexStatus& s) {
    if (s) return kOk;
    if (damage_.empty()) damage_ = s.message();
    return Fail(kErrDamagedIndex, s.message());
  }

  Result OutOfStep(const std::string& detail) {
    path_.clear();
    cover_.Stop();
    index_.faults().Mark(name_, IndexFault::kOutOfStep, detail);
    // The next opening for writing verifies every record instead of trusting a sample.
    MarkIndexUnverified(index_.file().path());
    return index_.faults().Check(name_);
  }

  // The place a whole walk just reached: a record reached twice while no writer changed
  // the tag means two entries name it (one of them in another record's place).
  Result Cover(const OrderPos& pos) {
    if (!cover_.active) return kOk;
    if (stamp_ != cover_.stamp) {  // a writer changed the tag: records may have moved
      cover_.Stop();
      return kOk;
    }
    if (!cover_.Reach(pos.recno))
      return OutOfStep("tag " + name_ + ": record " + std::to_string(pos.recno) +
                       " is reached twice in the tag's order");
    return kOk;
  }

  // A whole walk ended (`end`): in a tag that holds every record (deleted ones keep their
  // entries) each record of the table must have been reached, unless a writer changed the
  // tag meanwhile.
  Result Covered(Result end) {
    const ProductionIndex::Tag* t = index_.Find(name_);
    const bool judge = cover_.active && t != nullptr && t->mdx && !t->mdx->has_for() && !t->mdx->unique();
    if (!judge) {
      cover_.Stop();
      return end;
    }
    WritersDone done(index_.file());
    uint64_t now = 0;
    if (!t->mdx->PeekStamp(now) || now != cover_.stamp) {
      cover_.Stop();
      return end;
    }
    const uint32_t records = table_now_().record_count;
    const auto past = cover_.beyond.upper_bound(records);
    if (past != cover_.beyond.end())
      return OutOfStep("tag " + name_ + ": an entry names record " + std::to_string(*past) +
                       " of a table of " + std::to_string(records) + " records");
    for (uint32_t r = records + 1; r <= cover_.counted; ++r)
      if (cover_.reached[r])
        return OutOfStep("tag " + name_ + ": an entry names record " + std::to_string(r) +
                         " of a table of " + std::to_string(records) + " records");
    for (uint32_t r = 1; r <= records; ++r)
      if (!cover_.Reached(r))
        return OutOfStep("tag " + name_ + ": record " + std::to_string(r) +
                         " is not in the tag's order");
    cover_.Stop();
    return end;
  }

  // Whether `record` gives the key it is filed under at `pos` (numbers by value: other
  // programs write equal values in more than one byte form).
  bool KeyMatches(const ProductionIndex::Tag& t, const std::vector<uint8_t>& record,
                  const OrderPos& pos) const {
    std::optional<std::string> key = ProductionIndex::KeyOf(t, View(Shape(), record));
    if (!key) return false;
    const char type = t.mdx->key_type();
    key->resize(t.mdx->key_length(), type == 'C' ? ' ' : '\0');
    return type == 'N' ? engine::CompareKeys(type, *key, pos.key) == 0 : *key == pos.key;
  }

  // Record `recno` has no entry under the key its data gives. In a unique tag another
  // record may hold that key; otherwise, once any writer busy with the index is done and
  // the record still has none, the tag is out of step.
  Result Unfiled(const ProductionIndex::Tag& t, uint32_t recno, OrderPos& pos) {
    path_.clear();
    WritersDone done(index_.file());
    const IndexedTable table = table_now_();
    std::vector<uint8_t> bytes;
    if (recno > table.record_count || !table.read_record(recno, bytes))
      return Fail(kErrRecordNotFound, index_.file().path() + ": record " + std::to_string(recno) + ".");
    const auto key = ProductionIndex::KeyOf(t, View(table, bytes));
    if (!key)
      return Fail(kErrRecordNotFound, "Record " + std::to_string(recno) + " is not in the order of tag " +
                                          name_ + ": its FOR condition leaves it out.");
    MdxTag& tag = *t.mdx;
    bool found = false;
    if (Result r = Check(tag.Reload())) return r;
    if (Result r = Check(tag.FindExact(*key, recno, path_, found))) return r;
    if (found) {
      walk_.Restart();
      return Give(pos, true);
    }
    if (tag.unique()) {
      if (Result r = Check(tag.Seek(*key, 0, false, path_, found))) return r;
      const bool held = found && tag.CompareKeys(MdxTag::KeyAt(path_), *key) == 0;
      path_.clear();
      if (held)
        return Fail(kErrRecordNotFound, "Record " + std::to_string(recno) + " is not in tag " + name_ +
                                            ": another record holds its key.");
    }
    return OutOfStep("tag " + name_ + ": record " + std::to_string(recno) + " has no entry under " +
                     KeyToText(tag.key_type(), *key));
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
  // The walk check keeps what it saw when it refuses a place: the step is taken again
  // under the index lock (Settled), and a place refused for good is refused again.
  Result GiveKept(const MdxTag& tag, OrderPos& pos, bool forward) {
    if (Result r = Check(walk_.Check(tag, path_, forward))) {
      path_.clear();
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

  static RecordView View(const IndexedTable& table, const std::vector<uint8_t>& record) {
    return {table.fields, record.data(), table.code_page};
  }

  // The table's fields and code page, which stay as they are while it is open (asked for
  // once, since asking reads the record count again).
  const IndexedTable& Shape() const {
    if (shape_.fields == nullptr) shape_ = table_now_();
    return shape_;
  }

  ProductionIndex& index_;
  std::function<IndexedTable()> table_now_;
  mutable IndexedTable shape_;
  std::string name_;
  std::string damage_;  // what the current step found unsound in the tree
  static constexpr uint64_t kStepsBetweenRetries = 64;
  uint64_t steps_since_retry_ = kStepsBetweenRetries;
  using Clock = std::chrono::steady_clock;
  static constexpr auto kKeptPathPause = std::chrono::milliseconds(250);
  static constexpr auto kLookInterval = std::chrono::microseconds(100);

  MdxPath path_;        // where the last position given out stands
  uint64_t stamp_ = 0;  // the tag's stamp when path_ was read
  uint64_t generation_ = 0;       // MdxFile::WriteGeneration() then
  Clock::time_point checked_at_;  // when the stamp in the file was last seen to be stamp_
  MdxWalkCheck walk_;             // the walk that gave out given_ last
  OrderPos given_;
  // The records a walk through the whole tag reached so far.
  // Records up to the table's count at the start are kept as bits; a damaged entry may name
  // any number up to 2^32, which is kept apart (a set as long as the walk) instead of
  // growing the bits to it.
  struct WalkCover {
    bool active = false;
    uint64_t stamp = 0;  // the tag's stamp when the walk began
    uint32_t counted = 0;  // the table's records when the walk began
    std::vector<bool> reached;
    std::set<uint32_t> beyond;
    void Start(uint64_t at, uint32_t records) {
      active = true;
      stamp = at;
      counted = records;
      reached.assign(static_cast<size_t>(records) + 1, false);
      beyond.clear();
    }
    void Stop() {
      active = false;
      reached = {};
      beyond.clear();
    }
    bool Reached(uint32_t recno) const {
      return recno <= counted ? static_cast<bool>(reached[recno]) : beyond.count(recno) != 0;
    }
    // False when `recno` was reached before.
    bool Reach(uint32_t recno) {
      if (recno > counted) return beyond.insert(recno).second;
      if (reached[recno]) return false;
      reached[recno] = true;
      return true;
    }
  } cover_;
};

}  // namespace

std::unique_ptr<RecordOrder> MakeTagOrder(ProductionIndex& index,
                                          std::function<IndexedTable()> table_now,
                                          const std::string& tag) {
  return std::make_unique<TagOrder>(index, std::move(table_now), tag);
}

}  // namespace snyltdyr::engine
