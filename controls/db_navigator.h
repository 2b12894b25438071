// TDBNavigator: a row of ten flat buttons that move through and edit the dataset behind
// a data source (first, prior, next, last, insert, delete, edit, post, cancel, refresh).
//
// Each button is enabled only while its operation makes sense (the enable rules in
// db_navigator.cpp); the navigator follows the dataset through its own data link. It is
// never a tab stop and a click does not give it the focus, so it has no keyboard
// behaviour. "Prior" and "Next" repeat while held: first after 400 ms, then every 100 ms.
// A failure of an operation goes to the application's default error handler.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/component.h"
#include "dataset/links/data_link.h"
#include "toolkit/events/event_guard.h"
#include "toolkit/widgets/speed_button.h"
#include "toolkit/events/timer.h"

namespace snyltdyr {

enum TNavigateBtn : uint8_t {
  nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh
};
inline constexpr int kNavigateButtonCount = 10;
using TButtonSet = uint16_t;  // bit (1 << TNavigateBtn)
inline constexpr TButtonSet kAllNavigateButtons = (1u << kNavigateButtonCount) - 1;

class TDBNavigator;

// One button of the navigator; "Prior" and "Next" repeat while held.
class TNavButton : public TSpeedButton {
 public:
  TNavButton(TDBNavigator* navigator, TNavigateBtn index);
  TNavigateBtn Index() const { return index_; }
  bool AllowTimer() const { return allow_timer_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void RepeatTick();

  TDBNavigator* navigator_;
  TNavigateBtn index_;
  bool allow_timer_;
  std::unique_ptr<TTimer> repeat_timer_;  // made on first use
};

// The navigator's data link: activity, whole-set and edit-mode changes.
class TNavDataLink : public TDataLink {
 public:
  explicit TNavDataLink(TDBNavigator* navigator) : navigator_(navigator) {}

 protected:
  void ActivityChanged() override;
  void WholeSetChanged() override;
  void EditModeChanged() override;

 private:
  TDBNavigator* navigator_;
};

class TDBNavigator : public TGuarded<QWidget>, public TComponent {
 public:
  using TNavClickEvent = std::function<void(TDBNavigator&, TNavigateBtn)>;

  TDBNavigator(QWidget* parent, std::string name);
  ~TDBNavigator() override;

  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  TButtonSet VisibleButtons() const { return visible_; }
  void SetVisibleButtons(TButtonSet buttons);
  bool Flat() const { return flat_; }
  void SetFlat(bool flat);
  // Custom hints by button index; an empty or missing entry keeps the default hint.
  const std::vector<std::string>& Hints() const { return hints_; }
  void SetHints(const std::vector<std::string>& hints);
  bool ConfirmDelete() const { return confirm_delete_; }
  void SetConfirmDelete(bool confirm) { confirm_delete_ = confirm; }
  TNavigateBtn FocusedButton() const { return focused_button_; }

  TNavButton& Button(TNavigateBtn index) { return *buttons_[index]; }

  // A button's click: its operation on the dataset, between BeforeAction and OnClick.
  void BtnClick(TNavigateBtn index);

  TNavClickEvent BeforeAction;
  TNavClickEvent OnClick;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  friend class TNavButton;
  friend class TNavDataLink;

  void ActiveChanged();
  void DataChanged();
  void EditingChanged();
  void ArrangeButtons();
  void ApplyHints();
  void RunOperation(TNavigateBtn index, TDataSet& data_set);
  bool LinkActive() const;

  TNavDataLink link_{this};
  std::array<TNavButton*, kNavigateButtonCount> buttons_{};
  TButtonSet visible_ = kAllNavigateButtons;
  bool flat_ = false;
  bool confirm_delete_ = true;
  bool arranging_ = false;
  std::vector<std::string> hints_;
  TNavigateBtn focused_button_ = nbFirst;
};

}  // namespace snyltdyr
