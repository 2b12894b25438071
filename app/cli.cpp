#include "app/cli.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "app/cli_chart.h"
#include "app/cli_progress.h"
#include "dataset/filters/expr_parser.h"
#include "dataset/fields/field.h"
#include "dataset/fields/field_defs.h"
#include "dataset/fields/fields.h"
#include "register/sample_observations.h"
#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "runtime/exception.h"
#include "storage/engine/engine.h"

namespace snyltdyr {
namespace {

const char* const kUsage =
    "usage: snyltdyr-cli COMMAND ...\n"
    "  create-sample DIR [--records N] [--seed S]\n"
    "  stats DIR [SELECTION]\n"
    "  fix DIR [SELECTION]\n"
    "  export DIR [SELECTION] [--index NAME]\n"
    "  sort DIR FIELD\n"
    "  add-index DIR NAME [FIELDS]\n"
    "  reindex DIR\n"
    "  filter-tree TEXT\n"
    "  chart DIR [SELECTION] [--by month|year|kar] [--out FILE.png|FILE.svg] [--csv]\n"
    "SELECTION: [--kind alle|haptor|tricodina] [--funn] [--behandling]"
    " [--year-class alle|0..5]\n";

using UsageError = CliUsageError;

struct Arguments {
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // --name VALUE
  std::set<std::string> flags;                // --name

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  std::string Value(const std::string& name, const std::string& fallback = {}) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
  }
};

Arguments Parse(const std::vector<std::string>& args, size_t from,
                const std::set<std::string>& value_options,
                const std::set<std::string>& flag_options) {
  Arguments parsed;
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      parsed.positional.push_back(a);
    } else if (value_options.count(a) != 0) {
      if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
      parsed.values[a] = args[++i];
    } else if (flag_options.count(a) != 0) {
      parsed.flags.insert(a);
    } else {
      throw UsageError("unknown option " + a);
    }
  }
  return parsed;
}

void ExpectPositional(const Arguments& a, size_t least, size_t most) {
  if (a.positional.size() < least || a.positional.size() > most) {
    throw UsageError("wrong number of arguments");
  }
}

int64_t NumberOption(const Arguments& a, const std::string& name, int64_t fallback) {
  if (!a.Has(name)) return fallback;
  const std::string text = a.Value(name);
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0) {
    throw UsageError(name + " takes a whole number of 0 or more, not '" + text + "'");
  }
  return value;
}

// A directory the engine takes as a directory: an absolute path.
std::string DirectoryName(const std::string& dir) {
  return std::filesystem::absolute(std::filesystem::path(dir)).lexically_normal().string();
}

void PrintLine(std::ostream& out, const std::string& cp1252) {
  out << Cp1252ToUtf8(cp1252) << '\n';
}

// ---- Selection ------------------------------------------------------------------------
const std::set<std::string> kSelectionValues = {"--kind", "--year-class"};
const std::set<std::string> kSelectionFlags = {"--funn", "--behandling"};

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

SelectionClicks ReadSelection(const Arguments& a) {
  SelectionClicks clicks;
  clicks.funn = a.flags.count("--funn") != 0;
  clicks.behandling = a.flags.count("--behandling") != 0;
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

// Ticks the boxes, clicks the year-class button, then the kind button.
void ApplySelection(SnyltdyrRegister& r, const SelectionClicks& clicks) {
  if (clicks.funn) r.Funn = true;
  if (clicks.behandling) {
    r.Behandling = true;
    r.BehandlingClick();
  }
  if (clicks.year_class) r.YearClassClick(*clicks.year_class);
  if (clicks.kind == "alle") r.SpeedButton3Click();
  if (clicks.kind == "haptor") r.SpeedButton4Click();
  if (clicks.kind == "tricodina") r.SpeedButton5Click();
}

// ---- Commands -------------------------------------------------------------------------
// Opens the table in the one folder named and makes the selection the options describe.
// The options are read before the table opens, so a bad option never opens anything.
void OpenSelection(SnyltdyrRegister& r, const Arguments& a) {
  ExpectPositional(a, 1, 1);
  const SelectionClicks clicks = ReadSelection(a);
  OpenRegister(r, a.positional[0]);
  ApplySelection(r, clicks);
}

int CreateSample(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments a = Parse(args, 1, {"--records", "--seed"}, {});
  ExpectPositional(a, 1, 1);
  const int64_t records = NumberOption(a, "--records", 500);
  const int64_t seed = NumberOption(a, "--seed", 1);
  const std::string dir = DirectoryName(a.positional[0]);
  std::filesystem::create_directories(dir);
  CreateSampleTable(dir, records, static_cast<uint64_t>(seed));
  out << "Created SNYLTDYR.DBF with " << records << " records in " << dir << '\n';
  return 0;
}

int Stats(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments a = Parse(args, 1, kSelectionValues, kSelectionFlags);
  SnyltdyrRegister r;
  OpenSelection(r, a);
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

int Fix(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool show_progress) {
  const Arguments a = Parse(args, 1, kSelectionValues, kSelectionFlags);
  SnyltdyrRegister r;
  OpenSelection(r, a);
  ProgressLine line(err, show_progress, "Normalising");
  const TRewriteCount count = r.BitBtn1Click(line.Reporter());
  line.Finish();
  // A record the normaliser left as it was is not stored again.
  out << "Records normalised: " << count.records << ", of them changed and written: "
      << count.written << '\n';
  return 0;
}

int Export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool show_progress) {
  std::set<std::string> values = kSelectionValues;
  values.insert("--index");
  const Arguments a = Parse(args, 1, values, kSelectionFlags);
  SnyltdyrRegister r;
  OpenSelection(r, a);
  TTable& t = r.SnyltdyrTable;
  // Asked for even when it is the current one: an index that could not be used at
  // opening fails here with its reason, rather than the rows coming in another order.
  t.SetIndexName(a.Has("--index") ? Utf8ToCp1252(a.Value("--index")) : kDateIndexName);
  const TFields& fields = t.Fields();
  std::string line, csv;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    line += (i ? "," : "") + CsvCell(fields[i]->DisplayLabel());
  }
  csv += Cp1252ToUtf8(line) + "\r\n";
  ProgressLine progress(err, show_progress, "Exporting");
  const int64_t total = show_progress ? t.RecordTotal() : -1;  // a count only for the line
  int64_t rows = 0;
  t.VisitSelection(
      [&] {
        line.clear();
        for (int32_t i = 0; i < fields.Count(); ++i) {
          const TField& f = *fields[i];
          line += (i ? "," : "") + CsvCell(f.IsBlob() ? f.AsString() : f.DisplayText());
        }
        csv += Cp1252ToUtf8(line) + "\r\n";
        if ((++rows & 1023) == 0) progress.Update(rows, total);
      },
      poShownOrder);
  progress.Update(rows, total);
  progress.Finish();
  // Written only when every row was read: a failure part way leaves no partial file.
  out << csv;
  return 0;
}

int Sort(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments a = Parse(args, 1, {}, {});
  ExpectPositional(a, 2, 2);
  SnyltdyrRegister r;
  OpenRegister(r, a.positional[0]);
  r.SortByField(Utf8ToCp1252(a.positional[1]));
  TTable& t = r.SnyltdyrTable;
  t.First();
  while (!t.AtEnd()) {
    out << t.RecordNumber() << '\n';
    t.Next();
  }
  return 0;
}

int AddIndex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool show_progress) {
  const Arguments a = Parse(args, 1, {}, {});
  ExpectPositional(a, 2, 3);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(DirectoryName(a.positional[0]));
  const std::string name = Utf8ToCp1252(a.positional[1]);
  const std::string fields = a.positional.size() > 2 ? Utf8ToCp1252(a.positional[2]) : name;
  ProgressLine line(err, show_progress, "Indexing");
  r.SnyltdyrTable.CreateIndex(name, fields, 0, {}, line.Reporter());
  line.Finish();
  PrintLine(out, "Index " + name + " added");
  return 0;
}

// Rebuilds the table's production index.
int Reindex(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool show_progress) {
  const Arguments a = Parse(args, 1, {}, {});
  ExpectPositional(a, 1, 1);
  SnyltdyrRegister r;
  r.SnyltdyrTable.SetDatabaseName(DirectoryName(a.positional[0]));
  ProgressLine line(err, show_progress, "Reading records");
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

int FilterTree(const std::vector<std::string>& args, std::ostream& out) {
  const Arguments a = Parse(args, 1, {}, {});
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
    out << hex << ((i % 16 == 15 || i + 1 == tree.size()) ? "\n" : " ");
  }
  return 0;
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool show_progress) {
  if (args.empty()) throw UsageError("no command");
  const std::string& command = args[0];
  if (command == "create-sample") return CreateSample(args, out);
  if (command == "stats") return Stats(args, out);
  if (command == "fix") return Fix(args, out, err, show_progress);
  if (command == "export") return Export(args, out, err, show_progress);
  if (command == "sort") return Sort(args, out);
  if (command == "add-index") return AddIndex(args, out, err, show_progress);
  if (command == "reindex") return Reindex(args, out, err, show_progress);
  if (command == "filter-tree") return FilterTree(args, out);
  if (command == "chart") {
    return Chart(args, out, [](SnyltdyrRegister& r, const std::vector<std::string>& rest) {
      OpenSelection(r, Parse(rest, 1, kSelectionValues, kSelectionFlags));
    });
  }
  throw UsageError("unknown command " + command);
}

}  // namespace

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool show_progress) {
  try {
    return Dispatch(args, out, err, show_progress);
  } catch (const UsageError& e) {
    err << "snyltdyr-cli: " << e.Message() << '\n' << kUsage;
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
