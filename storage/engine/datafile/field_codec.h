// Field values in record bytes: reading a field into an engine value and writing one.
//
// Stored forms (all text): C left-aligned, blank-padded; N and F right-aligned decimal
// text with the declared decimals; D "YYYYMMDD"; L one letter; M the memo's block number.
// Reading is forgiving about what other programs write: trailing NULs, an all-NUL or
// "00000000" date, a lone "." or NULs in a number, "?" in a logical all mean no value,
// and so does a value that does not parse (a garbled field never stops a table from being
// read). Writing is strict: a number that does not fit its field is refused, never
// written as asterisks or cut.
#pragma once

#include <cstdint>

#include "storage/engine/engine.h"
#include "storage/engine/datafile/record_view.h"

namespace snyltdyr::engine {

// The engine type and subtype of a field (kTypeUnknown for types this engine does not
// read).
void EngineTypeOf(const FieldDesc& field, uint16_t& type, uint16_t& subtype);

// `field_bytes` are the field's `field.length` bytes. Text is converted from `code_page`
// to code page 1252 when `translate` is set.
Result DecodeField(const FieldDesc& field, const uint8_t* field_bytes, int code_page,
                   bool translate, FieldValue& value);
Result EncodeField(const FieldDesc& field, const FieldValue& value, int code_page,
                   bool translate, uint8_t* field_bytes);

// Day numbers counting 1 January of year 1 as day 1.
int32_t DayNumber(int year, int month, int day);
void CivilFromDayNumber(int32_t day_number, int& year, int& month, int& day);

}  // namespace snyltdyr::engine
