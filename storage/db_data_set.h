// TDBDataSet: an engine dataset tied to a database (a directory of tables) of the
// default session.
//
// The database is held for a set of reasons (cursor open, table operation, reading
// field or index definitions, looking up the table type): it is obtained from the
// session when the first reason is set and released when the last one is cleared.
// Invariant: `database_` is set exactly while `hold_reasons_` is not empty.
#pragma once

#include <cstdint>
#include <string>

#include "storage/engine_data_set.h"

namespace snyltdyr {

class TDatabase;

// Reasons for holding the database, a 16-bit set.
enum TDBHoldReason : uint16_t {
  dbCursorOpen = 1u << 0,
  dbTableOperation = 1u << 3,
  dbReadFieldDefs = 1u << 4,
  dbReadIndexDefs = 1u << 5,
  dbTableType = 1u << 9,
};

class TDBDataSet : public TEngineDataSet {
 public:
  explicit TDBDataSet(std::string name = {});
  ~TDBDataSet() override;

  // The database's name: empty (the working directory), a directory path, or an alias.
  // Changing it on an open dataset is "Cannot perform this operation on an open
  // dataset"; while the database is still held, "Cannot perform this operation on an
  // open database".
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(const std::string& name);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);

  // The database in use (none while nothing holds it).
  TDatabase* Database() const { return database_; }
  engine::Handle DBHandle() const;
  uint16_t HoldReasons() const { return hold_reasons_; }

 protected:
  // Obtains the database for `reason` (the first reason connects it).
  void HoldDatabase(TDBHoldReason reason);
  // Clears `reason`; the last one releases the database.
  void ReleaseDatabase(TDBHoldReason reason);

  engine::Handle DefaultLocale() const override;
  void OpenStorage(bool info_only) override;
  void CloseSequence() override;

 private:
  std::string database_name_;
  std::string session_name_;
  TDatabase* database_ = nullptr;
  uint16_t hold_reasons_ = 0;
};

}  // namespace snyltdyr
