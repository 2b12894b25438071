// TBlobField and TMemoField: large values held outside the record buffer (ValueSize 0),
// read and written whole through the dataset's blob stream.
//
// A blob field remembers that it was changed in one record of the window (the modified
// flag with the window index it applies to); while that holds, IsBlank asks the stream's
// length instead of the stored null flag. The dataset clears the flag when it frees
// field buffers after post, cancel or delete.
#pragma once

#include "dataset/fields/field.h"

namespace snyltdyr {

enum TBlobType { btBlob, btMemo };

class TBlobField : public TField {
 public:
  explicit TBlobField(std::string name = {});

  TBlobType BlobType() const { return blob_type_; }
  void SetBlobType(TBlobType type) { blob_type_ = type; }

  // Whether the value was changed in the current record of the window.
  bool Modified() const;
  // Marks (or clears) the change for the dataset's current window row.
  void SetModified(bool modified);
  // Length of the value in bytes (0 for null).
  int32_t BlobSize() const;

  int32_t ValueSize() const override { return 0; }
  bool IsBlob() const override { return true; }
  void ClearValue() override;
  void FreeBuffers() override;

 protected:
  std::string GetAsString() const override;
  void SetAsStringValue(const std::string& value) override;
  std::string GetText(bool display_text) const override;
  void SetTextValue(const std::string& text) override;
  bool IsNull() const override;
  void CheckSize(int32_t size) const override;

  // Whole content through the dataset's blob stream.
  std::string ReadAll() const;
  void WriteAll(const std::string& value);

 private:
  TBlobType blob_type_ = btBlob;
  bool modified_ = false;
  int32_t modified_index_ = -1;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(std::string name = {});

  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool on) { transliterate_ = on; }

 private:
  bool transliterate_ = true;
};

}  // namespace snyltdyr
