// TForm: a top-level window of the program.
//
// A form has a caption, a colour, a font its controls inherit, and four events: OnShow
// when it is first shown, OnCloseQuery before it closes (false, or a failure, keeps it
// open), OnClose when it closes, OnKeyDown for keys. With KeyPreview on,
// OnKeyDown sees every key pressed in any of its controls before that control does (the
// application routes it here), and the key then goes on to the control unless the
// handler set it to 0. A maximised form fills the screen's available area also where no
// window manager maximises it, and restoring it gives the bounds it was designed with.
#pragma once

#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "toolkit/look/color.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/look/font.h"
#include "toolkit/events/keys.h"

namespace snyltdyr {

class TForm : public TGuarded<QWidget> {
 public:
  using TNotifyEvent = std::function<void(TForm&)>;
  using TKeyEvent = std::function<void(TForm&, uint16_t& key, TShiftState shift)>;
  using TCloseQueryEvent = std::function<bool(TForm&)>;

  TForm();

  std::string Caption() const;
  void SetCaption(const std::string& caption);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFont& Font() { return font_; }
  bool KeyPreview() const { return key_preview_; }
  void SetKeyPreview(bool on) { key_preview_ = on; }

  // Shows the form maximised; `restored` are the bounds it takes when restored.
  void ShowMaximized(const QRect& restored);

  // The application's key preview: runs OnKeyDown; true when the key was swallowed.
  bool PreviewKeyDown(const QKeyEvent& event);

  TNotifyEvent OnShow;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnClose;
  TKeyEvent OnKeyDown;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ApplyFont();
  bool RunKeyDown(const QKeyEvent& event);

  TColor color_ = clBtnFace;
  TFont font_ = DefaultWindowFont();
  bool key_preview_ = false;
  bool shown_ = false;
  QRect restored_;  // empty until ShowMaximized
};

}  // namespace snyltdyr
