#include "filter_data_set.h"

#include "dataset/filters/expr_parser.h"
#include "runtime/exception.h"

namespace snyltdyr::fuzz {

TFilterDataSet::TFilterDataSet() : TMemoryDataSet("SnyltdyrTable") {
  struct Column {
    const char* name;
    TFieldType type;
    int size;
  };
  const Column columns[] = {{"DATO", ftDate, 0},       {"BYGG", ftString, 9},
                            {"SNYLTDYR", ftString, 30}, {"MENGDE", ftString, 5},
                            {"\xC5RSKLAS", ftString, 2}, {"GRUPPE", ftFloat, 0},
                            {"TALL", ftFloat, 0},       {"NOTAT", ftString, 100},
                            {"KOMENT", ftMemo, 10},     {"FERDIG", ftBoolean, 0}};
  for (const Column& c : columns) {
    AddColumn(c.name, c.type, c.size);
    fields_.push_back(testing::NewFieldFor(c.name, c.type, c.size));
    fields_.back()->SetDataSet(this);
  }
  Open();
}

TFilterDataSet::~TFilterDataSet() { Close(); }  // the fields then leave it one by one

void TFilterDataSet::TranslateText(std::string& text, bool to_storage) {
  if (!to_storage) return;
  for (char& c : text) {  // the letters of the texts here that differ in code page 865
    if (c == '\xC5') c = '\x8F';
    if (c == '\xE5') c = '\x86';
    if (c == '\xF8') c = '\x9B';
  }
}

bool FilterTreeOf(TFilterDataSet& data_set, const std::string& text, unsigned options,
                  std::vector<uint8_t>& tree) {
  try {
    TExprParser parser(data_set, text, options, 0, "", nullptr, EngineTypeMap());
    tree = *parser.FilterData();
    return true;
  } catch (const Exception&) {
    return false;  // a refused text: its message is the parser's answer
  }
}

}  // namespace snyltdyr::fuzz
