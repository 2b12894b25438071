#include "storage/db_data_set.h"

#include "dataset/data_set_messages.h"
#include "storage/session.h"

namespace snyltdyr {

TDBDataSet::TDBDataSet(std::string name) : TEngineDataSet(std::move(name)) {}

TDBDataSet::~TDBDataSet() = default;

void TDBDataSet::SetDatabaseName(const std::string& name) {
  if (name == database_name_) return;
  CheckInactive();
  if (database_ != nullptr) DatabaseError("Cannot perform this operation on an open database");
  database_name_ = name;
  NotifyDataEvent(EventPropertyChanged, 0);
}

void TDBDataSet::SetSessionName(const std::string& name) {
  if (name == session_name_) return;
  CheckInactive();
  if (database_ != nullptr) DatabaseError("Cannot perform this operation on an open database");
  session_name_ = name;
  NotifyDataEvent(EventPropertyChanged, 0);
}

engine::Handle TDBDataSet::DBHandle() const {
  return database_ != nullptr ? database_->Handle() : engine::kNoHandle;
}

void TDBDataSet::HoldDatabase(TDBHoldReason reason) {
  if (hold_reasons_ == 0) {
    // The default session starts on the first connection; a failure holds nothing.
    database_ = Session().OpenDatabase(database_name_);
    if (!StorageCursorOpen()) SetLocale(database_->Locale());
  }
  hold_reasons_ |= reason;
}

void TDBDataSet::ReleaseDatabase(TDBHoldReason reason) {
  hold_reasons_ &= static_cast<uint16_t>(~reason);
  if (hold_reasons_ != 0 || database_ == nullptr) return;
  TDatabase* database = database_;
  database_ = nullptr;
  database->Session().CloseDatabase(database);
}

engine::Handle TDBDataSet::DefaultLocale() const { return Session().Locale(); }

void TDBDataSet::OpenStorage(bool info_only) {
  if (!info_only) {
    HoldDatabase(dbCursorOpen);
    SetLocale(database_->Locale());
  }
  TEngineDataSet::OpenStorage(info_only);
}

void TDBDataSet::CloseSequence() {
  TEngineDataSet::CloseSequence();
  ReleaseDatabase(dbCursorOpen);
}

}  // namespace snyltdyr
