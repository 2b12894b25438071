// The filter operations of the engine interface: a filter tree becomes a predicate in the
// cursor's filter list, which every move and the exact record count apply while the
// filter is active. The tree is read and checked once, when it is added; the cursor keeps
// its own decoded copy, so the caller may free the buffer at once.
#include <algorithm>
#include <memory>

#include "storage/engine/table/cursor.h"
#include "storage/engine/memo/dbt_memo.h"
#include "storage/engine/engine.h"
#include "storage/engine/engine_state.h"
#include "storage/engine/error_stack.h"
#include "storage/engine/filters/filter_eval.h"

namespace snyltdyr::engine {

namespace {

// The memo text of a record's memo column, for LIKE on a memo. A memo that cannot be read
// reads as empty text: the filter then simply does not match it.
MemoReader MemoReaderFor(Table* table) {
  return [table](const RecordView& record, size_t field) -> std::string {
    DbtMemo* memo = table->Memo();
    if (memo == nullptr) return {};
    uint32_t block = 0;
    for (char c : record.Raw(field)) {
      if (c >= '0' && c <= '9') {
        block = block * 10 + static_cast<uint32_t>(c - '0');
      } else if (c != ' ' && c != '\0') {
        return {};
      }
    }
    std::string content;
    if (block == 0 || memo->Read(block, content) != kOk) return {};
    return content;
  };
}

Result FindFilter(Handle cursor, Handle filter, Cursor*& c, CursorFilter*& found) {
  if (Result r = GetCursor(cursor, c)) return r;
  auto it = std::find_if(c->filters.begin(), c->filters.end(),
                         [&](const CursorFilter& f) { return f.handle == filter; });
  if (it == c->filters.end()) return Fail(kErrInvalidHandle, "filter handle");
  found = &*it;
  return kOk;
}

}  // namespace

Result AddFilter(Handle cursor, const uint8_t* tree, uint16_t priority, Handle& filter) {
  Cursor* c = nullptr;
  if (Result r = GetCursor(cursor, c)) return r;
  if (tree == nullptr) return Fail(kErrInvalidParameter, "no filter tree");
  // The tree states its own size in its header; nothing beyond it is read.
  size_t size = static_cast<size_t>(tree[2] | (tree[3] << 8));
  auto program = std::make_shared<FilterProgram>();
  FilterTreeError e = FilterProgram::Compile(tree, size, c->table().Fields(), program.get());
  if (e != FilterTreeError::kNone) return Fail(kErrInvalidFilter, FilterTreeErrorText(e));
  program->SetMemoReader(MemoReaderFor(&c->table()));

  CursorFilter added;
  added.handle = NewHandle();
  added.priority = priority;
  added.passes = [program](const RecordView& record) { return program->Matches(record); };
  filter = added.handle;
  // Lower priorities are asked first; equal ones in the order they were added.
  auto at = std::upper_bound(
      c->filters.begin(), c->filters.end(), priority,
      [](uint16_t p, const CursorFilter& f) { return p < f.priority; });
  c->filters.insert(at, std::move(added));
  return kOk;
}

namespace {
Result SetFilterActive(Handle cursor, Handle filter, bool active) {
  Cursor* c = nullptr;
  CursorFilter* f = nullptr;
  if (Result r = FindFilter(cursor, filter, c, f)) return r;
  f->active = active;
  return kOk;
}
}  // namespace

Result ActivateFilter(Handle cursor, Handle filter) { return SetFilterActive(cursor, filter, true); }

Result DeactivateFilter(Handle cursor, Handle filter) { return SetFilterActive(cursor, filter, false); }

Result DropFilter(Handle cursor, Handle filter) {
  Cursor* c = nullptr;
  CursorFilter* f = nullptr;
  if (Result r = FindFilter(cursor, filter, c, f)) return r;
  c->filters.erase(c->filters.begin() + (f - c->filters.data()));
  return kOk;
}

}  // namespace snyltdyr::engine
