#include "storage/engine/datafile/record_cache.h"

#include <time.h>

#include <cstring>

#include "storage/engine/datafile/dbf_file.h"

namespace snyltdyr::engine {

int64_t CoarseMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void RecordCache::Look() {
  const uint64_t now = DbfFile::WriteGeneration();
  if (now == generation_) return;
  Clear();
  generation_ = now;
}

bool RecordCache::InStep() const { return DbfFile::WriteGeneration() == generation_; }

const uint8_t* RecordCache::Find(uint32_t recno) {
  Look();
  auto within = [recno](Runs::iterator it) {
    return recno >= it->first && recno - it->first < it->second.count;
  };
  if (last_ == runs_.end() || !within(last_)) {
    auto it = runs_.upper_bound(recno);
    if (it == runs_.begin()) return nullptr;
    --it;
    if (!within(it)) return nullptr;
    last_ = it;
  }
  if (!Fresh(last_->second, CoarseMilliseconds())) {
    Drop(last_);
    return nullptr;
  }
  return last_->second.bytes.data() + static_cast<size_t>(recno - last_->first) * record_length_;
}

uint8_t* RecordCache::Add(uint32_t first, uint32_t count) {
  Look();
  Forget(first, count);
  const size_t size = static_cast<size_t>(count) * record_length_;
  MakeRoom(size);
  Run run;
  run.count = count;
  run.read_at_ms = CoarseMilliseconds();
  run.bytes.resize(size);
  auto [it, inserted] = runs_.emplace(first, std::move(run));
  (void)inserted;  // Forget took out any run that began at `first`
  bytes_ += size;
  order_.push_back({first, ++serial_});
  it->second.serial = serial_;
  last_ = it;
  return it->second.bytes.data();
}

void RecordCache::Unadd(uint32_t first) {
  auto it = runs_.find(first);
  if (it != runs_.end()) Drop(it);
}

void RecordCache::Wrote(uint32_t recno, const uint8_t* record, bool in_step) {
  if (!in_step) {
    Clear();
  } else if (recno != 0 && record == nullptr) {
    Forget(recno, 1);
  } else if (recno != 0) {
    auto it = runs_.upper_bound(recno);
    if (it != runs_.begin() && recno - std::prev(it)->first < std::prev(it)->second.count) {
      --it;
      std::memcpy(it->second.bytes.data() + static_cast<size_t>(recno - it->first) * record_length_,
                  record, record_length_);
    }
  }
  generation_ = DbfFile::WriteGeneration();  // this opening's own writes
}

void RecordCache::Forget(uint32_t first, uint32_t count) {
  if (count == 0) return;
  const uint64_t last = uint64_t{first} + count - 1;
  auto it = runs_.upper_bound(first);
  if (it != runs_.begin()) {
    auto before = std::prev(it);
    if (uint64_t{before->first} + before->second.count > first) it = before;
  }
  while (it != runs_.end() && it->first <= last) {
    auto next = std::next(it);
    Drop(it);
    it = next;
  }
}

void RecordCache::Clear() {
  runs_.clear();
  order_.clear();
  bytes_ = 0;
  last_ = runs_.end();
}

void RecordCache::Drop(Runs::iterator it) {
  if (it == last_) last_ = runs_.end();
  bytes_ -= it->second.bytes.size();
  runs_.erase(it);
}

void RecordCache::MakeRoom(size_t bytes) {
  // Runs were added oldest first; an entry whose run went meanwhile is passed over.
  while (bytes_ + bytes > kCapacityBytes && !order_.empty()) {
    const Added oldest = order_.front();
    order_.pop_front();
    auto it = runs_.find(oldest.first);
    if (it != runs_.end() && it->second.serial == oldest.serial) Drop(it);
  }
  if (order_.size() > 2 * runs_.size() + 64) {  // many passed-over entries: tidy up
    std::deque<Added> kept;
    for (const Added& a : order_) {
      auto it = runs_.find(a.first);
      if (it != runs_.end() && it->second.serial == a.serial) kept.push_back(a);
    }
    order_.swap(kept);
  }
}

}  // namespace snyltdyr::engine
