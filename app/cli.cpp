#include "app/cli.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "app/cli_chart.h"
#include "app/cli_help.h"
#include "app/cli_import.h"
#include "app/cli_progress.h"
#include "app/cli_repair.h"
#include "dataset/filters/expr_parser.h"
#include "dataset/fields/field.h"
#include "dataset/fields/field_defs.h"
#include "dataset/fields/fields.h"
#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "runtime/exception.h"
#include "storage/csv_rows.h"
#include "storage/engine/engine.h"

namespace snyltdyr {
namespace {

// A directory the engine takes as a directory: an absolute path.
std::string DirectoryName(const std::string& dir) {
  return std::filesystem::absolute(std::filesystem::path(dir)).lexically_normal().string();
}

void PrintLine(std::ostream& out, const std::string& cp1252) {
  out << Cp1252ToUtf8(cp1252) << '\n';
}

// ---- Selection ------------------------------------------------------------------------
const std::vector<CliOption> kSelectionOptions = {
    {"--kind", "alle|haptor|tricodina",
     "click a kind button: every kind, \"Haptor Mark\" or \"Tricodina\""},
    {"--funn", "",
     "tick \"Funn\" (something was found); without --kind, \"Alle\" is clicked after"},
    {"--behandling", "",
     "tick \"Behandling\" (a treatment was given), which ticks \"Funn\" too; without --kind, "
     "\"Alle\" is clicked after"},
    {"--year-class", "alle|0..5",
     "click a year-class button before the kind button; with no kind button it only switches "
     "the filter off, as in the window"},
};

std::vector<CliOption> WithOptions(std::vector<CliOption> options,
                                   const std::vector<CliOption>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

void OpenRegister(SnyltdyrRegister& r, const std::string& dir) {
  r.SnyltdyrTable.SetDatabaseName(DirectoryName(dir));
  r.OpenHere();
  r.StartSelection();
}

// The clicks a selection makes, read from the options before anything is opened.
struct SelectionClicks {
  bool funn = false, behandling = false;
  std::optional<int32_t> year_class;  // -1 for "Alle"
  std::string kind;                   // "", "alle", "haptor" or "tricodina"
};

SelectionClicks ReadSelection(const CliArguments& a) {
  SelectionClicks clicks;
  clicks.funn = a.Flag("--funn");
  clicks.behandling = a.Flag("--behandling");
  if (a.Has("--year-class")) {
    const std::string text = a.Value("--year-class");
    if (text == "alle") {
      clicks.year_class = -1;
    } else if (text.size() == 1 && text[0] >= '0' && text[0] <= '5') {
      clicks.year_class = text[0] - '0';
    } else {
      throw UsageError("--year-class takes alle or 0 to 5, not '" + text + "'");
    }
  }
  clicks.kind = a.Value("--kind");
  if (a.Has("--kind") && clicks.kind != "alle" && clicks.kind != "haptor" &&
      clicks.kind != "tricodina") {
    throw UsageError("--kind takes alle, haptor or tricodina, not '" + clicks.kind + "'");
  }
  return clicks;
}

// Ticks the boxes, clicks the year-class button, then the kind button. A ticked box with
// no kind button is followed by a click on "Alle", the click that applies a box in the
// window: an option the companion takes acts.
void ApplySelection(SnyltdyrRegister& r, const SelectionClicks& clicks) {
  if (clicks.funn) r.Funn = true;
  if (clicks.behandling) {
    r.Behandling = true;
    r.BehandlingClick();
  }
  if (clicks.year_class) r.YearClassClick(*clicks.year_class);
  const bool box_ticked = clicks.funn || clicks.behandling;
  if (clicks.kind == "alle" || (clicks.kind.empty() && box_ticked)) r.SpeedButton3Click();
  if (clicks.kind == "haptor") r.SpeedButton4Click();
  if (clicks.kind == "tricodina") r.SpeedButton5Click();
}

// ---- Commands -------------------------------------------------------------------------
// Opens the table in the one folder named and makes the selection the options describe.
// The options are read before the table opens, so a bad option never opens anything.
void OpenSelection(SnyltdyrRegister& r, const CliArguments& a) {
  ExpectPositional(a, 1, 1);
  const SelectionClicks clicks = ReadSelection(a);
  OpenRegister(r, a.positional[0]);
  ApplySelection(r, clicks);
}

int CreateSample(const CliCall& call) {
  const CliArguments& a = call.parsed;
  ExpectPositional(a, 1, 1);
  const int64_t records = NumberOption(a, "--records", 500);
  const int64_t seed = NumberOption(a, "--seed", 1);
  const std::string dir = DirectoryName(a.positional[0]);
  std::filesystem::create_directories(dir);
  CreateSampleTable(dir, records, static_cast<uint64_t>(seed));
  call.out << "Created SNYLTDYR.DBF with " << records << " records in " << dir << '\n';
  return 0;
}

int Stats(const CliCall& call) {
  std::ostream& out = call.out;
  SnyltdyrRegister r;
  OpenSelection(r, call.parsed);
  const TTable& t = r.SnyltdyrTable;
  if (t.Filtered() && !t.Filter().empty()) {
    PrintLine(out, "Filter: \xAB" + t.Filter() + "\xBB");  // « and »
  } else {
    PrintLine(out, "Filter: none");
  }
  PrintLine(out, "Antall: " + r.AntallText());
  PrintLine(out, "Snitt: " + r.GradText());
  // The window shows a read-only table's reason; so does this.
  const std::string why = r.ReadOnlyReason();
  if (!why.empty()) PrintLine(out, "Read-only: " + why);
  return 0;
}

int Fix(const CliCall& call) {
  SnyltdyrRegister r;
  OpenSelection(r, call.parsed);
  ProgressLine line(call.err, call.show_progress, "Normalising");
  const TRewriteCount count = r.BitBtn1Click(line.Reporter());
  line.Finish();
  // A record the normaliser left as it was is not stored again.
  call.out << "Records normalised: " << count.records << ", of them changed and written: "
      << count.written << '\n';
  return 0;
}

int Export(const CliCall& call) {
  const CliArguments& a = call.parsed;
  SnyltdyrRegister r;
  r.CountsFigures = false;  // the rows are the answer: no Antall or Snitt to show
  OpenSelection(r, a);
  TTable& t = r.SnyltdyrTable;
  // Text in a code page that was only assumed: said, or, when letters may be wrong, refused.
  bool uncertain = false;
  if (const std::string note = t.CodePageNote(&uncertain); uncertain) {
    throw Exception("Not exported, since letters may come out wrong: " + note +
                    " To set the code page, run: snyltdyr-cli repair \"" + DirectoryName(a.positional[0]) +
                    "\" --apply --code-page N, with N the code page the text was written in.");
  } else if (!note.empty()) {
    call.err << kCliProgram << ": " << Cp1252ToUtf8(note) << '\n';
  }
  // Asked for even when it is the current one: an index that could not be used at
  // opening fails here with its reason, rather than the rows coming in another order.
  t.SetIndexName(a.Has("--index") ? Utf8ToCp1252(a.Value("--index")) : kDateIndexName);
  const TFields& fields = t.Fields();
  std::string line, csv;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    line += (i ? "," : "") + CsvCell(fields[i]->DisplayLabel());
  }
  csv += Cp1252ToUtf8(line) + "\r\n";
  ProgressLine progress(call.err, call.show_progress, "Exporting");
  const int64_t total = call.show_progress ? t.RecordTotal() : -1;  // a count only for the line
  int64_t rows = 0;
  // Peak memory of the export: the whole CSV (room made for about a record's bytes per
  // row at the start, see storage/csv_rows.h), the chunk of records the pass reads at a
  // time in the index's order (at most 32 MB of records, their places at about 50 bytes
  // each and a read of 1 MB, see storage/engine/table/pass_api.cpp), the rows waiting for
  // a batch of memos (well under a megabyte) and the cells known by the bytes of a date
  // or number (at most 64K per column, a few megabytes at most). A million records of 231
  // bytes with 120,000 memos: 75 MB of CSV, about 120 MB of the program's own at the peak;
  // on a local disk the pages of the table's files it views (the page cache, shared with
  // every reader) count as resident too, about 290 MB more.
  TCsvRows row_maker(t, csv);
  t.VisitSelection(
      [&] {
        row_maker.AddRow();
        if ((++rows & 1023) == 0) progress.Update(rows, total);
      },
      poShownOrder);
  row_maker.Finish();
  progress.Update(rows, total);
  progress.Finish();
  // Written only when every row was read: a failure part way leaves no partial file.
  call.out << csv;
  return 0;
}

int Sort(const CliCall& call) {
  const CliArguments& a = call.parsed;
  ExpectPositional(a, 2, 2);
  SnyltdyrRegister r;
  OpenRegister(r, a.positional[0]);
  r.SortByField(Utf8ToCp1252(a.positional[1]));
  TTable& t = r.SnyltdyrTable;
  t.First();
  while (!t.AtEnd()) {
    call.out << t.RecordNumber() << '\n';
    t.Next();
  }
  return 0;
}

int AddIndex(const CliCall& call) {
  const CliArguments& a = call.parsed;
  ExpectPositional(a, 2, 3);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(DirectoryName(a.positional[0]));
  const std::string name = Utf8ToCp1252(a.positional[1]);
  const std::string fields = a.positional.size() > 2 ? Utf8ToCp1252(a.positional[2]) : name;
  ProgressLine line(call.err, call.show_progress, "Indexing");
  r.SnyltdyrTable.CreateIndex(name, fields, 0, {}, line.Reporter());
  line.Finish();
  PrintLine(call.out, "Index " + name + " added");
  return 0;
}

// Rebuilds the table's production index.
int Reindex(const CliCall& call) {
  const CliArguments& a = call.parsed;
  std::ostream& out = call.out;
  ExpectPositional(a, 1, 1);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(DirectoryName(a.positional[0]));
  ProgressLine line(call.err, call.show_progress, "Reading records");
  const engine::RebuildReport report = r.SnyltdyrTable.RebuildIndexes(line.Reporter());
  line.Finish();
  std::string tags;
  for (const std::string& tag : report.tags) tags += (tags.empty() ? "" : ", ") + tag;
  out << "Index rebuilt from " << report.records << " records: "
      << (tags.empty() ? std::string("no tags; the table has no index now") : tags) << '\n';
  for (const std::string& tag : report.dropped)
    out << "Tag " << tag << " was left out: its definition could not be read\n";
  if (report.definitions_from != report.index_file)
    out << "Tag definitions taken from " << report.definitions_from << '\n';
  if (!report.backup_file.empty()) out << "The old index is kept as " << report.backup_file << '\n';
  return 0;
}

// Whether the working directory holds the observation table (names without regard to case).
bool TableInWorkingDirectory() {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(".", ec)) {
    if (SameText1252(entry.path().filename().string(), kObservationTableName)) return true;
  }
  return false;
}

// Without a table the declared fields stand for its columns: each is numbered by its
// place, which is the column's place in the table.
void BindDeclaredFields(TTable& table) {
  TFieldDefs defs;
  const TFields& fields = table.Fields();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    defs.Add(fields[i]->FieldName(), fields[i]->DataType(), fields[i]->Size());
  }
  table.Fields().Bind(defs);
}

int FilterTree(const CliCall& call) {
  const CliArguments& a = call.parsed;
  ExpectPositional(a, 1, 1);
  SnyltdyrRegister r;
  if (TableInWorkingDirectory()) {
    r.SnyltdyrTable.Open();
  } else {
    BindDeclaredFields(r.SnyltdyrTable);
  }
  TExprParser parser(r.SnyltdyrTable, Utf8ToCp1252(a.positional[0]), 0, 0, std::string(),
                     nullptr, EngineTypeMap());
  const std::vector<uint8_t>& tree = *parser.FilterData();
  char hex[4];
  for (size_t i = 0; i < tree.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02X", tree[i]);
    call.out << hex << ((i % 16 == 15 || i + 1 == tree.size()) ? "\n" : " ");
  }
  return 0;
}

int Help(const CliCall& call);

// Every command the companion knows. Adding a command is one entry here; its options are
// checked against the entry before it runs, and the help and the manual page show it.
const std::vector<CliCommand> kCommands = {
    {"create-sample", "DIR [--records N] [--seed S]",
     "a new SNYLTDYR.DBF with memo file and the index tag DATO in DIR, filled with realistic "
     "observations",
     {{"--records", "N", "how many observations (default 500)"},
      {"--seed", "S", "the generator's seed: the same seed gives the same table (default 1)"}},
     CreateSample},
    {"create", "DIR",
     "an empty observation table (SNYLTDYR.DBF, its memo file and the index tag DATO) in DIR; "
     "never over an existing one",
     {}, [](const CliCall& c) {
       ExpectPositional(c.parsed, 1, 1);
       return RunCreate(DirectoryName(c.parsed.positional[0]), c.out);
     }},
    {"import", "DIR FILE [--dry-run]",
     "appends the rows of a CSV file to the table, normalised and indexed: every row, or none "
     "when any value is bad (each bad value is listed)",
     {{"--dry-run", "", "check every row and report, without writing"}},
     [](const CliCall& c) {
       ExpectPositional(c.parsed, 2, 2);
       return RunImport(DirectoryName(c.parsed.positional[0]), c.parsed.positional[1],
                        c.parsed.Flag("--dry-run"), c.out, c.err, c.show_progress);
     }},
    {"stats", "DIR [SELECTION]",
     "the filter text, \"Antall\" and \"Snitt\" of a selection (and why the table can only be "
     "read, when it can)",
     kSelectionOptions, Stats},
    {"fix", "DIR [SELECTION]",
     "\"Fiks formatering\" over the selection: prints how many records it normalised and how "
     "many of them changed and were written",
     kSelectionOptions, Fix},
    {"export", "DIR [SELECTION] [--index NAME]",
     "the selection as CSV (UTF-8) on standard output, in the order of an index",
     WithOptions(kSelectionOptions, {{"--index", "NAME", "the index tag that orders the rows "
                                                         "(default DATO)"}}),
     Export},
    {"sort", "DIR FIELD",
     "sorts by a field's index, adding the tag the first time; prints the record numbers in "
     "that order",
     {}, Sort},
    {"add-index", "DIR NAME [FIELDS]",
     "adds the index tag NAME over FIELDS (default: the field NAME) to a table nobody has open",
     {}, AddIndex},
    {"reindex", "DIR",
     "rebuilds every tag of the production index from the records (nobody else may have the "
     "table open); the old index is kept as SNYLTDYR.MDX.bak",
     {}, Reindex},
    {"repair", "DIR [--apply] [--code-page N]",
     "finds what other programs did to the table and, with --apply, mends it (every file it "
     "changes is backed up first); without --apply it changes nothing and exits 1 when there "
     "is something to mend",
     {{"--apply", "", "mend the table (nobody else may have it open)"},
      {"--code-page", "N", "the code page of the table's text, when the table does not say"}},
     [](const CliCall& c) { return RepairCommand(c.args, c.out, c.err, c.show_progress); }},
    {"chart", "DIR [SELECTION] [--by month|year|kar] [--out FILE] [--csv]",
     "Antall and Snitt of the selection per month, year or tank: the table behind the "
     "window's chart (--csv) or the picture itself (--out)",
     WithOptions(kSelectionOptions,
                 {{"--by", "month|year|kar", "one period per month (default), year or tank"},
                  {"--out", "FILE", "write the picture to FILE.png or FILE.svg"},
                  {"--csv", "", "print periode,antall,snitt, one line per period"}}),
     [](const CliCall& c) {
       return Chart(c.args, c.out, [](SnyltdyrRegister& r, const std::vector<std::string>& rest) {
         OpenSelection(r, ParseArguments(rest, 1, kSelectionOptions));
       });
     }},
    {"filter-tree", "TEXT",
     "the filter tree of a filter text as hex bytes, against the table in the working "
     "directory or else the declared fields",
     {}, FilterTree},
    {"help", "[COMMAND]", "this help, or one command's usage and options", {}, Help},
};

const CliCommand* FindCommand(const std::string& name) {
  for (const CliCommand& c : kCommands) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

int Help(const CliCall& call) {
  ExpectPositional(call.parsed, 0, 1);
  if (call.parsed.positional.empty()) {
    WriteHelp(call.out, kCommands);
    return 0;
  }
  const std::string& name = call.parsed.positional[0];
  const CliCommand* command = FindCommand(name);
  if (command == nullptr) throw UsageError("unknown command " + name);
  WriteCommandHelp(call.out, *command);
  return 0;
}

// `command` receives the command once it is known, for the usage shown with an error.
int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool show_progress, const CliCommand*& command) {
  if (args.empty()) throw UsageError("no command");
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "--version") {
    if (args.size() > 1) throw UsageError("unexpected argument " + args[1]);
    if (first == "--version") {
      out << kCliProgram << " " << SNYLTDYR_VERSION << '\n';
    } else {
      WriteHelp(out, kCommands);
    }
    return 0;
  }
  if (first.size() > 1 && first[0] == '-') throw UsageError("unknown option " + first);
  command = FindCommand(first);
  if (command == nullptr) throw UsageError("unknown command " + first);
  const CliArguments parsed = ParseArguments(args, 1, command->options);
  if (parsed.Flag("--help")) {
    WriteCommandHelp(out, *command);
    return 0;
  }
  return command->run({args, parsed, out, err, show_progress});
}

}  // namespace

const std::vector<CliCommand>& CliCommands() { return kCommands; }

std::string CsvCell(const std::string& text) {
  std::string cell;
  AppendCsvCell(cell, text);
  return cell;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool show_progress) {
  const CliCommand* command = nullptr;
  try {
    return Dispatch(args, out, err, show_progress, command);
  } catch (const UsageError& e) {
    err << kCliProgram << ": " << e.Message() << '\n';
    if (command != nullptr) {
      err << "usage: " << kCliProgram << " " << command->name << " " << command->arguments
          << "\nRun '" << kCliProgram << " help " << command->name << "' for its options.\n";
    } else {
      WriteUsage(err, kCommands);
    }
    return 2;
  } catch (const std::invalid_argument& e) {  // a wrong command line of repair
    err << kCliProgram << ": " << e.what() << '\n';
    WriteUsage(err, kCommands);
    return 2;
  } catch (const EAbort&) {
    return 1;  // the silent abort shows nothing
  } catch (const Exception& e) {
    err << Cp1252ToUtf8(ErrorBoxText(e.Message())) << '\n';
    return 1;
  } catch (const std::exception& e) {
    err << ErrorBoxText(e.what()) << '\n';
    return 1;
  }
}

}  // namespace snyltdyr
