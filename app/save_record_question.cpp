#include "app/save_record_question.h"

#include "dataset/data_set.h"
#include "toolkit/events/message_box.h"

namespace snyltdyr {

bool AskSaveRecord(TDataSet& table, const std::string& caption) {
  if (!table.Active()) return true;
  const DataState state = table.DataState();
  if (state != StateEdit && state != StateInsert) return true;
  // Text still in a control (the grid's editor, the comment box) belongs to the record.
  table.GatherControlEdits();
  if (state == StateInsert && !table.RecordModified()) {
    table.Cancel();
    return true;
  }
  const MessageBoxRequest question{kSaveRecordQuestion, caption, TMsgDlgButtons::YesNoCancel,
                                   TMsgDlgIcon::Question};
  switch (MessageBox(question)) {
    case TModalResult::Cancel:
      return false;
    case TModalResult::No:
      table.Cancel();
      return true;
    case TModalResult::Ok:
    case TModalResult::Yes:
      table.Post();
      return true;
  }
  return false;
}

}  // namespace snyltdyr
