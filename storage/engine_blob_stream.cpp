#include "storage/engine_blob_stream.h"

#include <algorithm>
#include <cstring>

#include "dataset/fields/blob_field.h"
#include "dataset/data_set_messages.h"
#include "storage/db_engine_error.h"
#include "storage/engine_data_set.h"

namespace snyltdyr {

TEngineBlobStream::TEngineBlobStream(TEngineDataSet& data_set, TField& field,
                                     TBlobStreamMode mode)
    : data_set_(data_set), field_(field), mode_(mode) {
  buffer_ = data_set_.StateBuffer();
  if (buffer_ == nullptr || field_.FieldNumber() <= 0) {
    buffer_ = nullptr;
    return;
  }
  const DataState state = data_set_.DataState();
  if (state == StateFilter) {
    data_set_.DatabaseError("Cannot access field '" + field_.MessageName() + "' in a filter");
  }
  if (FieldModified()) {
    // An earlier writing stream left the content in the engine's open blob.
  } else if (mode_ != bmRead) {
    data_set_.DropCachedBlob(buffer_, field_);
    // A pass stores the fields of its records, not their memos.
    if (field_.ReadOnly() || data_set_.Passing()) {
      data_set_.DatabaseError("Field '" + field_.MessageName() + "' cannot be modified");
    }
    if (state != StateEdit && state != StateInsert) data_set_.DatabaseError(msg::kNotEditing);
    Check(engine::OpenBlob(data_set_.cursor_, Record(), FieldNumber(),
                           engine::BlobMode::kReadWrite));
    opened_ = true;
  } else {
    const bool active = buffer_ == data_set_.ActiveBuffer();
    if (data_set_.cache_blobs_ && active) {
      const std::string* cached = data_set_.CachedBlob(buffer_, field_);
      if (cached != nullptr && !cached->empty()) {
        cached_ = true;
      } else if (!data_set_.ReadFieldData(field_, nullptr)) {
        // No memo at all: nothing to ask the engine for.
        data_set_.SetCachedBlob(buffer_, field_, std::string());
        cached_ = true;
      }
    }
    if (!cached_) {
      if (state == StateBrowse && active &&
          data_set_.ReadBookmarkFlag(buffer_) == BookmarkCurrent) {
        // The memo's place in the file may have changed since the record was read.
        data_set_.SyncCursor();
        Check(engine::GetRecord(data_set_.cursor_, engine::LockMode::kNoLock, Record(), nullptr));
      }
      Check(engine::OpenBlob(data_set_.cursor_, Record(), FieldNumber(),
                             engine::BlobMode::kReadOnly));
      opened_ = true;
      collecting_ = data_set_.cache_blobs_ && active;
    }
  }
  if (mode_ == bmWrite) Truncate();
}

TEngineBlobStream::~TEngineBlobStream() {
  if (buffer_ == nullptr) return;
  if (modified_) {
    if (auto* blob = dynamic_cast<TBlobField*>(&field_)) blob->SetModified(true);
  }
  if (!FieldModified() && opened_) {
    engine::FreeBlob(data_set_.cursor_, Record(), FieldNumber());
  }
  if (modified_) {
    try {
      data_set_.NotifyDataEvent(EventFieldChanged, reinterpret_cast<std::intptr_t>(&field_));
    } catch (...) {
      // A failing control must not turn closing the stream into a failure.
    }
  }
}

bool TEngineBlobStream::Transliterate() const {
  const auto* memo = dynamic_cast<const TMemoField*>(&field_);
  return memo != nullptr && memo->Transliterate();
}

bool TEngineBlobStream::FieldModified() const {
  const auto* blob = dynamic_cast<const TBlobField*>(&field_);
  return blob != nullptr && blob->Modified();
}

uint16_t TEngineBlobStream::FieldNumber() const {
  return static_cast<uint16_t>(field_.FieldNumber());
}

uint8_t* TEngineBlobStream::Record() const { return reinterpret_cast<uint8_t*>(buffer_); }

int64_t TEngineBlobStream::Read(char* buffer, int64_t count) {
  if (buffer_ == nullptr || count <= 0) return 0;
  if (cached_) {
    const std::string* content = data_set_.CachedBlob(buffer_, field_);
    if (content == nullptr) return 0;
    const auto size = static_cast<int64_t>(content->size());
    const int64_t n = std::clamp<int64_t>(size - position_, 0, count);
    if (n > 0) std::memcpy(buffer, content->data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  const int64_t start = position_;
  uint32_t read = 0;
  const engine::Result r =
      engine::GetBlob(data_set_.cursor_, Record(), FieldNumber(), static_cast<uint32_t>(position_),
                      static_cast<uint32_t>(count), reinterpret_cast<uint8_t*>(buffer), read);
  if (r == engine::kErrBlobReadShort) return read;
  if (r != engine::kOk && r != engine::kErrEndOfBlob) DbiError(r);
  if (Transliterate() && read > 0) {
    const std::string ansi = data_set_.NativeToAnsi(std::string(buffer, read));
    std::memcpy(buffer, ansi.data(), std::min<size_t>(ansi.size(), read));
  }
  position_ += read;
  if (collecting_ && mode_ == bmRead && !FieldModified()) {
    if (start != static_cast<int64_t>(collected_.size())) {
      collecting_ = false;  // not read from the start in one run
    } else {
      collected_.append(buffer, read);
      uint32_t size = 0;
      Check(engine::GetBlobSize(data_set_.cursor_, Record(), FieldNumber(), size));
      if (collected_.size() >= size) {
        // The whole content is known: keep it with the record and let the engine go.
        data_set_.SetCachedBlob(buffer_, field_, std::move(collected_));
        engine::FreeBlob(data_set_.cursor_, Record(), FieldNumber());
        opened_ = false;
        cached_ = true;
        collecting_ = false;
      }
    }
  }
  return read;
}

int64_t TEngineBlobStream::Write(const char* buffer, int64_t count) {
  if (buffer_ == nullptr || count <= 0) return 0;
  if (!opened_ && !FieldModified()) data_set_.DatabaseError(msg::kNotEditing);
  std::string bytes(buffer, static_cast<size_t>(count));
  if (Transliterate()) bytes = data_set_.AnsiToNative(bytes);
  Check(engine::PutBlob(data_set_.cursor_, Record(), FieldNumber(),
                        static_cast<uint32_t>(position_), static_cast<uint32_t>(bytes.size()),
                        reinterpret_cast<const uint8_t*>(bytes.data())));
  position_ += count;
  modified_ = true;
  data_set_.DropCachedBlob(buffer_, field_);
  return count;
}

int64_t TEngineBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ += offset; break;
    case soEnd: position_ = Size() + offset; break;
  }
  return position_;
}

int64_t TEngineBlobStream::Size() {
  if (buffer_ == nullptr) return 0;
  if (cached_) {
    const std::string* content = data_set_.CachedBlob(buffer_, field_);
    return content == nullptr ? 0 : static_cast<int64_t>(content->size());
  }
  uint32_t size = 0;
  Check(engine::GetBlobSize(data_set_.cursor_, Record(), FieldNumber(), size));
  return size;
}

void TEngineBlobStream::Truncate() {
  if (buffer_ == nullptr) return;
  if (!opened_ && !FieldModified()) data_set_.DatabaseError(msg::kNotEditing);
  Check(engine::TruncateBlob(data_set_.cursor_, Record(), FieldNumber(),
                             static_cast<uint32_t>(position_)));
  modified_ = true;
  data_set_.DropCachedBlob(buffer_, field_);
}

}  // namespace snyltdyr
