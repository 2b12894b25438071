#include "controls/db_navigator.h"

#include <QMouseEvent>

#include "dataset/links/data_source.h"
#include "toolkit/widgets/align.h"
#include "toolkit/look/bitmap_resource.h"
#include "toolkit/events/message_box.h"

namespace snyltdyr {
namespace {

constexpr const char* kButtonNames[kNavigateButtonCount] = {
    "FIRST", "PRIOR", "NEXT", "LAST", "INSERT", "DELETE", "EDIT", "POST", "CANCEL", "REFRESH"};
constexpr const char* kDefaultHints[kNavigateButtonCount] = {
    "First record", "Prior record", "Next record", "Last record",  "Insert record",
    "Delete record", "Edit record", "Post edit",   "Cancel edit", "Refresh data"};
constexpr const char* kDeleteRecordQuestion = "Delete record?";
constexpr const char* kConfirmCaption = "Confirm";

constexpr int kInitialRepeatPause = 400;  // ms until a held "Prior"/"Next" repeats
constexpr int kRepeatPause = 100;         // ms between repeats
constexpr int kMinButtonWidth = 20;
constexpr int kMinHeight = 18;

}  // namespace

// ---- TNavButton ----------------------------------------------------------------------

TNavButton::TNavButton(TDBNavigator* navigator, TNavigateBtn index)
    : TSpeedButton(navigator),
      navigator_(navigator),
      index_(index),
      allow_timer_(index == nbPrior || index == nbNext) {
  SetGlyph(LoadBitmapResource(std::string("dbn_") + kButtonNames[index]), 2);
  OnClick = [this] { navigator_->BtnClick(index_); };
}

void TNavButton::mousePressEvent(QMouseEvent* event) {
  TSpeedButton::mousePressEvent(event);
  if (event->button() != Qt::LeftButton || !Pressed()) return;
  navigator_->focused_button_ = index_;
  if (!allow_timer_) return;
  if (!repeat_timer_) {
    repeat_timer_ = std::make_unique<TTimer>();
    repeat_timer_->OnTimer = [this] { RepeatTick(); };
  }
  repeat_timer_->SetEnabled(false);
  repeat_timer_->SetInterval(kInitialRepeatPause);
  repeat_timer_->SetEnabled(true);
}

void TNavButton::mouseReleaseEvent(QMouseEvent* event) {
  // The timer stops also when the click on release fails.
  struct StopTimer {
    TTimer* timer;
    ~StopTimer() {
      if (timer != nullptr) timer->SetEnabled(false);
    }
  } stop{repeat_timer_.get()};
  TSpeedButton::mouseReleaseEvent(event);
}

void TNavButton::RepeatTick() {
  repeat_timer_->SetInterval(kRepeatPause);
  if (!ShowsPressed()) return;
  try {
    Click();
  } catch (...) {
    repeat_timer_->SetEnabled(false);
    throw;
  }
}

// ---- TNavDataLink --------------------------------------------------------------------

void TNavDataLink::ActivityChanged() { navigator_->ActiveChanged(); }
void TNavDataLink::WholeSetChanged() { navigator_->DataChanged(); }
void TNavDataLink::EditModeChanged() { navigator_->EditingChanged(); }

// ---- TDBNavigator --------------------------------------------------------------------

TDBNavigator::TDBNavigator(QWidget* parent, std::string name)
    : TGuarded<QWidget>(parent), TComponent(std::move(name)) {
  setFocusPolicy(Qt::NoFocus);
  for (int i = 0; i < kNavigateButtonCount; ++i) {
    buttons_[i] = new TNavButton(this, static_cast<TNavigateBtn>(i));
  }
  ApplyHints();
  resize(241, 25);
  ActiveChanged();
}

TDBNavigator::~TDBNavigator() { link_.SetDataSource(nullptr); }

void TDBNavigator::SetDataSource(TDataSource* source) {
  link_.SetDataSource(source);
  ActiveChanged();
}

void TDBNavigator::SetVisibleButtons(TButtonSet buttons) {
  visible_ = buttons & kAllNavigateButtons;
  for (int i = 0; i < kNavigateButtonCount; ++i) buttons_[i]->setVisible((visible_ >> i) & 1);
  ArrangeButtons();
}

void TDBNavigator::SetFlat(bool flat) {
  flat_ = flat;
  for (TNavButton* b : buttons_) b->SetFlat(flat);
}

void TDBNavigator::SetHints(const std::vector<std::string>& hints) {
  hints_ = hints;
  ApplyHints();
}

void TDBNavigator::ApplyHints() {
  for (int i = 0; i < kNavigateButtonCount; ++i) {
    const bool custom = i < static_cast<int>(hints_.size()) && !hints_[i].empty();
    buttons_[i]->SetHint(custom ? hints_[i] : kDefaultHints[i]);
  }
}

bool TDBNavigator::LinkActive() const { return isEnabled() && link_.Active(); }

// The enable rules. "Active": the navigator is enabled and its link is active.
//   First, Prior: not at the start.      Next, Last: not at the end.
//   Delete: modifiable and not empty (not both at the start and at the end).
//   Insert, Refresh: modifiable.          Edit: modifiable, not editing.
//   Post, Cancel: modifiable and editing.
// Activity changes apply every rule; whole-set changes the moving ones and Delete;
// edit-mode changes the editing ones.

void TDBNavigator::ActiveChanged() {
  if (!LinkActive()) {
    for (TNavButton* b : buttons_) b->setEnabled(false);
    return;
  }
  DataChanged();
  EditingChanged();
}

void TDBNavigator::DataChanged() {
  const bool active = LinkActive();
  TDataSet* data_set = link_.DataSet();
  const bool at_start = data_set == nullptr || data_set->AtStart();
  const bool at_end = data_set == nullptr || data_set->AtEnd();
  const bool up = active && !at_start;
  const bool down = active && !at_end;
  buttons_[nbFirst]->setEnabled(up);
  buttons_[nbPrior]->setEnabled(up);
  buttons_[nbNext]->setEnabled(down);
  buttons_[nbLast]->setEnabled(down);
  buttons_[nbDelete]->setEnabled(active && data_set != nullptr && data_set->Modifiable() &&
                                 !(at_start && at_end));
}

void TDBNavigator::EditingChanged() {
  TDataSet* data_set = link_.DataSet();
  const bool can_modify = LinkActive() && data_set != nullptr && data_set->Modifiable();
  const bool editing = link_.InEditMode();
  buttons_[nbInsert]->setEnabled(can_modify);
  buttons_[nbEdit]->setEnabled(can_modify && !editing);
  buttons_[nbPost]->setEnabled(can_modify && editing);
  buttons_[nbCancel]->setEnabled(can_modify && editing);
  buttons_[nbRefresh]->setEnabled(can_modify);
}

void TDBNavigator::BtnClick(TNavigateBtn index) {
  TDataSource* source = DataSource();
  if (source != nullptr && source->DataState() != StateInactive && source->DataSet() != nullptr) {
    if (BeforeAction) BeforeAction(*this, index);
    RunOperation(index, *source->DataSet());
  }
  if (OnClick) OnClick(*this, index);
}

void TDBNavigator::RunOperation(TNavigateBtn index, TDataSet& data_set) {
  switch (index) {
    case nbFirst: data_set.First(); break;
    case nbPrior: data_set.Prior(); break;
    case nbNext: data_set.Next(); break;
    case nbLast: data_set.Last(); break;
    case nbInsert: data_set.Insert(); break;
    case nbEdit: data_set.Edit(); break;
    case nbPost: data_set.Post(); break;
    case nbCancel: data_set.Cancel(); break;
    case nbRefresh: data_set.Refresh(); break;
    case nbDelete:
      if (confirm_delete_ &&
          MessageBox({kDeleteRecordQuestion, kConfirmCaption, TMsgDlgButtons::OkCancel,
                      TMsgDlgIcon::Question}) != TModalResult::Ok) {
        return;
      }
      data_set.Delete();
      break;
  }
}

// Buttons stand side by side from the left, as high as the navigator; the navigator is
// at least 20 pixels a button wide and 18 high. Unaligned, its width is cut to a whole
// number of buttons; aligned, the pixels left over widen some buttons by one, spread
// evenly. Hidden buttons wait beyond the right edge.
void TDBNavigator::ArrangeButtons() {
  if (arranging_) return;
  arranging_ = true;
  int count = 0;
  for (int i = 0; i < kNavigateButtonCount; ++i) count += (visible_ >> i) & 1;
  if (count < 1) count = 1;
  int w = std::max(width(), count * kMinButtonWidth);
  const int h = std::max(height(), kMinHeight);
  const bool aligned = AlignOf(this) != alNone;
  if (!aligned) w = w / count * count;
  if (w != width() || h != height()) resize(w, h);
  const int button_width = w / count;
  const int left_over = w % count;
  int space = count / 2;
  int x = 0;
  for (TNavButton* b : buttons_) {
    if (!((visible_ >> b->Index()) & 1)) {
      b->setGeometry(w + 1, 0, button_width, h);
      continue;
    }
    int this_width = button_width;
    if (left_over != 0) {
      space -= left_over;
      if (space < 0) {
        space += count;
        ++this_width;
      }
    }
    b->setGeometry(x, 0, this_width, h);
    x += this_width;
  }
  arranging_ = false;
}

void TDBNavigator::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ArrangeButtons();
}

void TDBNavigator::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) ActiveChanged();
}

}  // namespace snyltdyr
