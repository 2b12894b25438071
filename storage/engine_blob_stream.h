// TEngineBlobStream: the stream over a blob field (the memo) of the record buffer of the
// dataset's current state.
//
// Reading is served from the record's blob cache when the dataset caches blobs and the
// content is known there; otherwise from the engine's blob, and the content read whole
// from the start becomes the record's cached content, so a browsed record's memo is read
// from the engine once. Writing goes into the engine's blob of the record buffer, which
// the next write of the record stores; closing a stream that wrote marks the field
// modified and tells the dataset the field changed.
// Invariant: `open_` says whether this stream opened an engine blob that it must free.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/fields/blob_stream.h"
#include "dataset/data_set.h"

namespace snyltdyr {

class TEngineDataSet;
class TField;

class TEngineBlobStream : public TBlobStream {
 public:
  // Raises "Cannot access field '%s' in a filter", "Field '%s' cannot be modified",
  // "Dataset not in edit or insert mode" or the engine's error.
  TEngineBlobStream(TEngineDataSet& data_set, TField& field, TBlobStreamMode mode);
  ~TEngineBlobStream() override;
  TEngineBlobStream(const TEngineBlobStream&) = delete;
  TEngineBlobStream& operator=(const TEngineBlobStream&) = delete;

  int64_t Read(char* buffer, int64_t count) override;
  int64_t Write(const char* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void Truncate() override;

 private:
  bool Transliterate() const;
  bool FieldModified() const;
  uint16_t FieldNumber() const;
  uint8_t* Record() const;

  TEngineDataSet& data_set_;
  TField& field_;
  TBlobStreamMode mode_;
  TRecordBuffer buffer_ = nullptr;  // none: the stream is closed and reads nothing
  bool opened_ = false;             // an engine blob was opened by this stream
  bool cached_ = false;             // served from the record's cache
  bool modified_ = false;
  bool collecting_ = false;         // collecting a whole read for the cache
  std::string collected_;
  int64_t position_ = 0;
};

}  // namespace snyltdyr
