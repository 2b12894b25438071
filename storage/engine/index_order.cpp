#include "storage/engine/index_order.h"

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
      if (Result r = Check(tag->First(path_, found))) return r;
      while (found && MdxTag::RecnoAt(path_) != recno)
        if (Result r = Check(tag->Step(path_, true, found))) return r;
    }
    if (!found) {  // a unique tag whose key another record holds
      path_.clear();
      return kErrRecordNotFound;
    }
    return Give(pos);
  }

  int Compare(const OrderPos& a, const OrderPos& b) const override {
    const ProductionIndex::Tag* t = index_.Find(name_);
    if (t == nullptr || !t->mdx) return (a.recno > b.recno) - (a.recno < b.recno);
    return t->mdx->ComparePos(a.key, a.recno, b.key, b.recno);
  }

  void Reread() override { path_.clear(); }

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

  Result Give(OrderPos& pos) {
    pos.key = MdxTag::KeyAt(path_);
    pos.recno = MdxTag::RecnoAt(path_);
    MdxTag* tag = nullptr;
    stamp_ = GetTag(tag) == kOk ? tag->stamp() : 0;
    return kOk;
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
    return Give(pos);
  }

  Result Move(const OrderPos& from, bool forward, OrderPos& pos) {
    MdxTag* tag = nullptr;
    if (Result r = GetTag(tag)) return r;
    const Result none = forward ? kErrEndOfTable : kErrBeginningOfTable;
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
    return Give(pos);
  }

  ProductionIndex& index_;
  std::string name_;
  MdxPath path_;        // where the last position given out stands
  uint64_t stamp_ = 0;  // the tag's stamp when path_ was read
};

}  // namespace

std::unique_ptr<RecordOrder> MakeTagOrder(ProductionIndex& index, const std::string& tag) {
  return std::make_unique<TagOrder>(index, tag);
}

}  // namespace snyltdyr::engine
