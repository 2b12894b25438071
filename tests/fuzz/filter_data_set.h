// The data set the filter-text target parses against: the fuzz table's columns as field
// objects of the dataset layer, in the same order, so that the field numbers of a filter
// tree name the fuzz table's columns. Names are code page 1252 here ("ÅRSKLAS" with 0xC5)
// and native (code page 865) in the tree.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dataset/fields/field.h"
#include "support/memory_dataset.h"

namespace snyltdyr::fuzz {

class TFilterDataSet : public testing::TMemoryDataSet {
 public:
  TFilterDataSet();
  ~TFilterDataSet() override;
  void TranslateText(std::string& text, bool to_storage) override;

 private:
  std::vector<std::unique_ptr<TField>> fields_;
};

// The filter tree of `text` with `options`, or nothing when the parser refuses the text.
bool FilterTreeOf(TFilterDataSet& data_set, const std::string& text, unsigned options,
                  std::vector<uint8_t>& tree);

}  // namespace snyltdyr::fuzz
