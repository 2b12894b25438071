// TSpeedButton: a small button that never takes the focus, with a caption or a glyph.
//
// Clicking: a left-button press shows the button pressed; releasing it over the button
// completes the click, releasing elsewhere cancels it (no change, no OnClick).
//
// Groups: buttons of one parent with the same non-zero GroupIndex act like radio
// buttons. A completed click on a button that is up puts it down and every other down
// button of its group up, so exactly one of the group is down; a click on the down
// button leaves it down (unless AllowAllUp) and still runs OnClick, so clicking it
// applies its choice again. OnClick always runs after the down state has changed.
//
// Look: a Flat button shows its edge only while the mouse is over it or while it is
// pressed or down; a disabled button shows its disabled glyph (the right half of a
// two-image glyph) or grey text.
#pragma once

#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "toolkit/events/event_guard.h"
#include "toolkit/look/font.h"

namespace snyltdyr {

class TSpeedButton : public TGuarded<QWidget> {
 public:
  explicit TSpeedButton(QWidget* parent);

  std::string Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  int32_t GroupIndex() const { return group_index_; }
  void SetGroupIndex(int32_t index) { group_index_ = index; }
  bool Down() const { return down_; }
  // Putting a grouped button down puts the rest of its group up.
  void SetDown(bool down);
  bool AllowAllUp() const { return allow_all_up_; }
  void SetAllowAllUp(bool allow) { allow_all_up_ = allow; }
  bool Flat() const { return flat_; }
  void SetFlat(bool flat);
  // A glyph of `count` images side by side: normal, then disabled.
  void SetGlyph(const QPixmap& glyph, int count);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show);
  // An own font instead of the parent's.
  void SetOwnFont(const TFont& font);
  // True while the left button is held after a press on this button.
  bool Pressed() const { return pressed_; }
  // Pressed with the mouse still over the button: a release now would click.
  bool ShowsPressed() const { return pressed_ && mouse_inside_; }

  // A completed click: the group rule, then OnClick.
  virtual void Click();

  std::function<void()> OnClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateToolTip();
  QPixmap GlyphImage() const;

  std::string caption_;
  std::string hint_;
  int32_t group_index_ = 0;
  bool down_ = false;
  bool allow_all_up_ = false;
  bool flat_ = false;
  bool show_hint_ = false;
  bool pressed_ = false;
  bool mouse_inside_ = false;
  QPixmap glyph_;
  int glyph_count_ = 1;
  std::optional<TFont> own_font_;
};

}  // namespace snyltdyr
