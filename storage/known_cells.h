// The cells a column gave for the bytes of its field, remembered so that a field whose
// text depends on its bytes alone is asked once per different value, not once per row.
//
// A fixed table of kSlots slots, chosen by a hash of the bytes: a slot holds the last
// bytes that fell on it and their cell. A lookup is one hash and one comparison of the
// whole bytes (so a cell is only ever given for the very bytes it was made from); two
// values sharing a slot take turns, costing only another asking of the field. The table
// is made at the first Keep: kSlots pairs of short strings, about 4 MB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace snyltdyr {

class TKnownCells {
 public:
  static constexpr size_t kSlots = size_t{1} << 16;

  // The cell kept for exactly `bytes`, or null.
  const std::string* Find(std::string_view bytes) const {
    if (!slots_) return nullptr;
    const Slot& slot = slots_[SlotOf(bytes)];
    return slot.used && slot.bytes == bytes ? &slot.cell : nullptr;
  }

  void Keep(std::string_view bytes, std::string cell) {
    if (!slots_) slots_ = std::make_unique<Slot[]>(kSlots);
    Slot& slot = slots_[SlotOf(bytes)];
    slot.bytes.assign(bytes);
    slot.cell = std::move(cell);
    slot.used = true;
  }

 private:
  struct Slot {
    std::string bytes, cell;
    bool used = false;
  };

  static size_t SlotOf(std::string_view bytes) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a: a field is a few bytes
    for (const char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<size_t>(h ^ (h >> 29)) & (kSlots - 1);
  }

  std::unique_ptr<Slot[]> slots_;
};

}  // namespace snyltdyr
