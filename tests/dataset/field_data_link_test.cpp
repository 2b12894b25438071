// The field data link of single-field controls: binding by name, the edit flag, writing
// the control's text back, reloading, and handing the focus to its control.
#include <gtest/gtest.h>

#include "dataset/links/data_source.h"
#include "dataset/links/field_data_link.h"
#include "support/memory_dataset.h"

namespace snyltdyr::testing {
namespace {

using Log = std::vector<std::string>;

// A text control wired to its field link the way the memo is.
class FakeControl : public TComponent, public TFocusableControl {
 public:
  FakeControl(std::string name, Log& log) : TComponent(std::move(name)), log_(log) {
    link.SetOwnerControl(this);
    link.OnFieldDataChange = [this](TFieldDataLink& l) {
      text = l.Field() ? l.Field()->AsString() : std::string();
      log_.push_back(Name() + ".reload");
    };
    link.OnFieldUpdateData = [this](TFieldDataLink& l) {
      log_.push_back(Name() + ".update");
      l.Field()->SetAsString(text);
    };
    link.OnFieldEditingChange = [this](TFieldDataLink&) { ++editing_changes; };
    link.OnFieldActiveChange = [this](TFieldDataLink&) { ++active_changes; };
  }
  // The user types: the control asks for edit state and refuses the key without it.
  bool Type(const std::string& new_text) {
    if (!link.Edit()) return false;
    text = new_text;
    link.SetControlModified();
    return true;
  }
  bool CanFocus() const override { return focusable; }
  void SetFocus() override { log_.push_back(Name() + ".focus"); }

  TFieldDataLink link;
  std::string text;
  bool focusable = true;
  int editing_changes = 0;
  int active_changes = 0;

 private:
  Log& log_;
};

struct Fixture {
  Log log;
  SampleTable sample{3};
  TDataSource source{"SnyltdyrSource"};
  FakeControl memo{"Memo1", log};
  TMemoryDataSet& table = sample.table;

  Fixture() {
    source.SetDataSet(&table);
    memo.link.SetFieldName("NAVN");
    memo.link.SetDataSource(&source);
    source.OnDataChange = [this](TDataSource&, TField* field) {
      log.push_back("source.change(" + (field ? field->FieldName() : std::string()) + ")");
    };
  }
};

TEST(FieldDataLink, BindsWhenTheDatasetOpensAndUnbindsWhenItCloses) {
  Fixture f;
  EXPECT_EQ(f.memo.link.Field(), nullptr);
  f.table.Open();
  EXPECT_EQ(f.memo.link.Field(), &f.sample.navn);
  EXPECT_EQ(f.memo.text, "R1");
  EXPECT_EQ(f.memo.active_changes, 1);
  f.table.Next();
  EXPECT_EQ(f.memo.text, "R2");
  f.table.Close();
  EXPECT_EQ(f.memo.link.Field(), nullptr);
  EXPECT_EQ(f.memo.active_changes, 2);
}

TEST(FieldDataLink, AMissingFieldIsReportedWithTheControlsOrTheDatasetsName) {
  Fixture f;
  f.table.Open();
  try {
    f.memo.link.SetFieldName("NOPE");
    FAIL() << "no error";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Memo1: Field 'NOPE' not found");
  }
  EXPECT_EQ(f.memo.link.Field(), nullptr);
  f.memo.link.SetOwnerControl(nullptr);
  try {
    f.memo.link.SetFieldName("NIX");
    FAIL() << "no error";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "SnyltdyrTable: Field 'NIX' not found");
  }
}

TEST(FieldDataLink, ANameDifferingInCaseRebindsToTheSameField) {
  Fixture f;
  f.table.Open();
  f.log.clear();
  f.memo.link.SetFieldName("navn");
  EXPECT_EQ(f.memo.link.Field(), &f.sample.navn);
  EXPECT_EQ(f.log, (Log{"Memo1.reload"}));
  f.log.clear();
  f.memo.link.SetFieldName("navn");
  EXPECT_TRUE(f.log.empty());
}

TEST(FieldDataLink, TypingStartsEditingOnlyWhenTheFieldCanBeModified) {
  Fixture f;
  f.table.Open();
  f.sample.navn.SetReadOnly(true);
  EXPECT_FALSE(f.memo.Type("x"));
  EXPECT_EQ(f.table.DataState(), StateBrowse);
  f.sample.navn.SetReadOnly(false);
  f.memo.link.SetReadOnly(true);
  EXPECT_FALSE(f.memo.Type("x"));
  f.memo.link.SetReadOnly(false);
  EXPECT_TRUE(f.memo.Type("x"));
  EXPECT_EQ(f.table.DataState(), StateEdit);
  EXPECT_TRUE(f.memo.link.Editing());
  EXPECT_TRUE(f.memo.link.ControlModified());
  EXPECT_EQ(f.memo.editing_changes, 1);
}

TEST(FieldDataLink, PostWritesTheTextBackWithoutReloadingTheWritingControl) {
  Fixture f;
  FakeControl other("Edit1", f.log);
  other.link.SetFieldName("NAVN");
  other.link.SetDataSource(&f.source);
  f.table.Open();
  ASSERT_TRUE(f.memo.Type("typed"));
  f.log.clear();
  f.table.Post();
  EXPECT_EQ(f.log, (Log{"Memo1.update", "Edit1.reload", "source.change(NAVN)", "Edit1.reload",
                        "Memo1.reload", "source.change()"}));
  EXPECT_EQ(f.sample.StoredNames().front(), "typed");
  EXPECT_FALSE(f.memo.link.ControlModified());
  EXPECT_FALSE(f.memo.link.Editing());
  other.link.SetDataSource(nullptr);
}

TEST(FieldDataLink, AnUnmodifiedControlWritesNothingBack) {
  Fixture f;
  f.table.Open();
  f.table.Edit();
  f.sample.tall.SetAsDouble(5);
  f.log.clear();
  f.table.Post();
  EXPECT_EQ(std::count(f.log.begin(), f.log.end(), "Memo1.update"), 0);
}

TEST(FieldDataLink, ChangesOfOtherFieldsAreIgnored) {
  Fixture f;
  f.table.Open();
  f.table.Edit();
  f.log.clear();
  f.sample.tall.SetAsDouble(7);
  EXPECT_EQ(f.log, (Log{"source.change(TALL)"}));
  f.sample.navn.SetAsString("direct");
  EXPECT_EQ(f.log.at(1), "Memo1.reload");
  EXPECT_EQ(f.memo.text, "direct");
}

TEST(FieldDataLink, RevertReloadsTheFieldAndDropsThePendingText) {
  Fixture f;
  f.table.Open();
  f.memo.Type("typo");
  f.memo.link.Revert();
  EXPECT_EQ(f.memo.text, "R1");
  EXPECT_FALSE(f.memo.link.ControlModified());
  f.table.Post();
  EXPECT_EQ(f.sample.StoredNames().front(), "R1");
}

TEST(FieldDataLink, AFocusRequestGoesToTheFirstFocusableControlOfTheField) {
  Fixture f;
  FakeControl other("Edit1", f.log);
  other.link.SetFieldName("NAVN");
  other.link.SetDataSource(&f.source);  // told first: the last attached hears first
  FakeControl tall("Edit2", f.log);
  tall.link.SetFieldName("TALL");
  tall.link.SetDataSource(&f.source);
  f.table.Open();
  f.log.clear();
  f.sample.navn.RequestFocus();
  EXPECT_EQ(f.log, (Log{"Edit1.focus"}));
  other.focusable = false;
  f.log.clear();
  f.sample.navn.RequestFocus();
  EXPECT_EQ(f.log, (Log{"Memo1.focus"}));
  tall.link.SetDataSource(nullptr);
  other.link.SetDataSource(nullptr);
}

}  // namespace
}  // namespace snyltdyr::testing
