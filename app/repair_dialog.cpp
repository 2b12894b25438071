#include "app/repair_dialog.h"

#include <QProgressDialog>

#include "register/observation_repair.h"
#include "register/snyltdyr_register.h"
#include "runtime/exception.h"
#include "toolkit/events/busy_cursor.h"
#include "toolkit/events/message_box.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

constexpr const char* kCaption = "Reparer tabellen";

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// What the reason says another program did, in plain Norwegian.
std::string PlainNorwegian(const std::string& reason) {
  std::string said;
  if (Has(reason, "names no code page"))
    said += "Tabellen sier ikke hvilken tegntabell teksten er skrevet i, s\xE5 bokstavene kan vises feil. ";
  if (Has(reason, "does not agree") || Has(reason, "is missing") || Has(reason, "is damaged"))
    said += "Indeksen stemmer ikke med postene i tabellen. ";
  if (Has(reason, "does not say which memo file"))
    said += "Tabellen sier ikke lenger hvilken merknadsfil den har. ";
  if (said.empty()) said = "Et annet program har endret tabellens filer. ";
  return said;
}

// The steps of a plan as lines of a box.
std::string Steps(const engine::RepairPlan& plan) {
  std::string lines;
  for (const engine::RepairStep& s : plan.steps)
    lines += "\x95 " + (s.action.empty() ? s.problem : s.action + " (" + s.problem + ")") + "\n";
  return lines;
}

TModalResult Box(const std::string& text, TMsgDlgButtons buttons, TMsgDlgIcon icon) {
  return MessageBox({text, kCaption, buttons, icon});
}

// The repair itself, with the busy pointer and, for a long rebuild, a progress box.
bool Mend(QWidget* parent, SnyltdyrRegister& reg) {
  TBusyCursor busy;
  QProgressDialog progress(ToQString("Leser postene\x85"), QString(), 0, 100, parent);
  progress.setWindowTitle(ToQString(kCaption));
  progress.setMinimumDuration(500);
  progress.setWindowModality(Qt::WindowModal);
  engine::RepairReport report;
  try {
    RepairObservationTable(reg.SnyltdyrTable, 0, [&](uint32_t done, uint32_t records) {
      progress.setValue(records == 0 ? 100 : static_cast<int>(uint64_t{done} * 100 / records));
    }, report);
  } catch (const Exception& e) {
    progress.reset();
    const bool in_use = Has(e.Message(), "has the table open") || Has(e.Message(), "is changing the table");
    Box(in_use ? "Et annet program har tabellen \xE5pen. Lukk den der og pr\xF8v igjen; ingenting er endret."
               : "Tabellen kunne ikke repareres:\n" + e.Message(),
        TMsgDlgButtons::Ok, TMsgDlgIcon::Warning);
    return false;
  }
  progress.reset();
  std::string backups;
  for (const std::string& b : report.backups) backups += "\n" + b;
  Box("Tabellen er reparert, og den kan skrives igjen." +
          (backups.empty() ? std::string() : "\nFilene slik de var, er kopiert til:" + backups),
      TMsgDlgButtons::Ok, TMsgDlgIcon::Information);
  return true;
}

}  // namespace

std::string ReadOnlyNoticeText(const std::string& reason, bool& repairable) {
  repairable = !reason.empty() && RepairMayMend(reason);
  if (reason.empty()) return {};
  if (!repairable) return "Skrivebeskyttet: " + reason;
  return "Skrivebeskyttet: " + PlainNorwegian(reason) +
         "Knappen \xABReparer tabellen\x85\xBB retter det. (" + reason + ")";
}

bool RunRepairDialog(QWidget* parent, SnyltdyrRegister& reg) {
  TTable& table = reg.SnyltdyrTable;
  bool mended = false;
  table.Close();  // the repair needs the table alone
  try {
    const engine::RepairPlan plan = PlanObservationRepair(table);
    if (plan.steps.empty()) {
      Box("Det er ingenting \xE5 reparere i tabellens filer.", TMsgDlgButtons::Ok, TMsgDlgIcon::Information);
    } else if (plan.blocked) {
      Box("Tabellen kan ikke repareres slik filene er n\xE5:\n" + Steps(plan), TMsgDlgButtons::Ok,
          TMsgDlgIcon::Warning);
    } else if (Box("Dette blir gjort med tabellen:\n" + Steps(plan) +
                       "\nFilene som endres, kopieres f\xF8rst. Vil du reparere tabellen?",
                   TMsgDlgButtons::OkCancel, TMsgDlgIcon::Question) == TModalResult::Ok) {
      mended = Mend(parent, reg);
    }
  } catch (...) {
    reg.OpenHere();
    reg.StartSelection();
    throw;
  }
  TBusyCursor busy;
  reg.OpenHere();
  reg.StartSelection();
  return mended;
}

}  // namespace snyltdyr
