// Fuzz target: the key expression and FOR condition of an index tag, as a tag header
// holds them, parsed against the fuzz table's fields and evaluated on its records.
//
// The input is the key expression, then (after a line break) the FOR condition. Properties:
// nothing crashes; an expression that parses gives, for every record, a key of the tag's
// length (its width, at most the format's 100, for text keys).
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "storage/engine/keys/key_codec.h"
#include "storage/engine/keys/key_expression.h"

namespace eng = snyltdyr::engine;
using snyltdyr::fuzz::FuzzFail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t line = input.find('\n');
  const std::string key_text = input.substr(0, line);
  const snyltdyr::fuzz::FuzzTable& table = snyltdyr::fuzz::TheFuzzTable();
  if (line != std::string::npos) {
    if (auto condition = eng::KeyCondition::Parse(input.substr(line + 1), nullptr))
      for (uint32_t recno = 1; recno <= table.records.size(); recno += 11) condition->Holds(table.View(recno));
  }
  std::string why;
  auto expr = eng::KeyExpression::Parse(key_text, table.fields, snyltdyr::fuzz::kFuzzCodePage, &why);
  if (!expr) return 0;
  const char type = expr->type();
  const size_t length = type == 'N' ? eng::kNumericKeyLength
                        : type == 'D' ? eng::kDateKeyLength
                                      : std::min(expr->width(), eng::kMaxCharacterKeyLength);
  if (length == 0) return 0;
  for (uint32_t recno = 1; recno <= table.records.size(); recno += 11) {
    const auto key = expr->MakeKey(table.View(recno), type, length);
    if (!key || key->size() != length) FuzzFail("a key of the wrong length from " + key_text);
    eng::KeyToText(type, *key);
  }
  return 0;
}
