#include "dataset/fields/blob_field.h"

#include "dataset/data_set.h"
#include "runtime/exception.h"

namespace snyltdyr {

TBlobField::TBlobField(std::string name) : TField(std::move(name)) { SetDataType(ftBlob); }

TMemoField::TMemoField(std::string name) : TBlobField(std::move(name)) {
  SetDataType(ftMemo);
  SetBlobType(btMemo);
}

void TBlobField::CheckSize(int32_t size) const {
  if (size < 0) throw EDatabaseError("Invalid field size");
}

bool TBlobField::Modified() const {
  return modified_ && DataSet() != nullptr && modified_index_ == DataSet()->ActiveIndex();
}

void TBlobField::SetModified(bool modified) {
  modified_ = modified;
  modified_index_ = modified && DataSet() != nullptr ? DataSet()->ActiveIndex() : -1;
}

void TBlobField::FreeBuffers() { SetModified(false); }

std::string TBlobField::ReadAll() const {
  CheckDataSet();
  auto stream = DataSet()->OpenBlobStream(const_cast<TBlobField&>(*this), bmRead);
  if (!stream) return std::string();
  std::string text;
  char chunk[8192];
  for (;;) {
    const int64_t count = stream->Read(chunk, sizeof chunk);
    if (count <= 0) break;
    text.append(chunk, static_cast<size_t>(count));
  }
  return text;
}

void TBlobField::WriteAll(const std::string& value) {
  CheckDataSet();
  auto stream = DataSet()->OpenBlobStream(*this, bmWrite);
  // A dataset without blob streams cannot keep the value: say so instead of losing it.
  if (!stream) throw EDatabaseError("Field '" + MessageName() + "' cannot be modified");
  int64_t done = 0;
  const auto total = static_cast<int64_t>(value.size());
  while (done < total) {
    const int64_t count = stream->Write(value.data() + done, total - done);
    if (count <= 0) throw EDatabaseError("Field '" + MessageName() + "' cannot be modified");
    done += count;
  }
  // An empty value writes nothing; cutting the stream still records the change.
  if (total == 0) stream->Truncate();
  // Destroying the stream closes it: the field is marked modified and the dataset told.
}

int32_t TBlobField::BlobSize() const {
  CheckDataSet();
  auto stream = DataSet()->OpenBlobStream(const_cast<TBlobField&>(*this), bmRead);
  return stream ? static_cast<int32_t>(stream->Size()) : 0;
}

std::string TBlobField::GetAsString() const { return ReadAll(); }

void TBlobField::SetAsStringValue(const std::string& value) { WriteAll(value); }

void TBlobField::ClearValue() { WriteAll(std::string()); }

bool TBlobField::IsNull() const {
  if (Modified()) return BlobSize() == 0;
  return TField::IsNull();
}

std::string TBlobField::GetText(bool) const { return ClassDescription(); }

void TBlobField::SetTextValue(const std::string&) { AccessError("Text"); }

}  // namespace snyltdyr
