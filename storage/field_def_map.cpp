#include "storage/field_def_map.h"

#include <cstdlib>

namespace snyltdyr {

namespace {

// Subtypes that refine a type code.
constexpr uint16_t kSubMoney = 21;
constexpr uint16_t kSubMemo = 22;
constexpr uint16_t kSubBinary = 23;
constexpr uint16_t kSubFmtMemo = 24;
constexpr uint16_t kSubOle = 25;
constexpr uint16_t kSubGraphic = 26;
constexpr uint16_t kSubDbaseOle = 27;
constexpr uint16_t kSubTypedBinary = 28;
constexpr uint16_t kSubAutoInc = 29;
constexpr uint16_t kSubFixed = 31;
constexpr uint16_t kSubOraClob = 33;
constexpr uint16_t kSubOraBlob = 34;

TFieldType BlobTypeOf(uint16_t subtype) {
  switch (subtype) {
    case kSubMemo: return ftMemo;
    case kSubBinary: return ftBlob;
    case kSubFmtMemo: return ftFmtMemo;
    case kSubOle: return ftParadoxOle;
    case kSubGraphic: return ftGraphic;
    case kSubDbaseOle: return ftDBaseOle;
    case kSubTypedBinary: return ftTypedBinary;
    case kSubOraClob: return ftOraClob;
    case kSubOraBlob: return ftOraBlob;
    default: return ftBlob;
  }
}

}  // namespace

TFieldType FieldTypeOf(uint16_t type, uint16_t subtype) {
  switch (type) {
    case 1: return ftString;
    case 2: return ftDate;
    case 3: return BlobTypeOf(subtype);
    case 4: return ftBoolean;
    case 5: return ftSmallint;
    case 6: return subtype == kSubAutoInc ? ftAutoInc : ftInteger;
    case 7: return subtype == kSubMoney ? ftCurrency : ftFloat;
    case 8: return ftBCD;
    case 9: return ftBytes;
    case 10: return ftTime;
    case 11: return ftDateTime;
    case 12: return ftWord;
    case 13: return ftInteger;
    case 15: return ftVarBytes;
    case 18: case 19: return ftLargeint;
    case 20: return ftADT;
    case 21: return ftArray;
    case 22: return ftReference;
    case 23: return ftDataSet;
    case 24: return ftTimeStamp;
    default: return ftUnknown;  // 0, 14, 16, 17 and every code above 24
  }
}

void DefinitionOf(const engine::FieldDescriptor& descriptor, TFieldDef& def) {
  TFieldType type = FieldTypeOf(descriptor.type, descriptor.subtype);
  int size = 0;
  int precision = 0;
  switch (type) {
    case ftString: case ftBytes: case ftVarBytes: case ftADT: case ftArray: case ftReference:
      size = descriptor.units1;
      if (size == 0) type = ftUnknown;
      break;
    case ftBCD:
      size = std::abs(descriptor.units2);
      precision = descriptor.units1;
      break;
    case ftSmallint: case ftWord:
      if (descriptor.length != 2) type = ftUnknown;
      break;
    default:
      if (IsBlobType(type)) size = descriptor.units1;
      break;
  }
  def.data_type = type;
  def.size = size;
  def.precision = precision;
  def.required = descriptor.required && type != ftAutoInc;
  def.read_only = descriptor.read_only;
  def.fixed_char = descriptor.subtype == kSubFixed;
}

}  // namespace snyltdyr
