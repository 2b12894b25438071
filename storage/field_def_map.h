// Field definitions from the engine's field descriptors: the engine's type codes and
// subtypes mapped onto the dataset's field types, with sizes and attributes.
#pragma once

#include "dataset/fields/field_defs.h"
#include "storage/engine/engine.h"

namespace snyltdyr {

// The field type of an engine type code and subtype; sizes are applied by
// DefinitionOf (a text of size 0 becomes ftUnknown there).
TFieldType FieldTypeOf(uint16_t type, uint16_t subtype);

// Type, size, precision and attributes of `descriptor`; the name and number are the
// caller's (the name needs the table's native text).
void DefinitionOf(const engine::FieldDescriptor& descriptor, TFieldDef& def);

}  // namespace snyltdyr
