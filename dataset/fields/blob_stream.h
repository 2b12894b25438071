// The stream through which a blob field (the memo) reads and writes its content.
//
// The dataset opens one on a field of its current record (`TDataSet::OpenBlobStream`);
// the binding supplies the implementation. Closing (destroying) a stream that wrote
// marks the field modified and tells the dataset the field changed.
#pragma once

#include <cstdint>

namespace snyltdyr {

enum TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };
enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TBlobStream {
 public:
  virtual ~TBlobStream() = default;
  // Reads up to `count` bytes at the position; returns the number read.
  virtual int64_t Read(char* buffer, int64_t count) = 0;
  // Writes `count` bytes at the position; returns the number written.
  virtual int64_t Write(const char* buffer, int64_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  // Cuts the content at the position.
  virtual void Truncate() = 0;
};

}  // namespace snyltdyr
