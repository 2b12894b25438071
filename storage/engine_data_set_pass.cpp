// The passes of the table binding over the whole selection. The engine goes through the
// records (VisitRecords, RewriteRecords of engine.h) and puts each record it reaches in a
// buffer of the pass's own, which the fields read and write while the pass's function
// runs (StateBuffer gives it).
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

#include "dataset/try_finally.h"
#include "storage/db_engine_error.h"
#include "storage/engine_data_set.h"

namespace snyltdyr {
namespace {

// The answer to the engine when the pass's function failed: the pass stops, and the
// failure is thrown again once the engine has let everything go. Not a code of the engine.
constexpr engine::Result kFunctionFailed = 1;

uint8_t* Bytes(TRecordBuffer buffer) { return reinterpret_cast<uint8_t*>(buffer); }

// Runs the pass's function for the engine: a failure is kept for afterwards and stops
// the pass. A template, not a std::function: a pass calls it for every record.
template <typename Body>
engine::Result RunForEngine(std::exception_ptr& failure, const Body& body) {
  try {
    body();
  } catch (...) {
    failure = std::current_exception();
    return kFunctionFailed;
  }
  return engine::kOk;
}

}  // namespace

int32_t TEngineDataSet::VisitSelection(const std::function<void()>& visit, TPassOrder order) {
  CheckActive();
  if (CallbackFilterActive()) return TDataSet::VisitSelection(visit, order);  // the handler walks
  EnsureBrowseMode();
  SuspendControls();
  int32_t total = 0;
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(buffer_size_)]());
  TryFinally(
      [&] {
        std::exception_ptr failure;
        uint32_t visited = 0;
        pass_buffer_ = buffer.get();
        const engine::Result r = engine::VisitRecords(
            cursor_, Bytes(pass_buffer_),
            [&](uint32_t recno) {
              return RunForEngine(failure, [&] {
                PassRecordReached(recno);
                visit();
              });
            },
            visited, order == poShownOrder);
        pass_buffer_ = nullptr;
        if (failure) std::rethrow_exception(failure);
        Check(r);
        SetCursorIndex(-1);  // the engine's cursor is at its end
        Last();
        total = static_cast<int32_t>(visited);
      },
      [&] {
        pass_buffer_ = nullptr;
        ResumeControls();
      });
  return total;
}

TRewriteCount TEngineDataSet::RewriteSelection(const std::function<void()>& fix,
                                               const TPassProgress& progress) {
  return RewriteSelection(fix, {}, progress);
}

TRewriteCount TEngineDataSet::RewriteSelection(const std::function<void()>& fix,
                                               const std::function<bool()>& direct,
                                               const TPassProgress& progress) {
  CheckActive();
  if (CallbackFilterActive()) return TDataSet::RewriteSelection(fix, progress);
  EnsureBrowseMode();
  CheckModifiable();
  SuspendControls();
  TRewriteCount count;
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(buffer_size_)]());
  TryFinally(
      [&] {
        std::exception_ptr failure;
        engine::RewriteReport report;
        engine::PassProgress told;
        if (progress) told = progress;
        pass_buffer_ = buffer.get();
        const engine::Result r = engine::RewriteRecords(
            cursor_, Bytes(pass_buffer_),
            [&](uint32_t recno) {
              // The record in edit state, as Edit makes it, without telling anyone.
              const snyltdyr::DataState saved = EnterTempState(StateEdit);
              const engine::Result r = RunForEngine(failure, [&] {
                PassRecordReached(recno);
                if (direct && direct()) return;
                fix();
                if (BeforePost) BeforePost(*this);
              });
              LeaveTempState(saved);
              return r;
            },
            told, report);
        pass_buffer_ = nullptr;
        count.records = static_cast<int32_t>(report.visited);
        count.written = static_cast<int32_t>(report.written);
        SetCursorIndex(-1);  // the engine's cursor moved
        if (r == engine::kOk) {
          Last();
          return;
        }
        // The engine's failure is taken before any other engine call empties its entries.
        // When the pass's function failed but storing the records edited before it failed
        // too, the pass stopped at the record not stored: that failure is the one to tell.
        if (r != kFunctionFailed) failure = nullptr;
        if (!failure) {
          try {
            DbiError(r);
          } catch (...) {
            failure = std::current_exception();
          }
        }
        RedoStoppedRecord(report.stopped_at, fix);
        std::rethrow_exception(failure);
      },
      [&] {
        pass_buffer_ = nullptr;
        ResumeControls();
      });
  return count;
}

void TEngineDataSet::PassRecordReached(uint32_t recno) {
  engine::RecordProperties props;
  props.physical_number = recno;
  FillRecordInfo(pass_buffer_, props);
  CalculateFieldsIn(pass_buffer_);
}

void TEngineDataSet::RedoStoppedRecord(uint32_t recno, const std::function<void()>& fix) {
  if (recno == 0) return;
  TBookmark bookmark(static_cast<size_t>(bookmark_size_), '\0');
  std::memcpy(bookmark.data(), &recno, std::min<size_t>(sizeof recno, bookmark.size()));
  try {
    GotoBookmark(bookmark);
  } catch (const EDatabaseError&) {
    return;  // gone meanwhile: the pass's failure is all there is to tell
  }
  // As the user's own Edit and Post of it would: a record that cannot be edited fails
  // here; otherwise it stays in edit state with the values the pass could not store.
  Edit();
  fix();
  if (BeforePost) BeforePost(*this);
}

}  // namespace snyltdyr
