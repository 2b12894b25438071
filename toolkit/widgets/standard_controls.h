// The plain controls of a form: labels, check boxes, edit boxes, images and buttons.
//
// Each is the Qt widget with the few settings the program gives it: a caption or text in
// code page 1252, a designed pixel place (setGeometry), a colour, an own font. They use
// their form's font unless given one.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <string>

#include "toolkit/look/color.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/look/font.h"

namespace snyltdyr {

// A caption on the parent's background.
class TLabel : public TGuarded<QLabel> {
 public:
  TLabel(QWidget* parent, const std::string& caption);
  std::string Caption() const;
  void SetCaption(const std::string& caption);
};

// A box with a caption that the user ticks. OnClick runs whenever Checked changes, by a
// click or by the program.
class TCheckBox : public TGuarded<QCheckBox> {
 public:
  TCheckBox(QWidget* parent, const std::string& caption);
  bool Checked() const { return isChecked(); }
  void SetChecked(bool checked) { setChecked(checked); }

  std::function<void()> OnClick;
};

// A one-line edit box; its background is Color (the window colour unless set).
class TEdit : public TGuarded<QLineEdit> {
 public:
  explicit TEdit(QWidget* parent);
  std::string Text() const;
  void SetText(const std::string& text);
  TColor Color() const { return color_; }
  void SetColor(TColor color);

 private:
  TColor color_ = clWindow;
};

// Without an edit mask a mask edit box is an edit box.
using TMaskEdit = TEdit;

// A picture.
class TImage : public TGuarded<QLabel> {
 public:
  explicit TImage(QWidget* parent);
  void SetPicture(const QPixmap& picture);
};

// A push button with a caption; OnClick runs on a completed click.
class TBitBtn : public TGuarded<QPushButton> {
 public:
  TBitBtn(QWidget* parent, const std::string& caption);
  // Off: the Tab key passes the button by (a click still focuses it).
  void SetTabStop(bool tab_stop);

  std::function<void()> OnClick;
};

}  // namespace snyltdyr
