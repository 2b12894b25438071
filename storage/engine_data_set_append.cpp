// New records built by the fields and appended in one go of the engine.
#include <cstring>
#include <memory>

#include "dataset/fields/blob_field.h"
#include "dataset/try_finally.h"
#include "storage/db_engine_error.h"
#include "storage/engine_data_set.h"

namespace snyltdyr {

int32_t TEngineDataSet::AppendRows(int32_t rows,
                                   const std::function<bool(int32_t row, TNewMemos& memos)>& fill,
                                   bool write, const TPassProgress& progress) {
  CheckActive();
  EnsureBrowseMode();
  if (write) CheckModifiable();
  if (rows <= 0) return 0;
  const size_t stride = static_cast<size_t>(record_size_);
  std::vector<uint8_t> records;
  if (write) records.resize(stride * static_cast<size_t>(rows));
  std::vector<engine::NewMemo> memos;
  bool all_good = true;
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(buffer_size_)]());
  SuspendControls();
  TryFinally(
      [&] {
        TNewMemos row_memos;
        for (int32_t row = 0; row < rows; ++row) {
          std::memset(buffer.get(), 0, static_cast<size_t>(buffer_size_));
          Check(engine::InitRecord(cursor_, reinterpret_cast<uint8_t*>(buffer.get())));
          row_memos.clear();
          pass_buffer_ = buffer.get();
          // The new record in edit state, as Edit makes it, without telling anyone.
          const snyltdyr::DataState saved = EnterTempState(StateEdit);
          TryFinally(
              [&] {
                const bool good = fill(row, row_memos);
                all_good = all_good && good;
                if (good && BeforePost) BeforePost(*this);
              },
              [&] {
                LeaveTempState(saved);
                pass_buffer_ = nullptr;
              });
          if (write && all_good) {
            std::memcpy(&records[stride * static_cast<size_t>(row)], buffer.get(), stride);
            for (const auto& [field, text] : row_memos)
              if (!text.empty())
                memos.push_back({static_cast<uint32_t>(row), static_cast<uint16_t>(field->FieldNumber()),
                                 AnsiToNative(text)});
          }
          if (progress && ((row + 1) % 1024 == 0 || row + 1 == rows)) progress(row + 1, rows);
        }
      },
      [&] { ResumeControls(); });
  if (!write || !all_good) return 0;
  uint32_t first = 0;
  Check(engine::AppendRecords(cursor_, records.data(), static_cast<uint32_t>(rows), memos, first));
  // The new records are read when the window next asks for records.
  Refresh();
  return rows;
}

}  // namespace snyltdyr
