// Tables for tests, made and filled through the storage engine: start the engine, open
// the standard database of a directory, create a table with given fields, append rows.
//
//   testsupport::EngineSession engine;                // starts and stops the engine
//   testsupport::TempDir dir;
//   engine::Handle db = engine.Database(dir.path());
//   testsupport::CreateTable(db, "T.DBF", {{"NAME", 'C', 10}, {"N", 'N', 5, 1}}, 0x17);
//   engine::Handle cur = testsupport::OpenCursor(db, "T.DBF");
//   testsupport::AppendRow(cur, {testsupport::Text("Ola"), testsupport::Number(2.5)});
//
// Failures are reported as GoogleTest failures with the engine's error text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/engine/engine.h"

namespace snyltdyr::testsupport {

namespace eng = ::snyltdyr::engine;

// The text of the engine's error stack, for failure messages.
inline std::string EngineErrorText(eng::Result code) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", code);
  std::string text = std::string("engine code $") + hex;
  eng::ErrorEntry entry;
  for (uint16_t i = 1; eng::GetErrorEntry(i, entry) == eng::kOk; ++i) text += "; " + entry.text;
  return text;
}

#define SNYLTDYR_ENGINE_OK(call)                                               \
  do {                                                                         \
    ::snyltdyr::engine::Result engine_ok_result_ = (call);                     \
    ASSERT_EQ(engine_ok_result_, ::snyltdyr::engine::kOk)                      \
        << #call << ": " << ::snyltdyr::testsupport::EngineErrorText(engine_ok_result_); \
  } while (0)

class EngineSession {
 public:
  EngineSession() {
    eng::Result r = eng::StartEngine(eng::kInterfaceVersion, {"0009"});
    started_ = r == eng::kOk;
    EXPECT_TRUE(r == eng::kOk || r == eng::kErrAlreadyInitialized) << EngineErrorText(r);
  }
  ~EngineSession() {
    if (started_) eng::StopEngine();
  }
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  // The standard database with its directory set to `directory`.
  eng::Handle Database(const std::string& directory) {
    eng::Handle db = eng::kNoHandle;
    EXPECT_EQ(eng::OpenDatabase("", eng::OpenMode::kReadWrite, eng::ShareMode::kShared, db), eng::kOk);
    EXPECT_EQ(eng::SetDirectory(db, directory), eng::kOk);
    return db;
  }

 private:
  bool started_ = false;
};

inline eng::FieldValue Blank() { return eng::FieldValue{}; }
inline eng::FieldValue Text(const std::string& s) {
  eng::FieldValue v;
  v.blank = false;
  v.text = s;
  return v;
}
inline eng::FieldValue Number(double d) {
  eng::FieldValue v;
  v.blank = false;
  v.number = d;
  return v;
}
inline eng::FieldValue Bool(bool b) {
  eng::FieldValue v;
  v.blank = false;
  v.boolean = b;
  return v;
}
// A date as its day number (1 January of year 1 is day 1).
inline eng::FieldValue Date(int y, int m, int d) {
  static const int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int py = y - 1;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  eng::FieldValue v;
  v.blank = false;
  v.date = py * 365 + py / 4 - py / 100 + py / 400 + kBefore[m - 1] + d + (leap && m > 2 ? 1 : 0);
  return v;
}

inline void CreateTable(eng::Handle db, const std::string& name,
                        const std::vector<eng::NewField>& fields, uint8_t language_driver) {
  eng::Result r = eng::CreateTable(db, name, fields, language_driver);
  ASSERT_EQ(r, eng::kOk) << "CreateTable " << name << ": " << EngineErrorText(r);
}

inline eng::Handle OpenCursor(eng::Handle db, const std::string& name,
                              eng::OpenMode mode = eng::OpenMode::kReadWrite,
                              eng::ShareMode share = eng::ShareMode::kShared) {
  eng::OpenTableArgs args;
  args.database = db;
  args.table_name = name;
  args.open_mode = mode;
  args.share_mode = share;
  eng::Handle cursor = eng::kNoHandle;
  eng::Result r = eng::OpenTable(args, cursor);
  EXPECT_EQ(r, eng::kOk) << "OpenTable " << name << ": " << EngineErrorText(r);
  return cursor;
}

inline std::vector<uint8_t> NewBuffer(eng::Handle cursor) {
  eng::CursorProperties props;
  EXPECT_EQ(eng::GetCursorProperties(cursor, props), eng::kOk);
  std::vector<uint8_t> buffer(props.record_size);
  EXPECT_EQ(eng::InitRecord(cursor, buffer.data()), eng::kOk);
  return buffer;
}

// Stores `text` (native bytes) as the memo of field `field` of `buffer`.
inline void SetMemo(eng::Handle cursor, std::vector<uint8_t>& buffer, uint16_t field,
                    const std::string& text) {
  ASSERT_EQ(eng::OpenBlob(cursor, buffer.data(), field, eng::BlobMode::kReadWrite), eng::kOk);
  ASSERT_EQ(eng::TruncateBlob(cursor, buffer.data(), field, 0), eng::kOk);
  ASSERT_EQ(eng::PutBlob(cursor, buffer.data(), field, 0, static_cast<uint32_t>(text.size()),
                         reinterpret_cast<const uint8_t*>(text.data())),
            eng::kOk);
}

// Appends a record with the values of the fields in order (memo fields: a Text value is
// the memo's content, in native bytes).
inline void AppendRow(eng::Handle cursor, const std::vector<eng::FieldValue>& values) {
  std::vector<eng::FieldDescriptor> fields;
  ASSERT_EQ(eng::GetFieldDescriptors(cursor, fields), eng::kOk);
  std::vector<uint8_t> buffer = NewBuffer(cursor);
  for (size_t i = 0; i < values.size() && i < fields.size(); ++i) {
    const uint16_t number = static_cast<uint16_t>(i + 1);
    if (fields[i].type == eng::kTypeBlob) {
      if (!values[i].blank) SetMemo(cursor, buffer, number, values[i].text);
      continue;
    }
    eng::Result r = eng::PutField(cursor, number, buffer.data(), values[i]);
    ASSERT_EQ(r, eng::kOk) << "field " << number << ": " << EngineErrorText(r);
  }
  eng::Result r = eng::AppendRecord(cursor, buffer.data());
  ASSERT_EQ(r, eng::kOk) << EngineErrorText(r);
}

// The memo of field `field` of the cursor's current record (native bytes).
inline std::string ReadMemo(eng::Handle cursor, std::vector<uint8_t>& buffer, uint16_t field) {
  if (eng::OpenBlob(cursor, buffer.data(), field, eng::BlobMode::kReadOnly) != eng::kOk) return "<error>";
  uint32_t size = 0;
  eng::GetBlobSize(cursor, buffer.data(), field, size);
  std::string text(size, '\0');
  uint32_t read = 0;
  eng::GetBlob(cursor, buffer.data(), field, 0, size, reinterpret_cast<uint8_t*>(text.data()), read);
  eng::FreeBlob(cursor, buffer.data(), field);
  text.resize(read);
  return text;
}

}  // namespace snyltdyr::testsupport
