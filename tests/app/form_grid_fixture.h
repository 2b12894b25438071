// The real main window with the keyboard in its grid: keys and typed characters go where
// the focus is, and the loop runs after each so that posted characters arrive.
#pragma once

#include <QLineEdit>
#include <string>

#include "controls/grid/inplace_edit.h"
#include "dataset/fields/fields.h"
#include "form_fixture.h"
#include "support/grid_pixels.h"
#include "support/table_files.h"

namespace snyltdyr::testsupport {

class GridFormTest : public FormTest {
 protected:
  void ShowGrid() {
    Show();
    form->Grid->setFocus();
    Settle();
  }
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  TDBGrid& Grid() { return *form->Grid; }
  TField& Field(const std::string& name) { return Table().FieldByName(name); }
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Key(key, modifiers);
    Settle();
  }
  void Type(const std::string& text) {
    for (char c : text) {
      QTest::keyClick(QApplication::focusWidget(), c);
      Settle();
    }
  }
  // Makes the column of `field` current (with the keyboard's own step).
  void ToColumn(const std::string& field) { Grid().SetSelectedField(&Field(field)); }
  bool EditorShown() {
    return Grid().InplaceEditor() != nullptr && Grid().InplaceEditor()->isVisible();
  }
  std::string EditorText() { return Grid().InplaceEditor()->Text(); }
  std::vector<std::string> GlyphOfCurrentRow() {
    return IndicatorGlyph(Grid().viewport()->grab().toImage(), Grid(), Grid().Row());
  }
  // The records as the independent reader sees them.
  std::vector<DbfRow> Rows() { return DbfreadRows(dir.path()); }
};

}  // namespace snyltdyr::testsupport
