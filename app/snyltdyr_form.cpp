#include "app/snyltdyr_form.h"

#include <QApplication>
#include <utility>

#include "app/repair_dialog.h"
#include "app/save_record_question.h"
#include "app/start_folders.h"
#include "app/chart/chart_window.h"
#include "controls/db_memo.h"
#include "controls/grid/db_grid.h"
#include "controls/db_navigator.h"
#include "runtime/exception.h"
#include "toolkit/widgets/align.h"
#include "toolkit/look/bitmap_resource.h"
#include "toolkit/events/busy_cursor.h"
#include "toolkit/widgets/panel.h"
#include "toolkit/widgets/speed_button.h"
#include "toolkit/widgets/standard_controls.h"

namespace snyltdyr {
namespace {

// Restored bounds of the window; it opens maximised.
const QRect kRestoredBounds(197, 152, 652, 367);

}  // namespace

TSnyltdyrForm::TSnyltdyrForm(std::string folder) : folder_(std::move(folder)) {
  Register.SetFallbackDirectory(FallbackFolderSetting());
  SetCaption("Snyltdyr");
  SetColor(clBtnFace);
  Font() = TFont("Arial", -13, clBlack);
  SetKeyPreview(true);
  setWindowIcon(QIcon(LoadBitmapResource("PROGRAM_ICON")));
  resize(kRestoredBounds.size());

  CreatePanel1();
  CreatePanel2();
  CreateMemo();
  CreateGrid();
  SetTabOrder();

  OnShow = [this](TForm&) { FormShow(); };
  OnCloseQuery = [this](TForm&) { return FormCloseQuery(); };
  OnClose = [this](TForm&) { FormClose(); };
  OnKeyDown = [this](TForm&, uint16_t& key, TShiftState shift) { FormKeyDown(key, shift); };
}

TSnyltdyrForm::~TSnyltdyrForm() {
  // The controls go first, while the data source they are linked to still exists.
  const QObjectList children = this->children();
  for (QObject* child : children) {
    if (child->isWidgetType()) delete child;
  }
}

TSpeedButton* TSnyltdyrForm::MakeButton(QWidget* parent, const std::string& caption, int left,
                                        int top, int width, int height, int32_t group) {
  auto* button = new TSpeedButton(parent);
  button->setGeometry(left, top, width, height);
  button->SetCaption(caption);
  button->SetFlat(true);
  button->SetGroupIndex(group);
  return button;
}

void TSnyltdyrForm::CreatePanel1() {
  Panel1 = new TPanel(this);
  Panel1->setObjectName("Panel1");
  Panel1->resize(width(), 41);
  SetAlign(Panel1, alTop);

  SpeedButton2 = MakeButton(Panel1, "+", 4, 4, 13, 17, 0);
  SpeedButton2->SetHint("\xD8k st\xF8rrelse p\xE5 font");
  SpeedButton2->SetShowHint(true);
  SpeedButton2->OnClick = [this] { SpeedButton2Click(); };
  SpeedButton1 = MakeButton(Panel1, "-", 4, 20, 13, 17, 0);
  SpeedButton1->SetHint("Reduser st\xF8rrelse p\xE5 font");
  SpeedButton1->SetShowHint(true);
  SpeedButton1->OnClick = [this] { SpeedButton1Click(); };

  Image1 = new TImage(Panel1);
  Image1->setGeometry(20, 4, 33, 33);
  Image1->SetPicture(LoadBitmapResource("PROGRAM_ICON"));

  DBNavigator1 = new TDBNavigator(Panel1, "DBNavigator1");
  DBNavigator1->setGeometry(64, 8, 240, 25);
  DBNavigator1->SetFlat(true);
  DBNavigator1->SetDataSource(&Register.SnyltdyrSource);

  BitBtn1 = new TBitBtn(Panel1, "Fiks formatering");
  BitBtn1->setGeometry(320, 8, 121, 25);
  BitBtn1->SetTabStop(false);
  BitBtn1->OnClick = [this] { BitBtn1Click(); };

  ReadOnlyNotice = new TLabel(Panel1, "");
  ReadOnlyNotice->setGeometry(456, 1, 820, 39);  // three lines fit in the panel
  ReadOnlyNotice->setWordWrap(true);
  ReadOnlyNotice->setFont(ToQFont(TFont("Arial", -10, clMaroon)));
  ReadOnlyNotice->setStyleSheet("color: #800000");
  ReadOnlyNotice->hide();

  RepairButton = new TBitBtn(Panel1, "Reparer tabellen\x85");
  RepairButton->setGeometry(456, 8, 121, 25);
  RepairButton->SetTabStop(false);
  RepairButton->OnClick = [this] { RepairButtonClick(); };
  RepairButton->hide();
}

void TSnyltdyrForm::CreatePanel2() {
  Panel2 = new TPanel(this);
  Panel2->setObjectName("Panel2");
  Panel2->resize(width(), 41);
  SetAlign(Panel2, alTop);

  SpeedButton3 = MakeButton(Panel2, "Alle", 16, 8, 57, 25, 1);
  SpeedButton3->SetDown(true);
  SpeedButton3->OnClick = [this] { SpeedButton3Click(); };
  SpeedButton4 = MakeButton(Panel2, "Haptor", 72, 8, 57, 25, 1);
  SpeedButton4->OnClick = [this] { SpeedButton4Click(); };
  SpeedButton5 = MakeButton(Panel2, "Tricodina", 128, 8, 65, 25, 1);
  SpeedButton5->OnClick = [this] { SpeedButton5Click(); };

  Funn = new TCheckBox(Panel2, "Funn");
  Funn->setGeometry(208, 6, 57, 17);
  Funn->OnClick = [this] { Register.Funn = Funn->Checked(); };
  Behandling = new TCheckBox(Panel2, "Behandling");
  Behandling->setGeometry(208, 22, 89, 17);
  Behandling->OnClick = [this] { BehandlingClick(); };

  Label3 = new TLabel(Panel2, "\xC5rsklasse");
  Label3->setGeometry(304, 4, 58, 16);
  SpeedButton12 = MakeButton(Panel2, "Alle", 304, 20, 33, 17, 2);
  SpeedButton12->SetOwnFont(TFont("Arial", -11, clBlack));
  SpeedButton12->SetDown(true);
  SpeedButton12->OnClick = [this] { YearClassClick(-1); };
  struct YearButton {
    TSpeedButton** button;
    const char* caption;
    int left;
    int32_t year_class;
  };
  const YearButton years[] = {{&SpeedButton7, "0", 336, 0},  {&SpeedButton6, "1", 352, 1},
                              {&SpeedButton8, "2", 368, 2},  {&SpeedButton9, "3", 384, 3},
                              {&SpeedButton10, "4", 400, 4}, {&SpeedButton11, "5", 416, 5}};
  for (const YearButton& y : years) {
    *y.button = MakeButton(Panel2, y.caption, y.left, 20, 17, 17, 2);
    const int32_t year_class = y.year_class;
    (*y.button)->OnClick = [this, year_class] { YearClassClick(year_class); };
  }

  Label1 = new TLabel(Panel2, "Antall:");
  Label1->setGeometry(608, 12, 37, 16);
  Antall = new TEdit(Panel2);
  Antall->setGeometry(648, 8, 49, 24);
  Antall->SetColor(clBtnFace);
  Antall->SetText("0");
  Label2 = new TLabel(Panel2, "Snitt:");
  Label2->setGeometry(704, 12, 31, 16);
  Grad = new TMaskEdit(Panel2);
  Grad->setGeometry(736, 8, 49, 24);
  Grad->SetColor(clBtnFace);
  Grad->SetText("0");

  DiagramButton = new TBitBtn(Panel2, "Diagram");
  DiagramButton->setGeometry(800, 8, 73, 25);
  DiagramButton->SetTabStop(false);
  DiagramButton->OnClick = [this] { DiagramClick(); };
}

void TSnyltdyrForm::CreateMemo() {
  DBMemo1 = new TDBMemo(this, "DBMemo1");
  DBMemo1->resize(width(), 104);
  SetAlign(DBMemo1, alBottom);
  DBMemo1->SetDataSource(&Register.SnyltdyrSource);
  DBMemo1->SetDataField("KOMENT");
}

void TSnyltdyrForm::CreateGrid() {
  Grid = new TDBGrid(this);
  Grid->setObjectName("Grid");
  SetAlign(Grid, alClient);
  Grid->Font() = TFont("Arial", -13, clBlack);
  Grid->TitleFont() = TFont("Arial", -11, clMaroon, true);
  Grid->SetDataSource(&Register.SnyltdyrSource);
  Grid->OnTitleClick = [this](TColumn& column) { GridTitleClick(column); };
}

// Tab order: the grid, the comment box, then the filter panel's boxes and figures. The
// navigator and "Fiks formatering" are no tab stops.
void TSnyltdyrForm::SetTabOrder() {
  QWidget* order[] = {Grid, DBMemo1, Funn, Behandling, Antall, Grad};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TSnyltdyrForm::ShowFigures() {
  Antall->SetText(Register.AntallText());
  Grad->SetText(Register.GradText());
  if (Chart != nullptr && Chart->isVisible()) Chart->SelectionChanged();
}

// ---- Handlers --------------------------------------------------------------------------

// Runs ShowTableState when the scope ends, also after a failure.
struct TSnyltdyrForm::TableStateShown {
  TSnyltdyrForm* form;
  ~TableStateShown() { form->ShowTableState(); }
};

void TSnyltdyrForm::FormShow() {
  TBusyCursor busy;
  TableStateShown shown{this};
  // The folder named at start (else the working directory), then the fallback folder.
  RefuseMissingFolder(folder_);
  Register.SnyltdyrTable.SetDatabaseName(folder_);
  try {
    Register.OpenTable();
  } catch (Exception& e) {
    // The box names the folders, which the reasons alone do not.
    e.SetMessage(e.Message() + "\n" + FoldersTriedText(folder_, Register.FallbackDirectory()));
    throw;
  }
  Register.StartSelection();
  ShowFigures();
}

// A table that could only be opened for reading says so at once, with the reason and the
// way to repair it, instead of refusing every edit later.
void TSnyltdyrForm::ShowTableState() {
  std::string why;
  try {
    why = Register.ReadOnlyReason();
  } catch (...) {
    why.clear();  // nothing to add to the failure being shown
  }
  bool repairable = false;
  ReadOnlyNotice->SetCaption(ReadOnlyNoticeText(why, repairable));
  ReadOnlyNotice->setToolTip(ReadOnlyNotice->text());
  ReadOnlyNotice->setVisible(!why.empty());
  ReadOnlyNotice->move(repairable ? 584 : 456, 1);
  ReadOnlyNotice->resize(repairable ? 692 : 820, 39);
  RepairButton->setVisible(repairable);
  SetCaption(why.empty() ? "Snyltdyr" : "Snyltdyr (skrivebeskyttet)");
}

bool TSnyltdyrForm::FormCloseQuery() { return AskSaveRecord(Register.SnyltdyrTable, Caption()); }

void TSnyltdyrForm::RepairButtonClick() {
  TableStateShown shown{this};  // the table is reopened
  RunRepairDialog(this, Register);
  ShowFigures();
}

void TSnyltdyrForm::FormClose() { Register.FormClose(); }

// Esc, F2, F3, F4 act on the table; with Shift, Ctrl or Alt held nothing happens. The key
// goes on to the focused control either way.
void TSnyltdyrForm::FormKeyDown(uint16_t& key, TShiftState shift) {
  if (shift & (ssShift | ssCtrl | ssAlt)) return;
  TTable& table = Register.SnyltdyrTable;
  switch (key) {
    case vk::Escape: table.Cancel(); break;
    case vk::F2: table.Edit(); break;
    case vk::F3: table.Post(); break;
    case vk::F4: table.Insert(); break;
    default: break;
  }
}

// Each font change lays the grid out again: the row heights and column widths follow.
void TSnyltdyrForm::SpeedButton1Click() {
  Grid->Font().SetSize(Grid->Font().Size() - 1);
  Grid->TitleFont().SetSize(Grid->TitleFont().Size() - 1);
}

void TSnyltdyrForm::SpeedButton2Click() {
  Grid->Font().SetSize(Grid->Font().Size() + 1);
  Grid->TitleFont().SetSize(Grid->TitleFont().Size() + 1);
}

void TSnyltdyrForm::BitBtn1Click() {
  TBusyCursor busy;
  Register.BitBtn1Click();
}

// Sorting may close and reopen the table, which makes the grid's columns anew: the name is
// taken before the column goes.
void TSnyltdyrForm::GridTitleClick(TColumn& column) {
  const std::string field_name = column.FieldName();
  TableStateShown shown{this};  // adding an index reopens the table
  Register.SortByField(field_name);
}

void TSnyltdyrForm::SpeedButton3Click() {
  TBusyCursor busy;
  Register.SpeedButton3Click();
  ShowFigures();
}

void TSnyltdyrForm::SpeedButton4Click() {
  TBusyCursor busy;
  Register.SpeedButton4Click();
  ShowFigures();
}

void TSnyltdyrForm::SpeedButton5Click() {
  TBusyCursor busy;
  Register.SpeedButton5Click();
  ShowFigures();
}

// Ticking "Behandling" ticks "Funn" too: a treatment implies a finding.
void TSnyltdyrForm::BehandlingClick() {
  Register.Behandling = Behandling->Checked();
  Register.BehandlingClick();
  if (Register.Funn && !Funn->Checked()) Funn->SetChecked(true);
}

void TSnyltdyrForm::YearClassClick(int32_t year_class) {
  TBusyCursor busy;
  Register.YearClassClick(year_class);
  ShowFigures();
}

void TSnyltdyrForm::DiagramClick() {
  if (Chart == nullptr) Chart = new TChartWindow(Register, this);
  Chart->SelectionChanged();
  Chart->show();
  Chart->raise();
  Chart->activateWindow();
}

}  // namespace snyltdyr
