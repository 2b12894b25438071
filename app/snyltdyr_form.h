// TSnyltdyrForm: the program's main window over the observation register.
//
// The window owns every object of the program: the register (the table SnyltdyrTable
// with its fields, the data source SnyltdyrSource and the selection state), and every
// control at its designed place: the top panel with the font buttons, the icon, the
// navigator and "Fiks formatering"; the filter panel with the kind buttons, the "Funn"
// and "Behandling" boxes, the year-class buttons and the figures "Antall" and "Snitt";
// the grid; and the comment box at the bottom.
//
// Every user action enters through one of the handlers below (or through the grid, the
// navigator and the comment box, which act on the table through the data source).
// Handlers do not catch failures: the application's default error handler shows them.
// Passes over the whole selection (the count and grade, "Fiks formatering") show the busy
// pointer while they run.
#pragma once

#include <cstdint>
#include <string>

#include "register/snyltdyr_register.h"
#include "toolkit/widgets/form.h"

namespace snyltdyr {

class TPanel;
class TSpeedButton;
class TImage;
class TDBNavigator;
class TBitBtn;
class TCheckBox;
class TLabel;
class TEdit;
class TDBMemo;
class TDBGrid;
class TColumn;
class TChartWindow;

inline constexpr const char* kApplicationTitle = "Zevuvuzoze de varuz iver";

class TSnyltdyrForm : public TForm {
 public:
  // `folder` holds the table (empty: the working directory); the fallback folder is the
  // program's setting (start_folders.h).
  explicit TSnyltdyrForm(std::string folder = {});
  ~TSnyltdyrForm() override;

  // The table, its fields, its data source and the selection state.
  SnyltdyrRegister Register;

  // ---- Controls (children of the window; freed with it) --------------------------------
  TPanel* Panel1 = nullptr;
  TSpeedButton* SpeedButton2 = nullptr;  // "+"
  TSpeedButton* SpeedButton1 = nullptr;  // "-"
  TImage* Image1 = nullptr;
  TDBNavigator* DBNavigator1 = nullptr;
  TBitBtn* BitBtn1 = nullptr;  // "Fiks formatering"
  TPanel* Panel2 = nullptr;
  TSpeedButton* SpeedButton3 = nullptr;  // kind "Alle"
  TSpeedButton* SpeedButton4 = nullptr;  // "Haptor"
  TSpeedButton* SpeedButton5 = nullptr;  // "Tricodina"
  TCheckBox* Funn = nullptr;
  TCheckBox* Behandling = nullptr;
  TLabel* Label3 = nullptr;              // "Årsklasse"
  TSpeedButton* SpeedButton12 = nullptr;  // year class "Alle"
  TSpeedButton* SpeedButton7 = nullptr;   // "0"
  TSpeedButton* SpeedButton6 = nullptr;   // "1"
  TSpeedButton* SpeedButton8 = nullptr;   // "2"
  TSpeedButton* SpeedButton9 = nullptr;   // "3"
  TSpeedButton* SpeedButton10 = nullptr;  // "4"
  TSpeedButton* SpeedButton11 = nullptr;  // "5"
  TLabel* Label1 = nullptr;               // "Antall:"
  TEdit* Antall = nullptr;
  TLabel* Label2 = nullptr;               // "Snitt:"
  // Says that the table opened read-only, and why (hidden while it is writable).
  TLabel* ReadOnlyNotice = nullptr;
  // "Reparer tabellen…": shown beside the notice when a repair can mend the table.
  TBitBtn* RepairButton = nullptr;
  TEdit* Grad = nullptr;
  TBitBtn* DiagramButton = nullptr;  // "Diagram": opens the chart of the selection
  TChartWindow* Chart = nullptr;     // made at the first "Diagram"; freed with the window
  // alClient between Panel2 and the comment box.
  TDBGrid* Grid = nullptr;
  TDBMemo* DBMemo1 = nullptr;

  // ---- Handlers ------------------------------------------------------------------------
  void FormShow();
  // Before closing: a record being edited or inserted is saved, discarded or kept (the
  // window stays open) as the person answers; false keeps the window open.
  bool FormCloseQuery();
  void FormClose();
  void FormKeyDown(uint16_t& key, TShiftState shift);
  void SpeedButton1Click();  // grid fonts one point smaller
  void SpeedButton2Click();  // grid fonts one point larger
  void BitBtn1Click();       // "Fiks formatering"
  void GridTitleClick(TColumn& column);  // sorts by the column's field
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton5Click();
  void BehandlingClick();
  void YearClassClick(int32_t year_class);  // SpeedButton12Click (-1), SpeedButton7Click (0), ...
  void RepairButtonClick();  // "Reparer tabellen…" (repair_dialog.h)
  void DiagramClick();

 private:
  struct TableStateShown;
  void CreatePanel1();
  void CreatePanel2();
  void CreateGrid();
  void CreateMemo();
  void SetTabOrder();
  TSpeedButton* MakeButton(QWidget* parent, const std::string& caption, int left, int top,
                           int width, int height, int32_t group);
  // Writes "Antall" and "Snitt" from the register's figures; an open chart follows.
  void ShowFigures();
  // The read-only notice and the caption after the table was opened or reopened.
  void ShowTableState();

  std::string folder_;
};

}  // namespace snyltdyr
