// snyltdyr-cli run as a program on generated tables and on a table written by another
// program; what it prints is checked against the records as an independent reader
// (python3-dbfread) sees them, counted by a plain loop here.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>
#include <sys/wait.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/python_runner.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
  }

  CliRun Cmd(const std::string& args) { return Shell("'" + std::string(SNYLTDYR_CLI) + "' " + args); }

  // A shell command run in the test's folder, its output in files.
  CliRun Shell(const std::string& line) {
    const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
    const std::string command = std::string("cd '") + dir.path() + "' && " + line + " >'" + out +
                                "' 2>'" + err + "'";
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = Slurp(out);
    run.err = Slurp(err);
    return run;
  }

  std::string Python(const std::string& script, const std::string& args) {
    int status = 0;
    std::string output = testsupport::RunPython(dir.File("script.py"), script, args, status);
    EXPECT_EQ(status, 0) << output;
    return output;
  }

  // Every record as the independent reader sees it: columns by position, as text.
  std::vector<std::vector<std::string>> Records(const std::string& table_dir,
                                                const std::string& encoding = "cp865") {
    const std::string script =
        "import sys, dbfread\n"
        "t = dbfread.DBF(sys.argv[1], encoding=sys.argv[2])\n"
        "for r in t:\n"
        "    v = ['' if x is None else str(x) for x in r.values()]\n"
        "    print('\\x1f'.join(x.replace('\\r', ' ').replace('\\n', ' ') for x in v))\n";
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(Python(script, "'" + table_dir + "/SNYLTDYR.DBF' " + encoding));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> cells;
      std::string cell;
      std::istringstream in(line);
      while (std::getline(in, cell, '\x1f')) cells.push_back(cell);
      if (!line.empty() && line.back() == '\x1f') cells.push_back("");
      cells.resize(14);
      rows.push_back(cells);
    }
    return rows;
  }

  testsupport::TempDir dir;
};

// Column positions in the table.
enum { kDato, kBygg, kGener, kArsklas, kGruppe, kSnyltdyr, kMengde, kOrgan, kBehandl };

struct Selection {
  std::string args;
  std::string kind;  // "", "alle", "haptor", "tricodina"
  bool funn = false, behandling = false;
  int year_class = -1;
  bool year_button = false;
};

int Score(const std::string& m) {
  int s = 0;
  if (m.find('S') != std::string::npos) s += 20;
  if (m.find('M') != std::string::npos) s += 50;
  if (m.find('L') != std::string::npos) s += 80;
  if (m.find('+') != std::string::npos) s += 10;
  if (m.find('-') != std::string::npos) s -= 10;
  return s;
}

std::string Grade(int a) {
  if (a < 0 || a > 100) return "";
  const char* bands[] = {"S-", "S", "S+", "M-", "M", "M+", "L-", "L", "L+"};
  int band = 0;
  for (int edge : {15, 25, 35, 45, 55, 65, 75, 85}) band += a >= edge;
  return bands[band];
}

// "Antall: N\nSnitt: text" of the rows `keep` selects; an empty selection keeps `before`.
std::string Figures(const std::vector<std::vector<std::string>>& rows,
                    const std::function<bool(const std::vector<std::string>&)>& keep,
                    const std::string& before) {
  int count = 0, sum = 0;
  for (const auto& r : rows) {
    if (!keep(r)) continue;
    ++count;
    sum += Score(r[kMengde]);
  }
  if (count == 0) return "Antall: 0\n" + before;
  const int a = sum / count;
  return "Antall: " + std::to_string(count) + "\nSnitt: " + Grade(a) + " " + std::to_string(a);
}

// What `stats` prints: the window's selection after the boxes, the year-class button
// and the kind button, computed from the stored rows.
std::string ExpectedStats(const std::vector<std::vector<std::string>>& rows, const Selection& s) {
  const std::string all = Figures(rows, [](const auto&) { return true; }, "");
  const std::string start_snitt = all.substr(all.find('\n') + 1);
  std::string filter;
  auto add = [&](const std::string& piece) { filter += (filter.empty() ? "" : " AND ") + piece; };
  const bool kind = s.kind == "haptor" || s.kind == "tricodina";
  if (s.kind.empty() || (!kind && !s.funn && !s.behandling && s.year_class < 0)) {
    // No kind button (a year-class button alone switches filtering off and keeps the
    // figures of the start), or "Alle" with nothing chosen: every record.
    return "Filter: none\n" + all + "\n";
  }
  const std::string value = s.kind == "haptor" ? "Haptor Mark" : "Tricodina";
  if (kind) add("SNYLTDYR='" + value + "'");
  if (s.funn) add("MENGDE<>'-'");
  if (s.behandling) add("BEHANDL<>''");
  if (s.year_class >= 0) add("\xC3\x85RSKLAS=" + std::to_string(s.year_class));
  auto keep = [&](const std::vector<std::string>& r) {
    return (!kind || r[kSnyltdyr] == value) && (!s.funn || r[kMengde] != "-") &&
           (!s.behandling || !r[kBehandl].empty()) &&
           (s.year_class < 0 || r[kArsklas] == std::to_string(s.year_class));
  };
  return "Filter: \xC2\xAB" + filter + "\xC2\xBB\n" + Figures(rows, keep, start_snitt) + "\n";
}

const Selection kSelections[] = {
    {"", ""},
    {"--kind haptor", "haptor"},
    {"--kind haptor --funn", "haptor", true},
    {"--kind tricodina --behandling", "tricodina", true, true},
    {"--kind alle --funn --year-class 2", "alle", true, false, 2, true},
    {"--kind alle --year-class 0", "alle", false, false, 0, true},
    {"--kind alle", "alle"},
    {"--year-class 3", "", false, false, 3, true},
    {"--kind haptor --behandling --year-class 1", "haptor", true, true, 1, true},
    {"--kind tricodina --year-class 5", "tricodina", false, false, 5, true},
    // A ticked box without a kind button: then "Alle", as in the window.
    {"--funn", "alle", true},
    {"--behandling --year-class 2", "alle", true, true, 2, true},
};

TEST_F(Cli, StatsOfEverySelectionAgreeWithAPlainCountOfTheStoredRecords) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 400 --seed 11").status, 0);
  const auto rows = Records(t);
  ASSERT_EQ(rows.size(), 400u);
  for (const Selection& s : kSelections) {
    const CliRun run = Cmd("stats '" + t + "' " + s.args);
    EXPECT_EQ(run.status, 0) << s.args << run.err;
    EXPECT_EQ(run.out, ExpectedStats(rows, s)) << s.args;
  }
}

TEST_F(Cli, TheSameSeedGivesTheSameTableAndAnotherSeedAnother) {
  for (const char* name : {"a", "b", "c"}) {
    const std::string seed = name[0] == 'c' ? "4" : "3";
    ASSERT_EQ(Cmd(std::string("create-sample ") + name + " --records 120 --seed " + seed).status, 0);
  }
  EXPECT_EQ(Slurp(dir.File("a/SNYLTDYR.DBF")), Slurp(dir.File("b/SNYLTDYR.DBF")));
  EXPECT_EQ(Slurp(dir.File("a/SNYLTDYR.DBT")), Slurp(dir.File("b/SNYLTDYR.DBT")));
  EXPECT_NE(Slurp(dir.File("a/SNYLTDYR.DBF")), Slurp(dir.File("c/SNYLTDYR.DBF")));
  // A Norwegian table in code page 865, with what users type: abbreviations, comments
  // of several lines, Norwegian letters.
  const std::string dbf = Slurp(dir.File("a/SNYLTDYR.DBF"));
  EXPECT_EQ(static_cast<unsigned char>(dbf.at(29)), 0x17);
  const auto rows = Records(dir.File("a"));
  int typed = 0, comments = 0, norwegian = 0;
  for (const auto& r : rows) {
    typed += r[kSnyltdyr] == "t" || r[kSnyltdyr] == "h.mark" || r[kOrgan] == "h/g" ||
             r[kMengde] == "s+";
    comments += r[11].find("  ") != std::string::npos;  // a line break, flattened
    norwegian += r[kBygg].find("\xC3\xB8") != std::string::npos;  // ø
  }
  EXPECT_GT(typed, 0);
  EXPECT_GT(comments, 0);
  EXPECT_GT(norwegian, 0);
  EXPECT_EQ(Cmd("create-sample a").status, 1);  // the table is there already
}

TEST_F(Cli, FixWritesNormalisedRecordsThatTheIndependentReaderSees) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 300 --seed 2").status, 0);
  const CliRun run = Cmd("fix '" + t + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  // Some sample records are typed in canonical form already: they are not written again.
  const std::string prefix = "Records normalised: 300, of them changed and written: ";
  ASSERT_EQ(run.out.rfind(prefix, 0), 0u) << run.out;
  const int written = std::stoi(run.out.substr(prefix.size()));
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 300);
  for (const auto& r : Records(t)) {
    EXPECT_FALSE(r[kMengde].empty());
    for (char c : r[kMengde]) EXPECT_FALSE(c >= 'a' && c <= 'z') << r[kMengde];
    const int gener = std::stoi(r[kGener]);
    EXPECT_GE(gener, 100);
    const int year = r[kDato].empty() ? 0 : std::stoi(r[kDato].substr(0, 4));
    EXPECT_EQ(r[kArsklas], std::to_string(year - gener));
    for (const char* typed : {"t", "h.mark", "H. mark", "haptor", "neg.", "tric", "c", "mark"}) {
      EXPECT_NE(r[kSnyltdyr], typed);
    }
    for (const char* typed : {"h/g", "H/G", "Hud/Gjelle", "g", "i", "h", "hud", "lever"}) {
      EXPECT_NE(r[kOrgan], typed);
    }
    for (const char* typed : {"form", "f", "formalin 1:4000", "FORMALIN"}) {
      EXPECT_NE(r[kBehandl], typed);
    }
  }
  // A narrower pass writes only its selection.
  const std::string stats = Cmd("stats '" + t + "' --kind haptor --funn").out;
  const size_t at = stats.find("Antall: ") + 8;
  const std::string antall = stats.substr(at, stats.find('\n', at) - at);
  EXPECT_EQ(Cmd("fix '" + t + "' --kind haptor --funn").out,
            "Records normalised: " + antall + ", of them changed and written: 0\n");
  EXPECT_EQ(Cmd("fix '" + t + "'").out, prefix + "0\n");
}

// A box ticked without --kind is applied as the window applies it, by a click on "Alle":
// the same selection as --kind alle with the box, for every command that takes one.
TEST_F(Cli, ABoxWithoutAKindActsAsAClickOnAlle) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 250 --seed 5").status, 0);
  const std::string all = Cmd("stats '" + t + "'").out;
  for (const char* box : {"--funn", "--behandling"}) {
    const CliRun alone = Cmd("stats '" + t + "' " + box);
    ASSERT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(alone.out, Cmd("stats '" + t + "' --kind alle " + box).out) << box;
    EXPECT_NE(alone.out, all) << box;
    EXPECT_EQ(Cmd("export '" + t + "' " + box).out,
              Cmd("export '" + t + "' --kind alle " + box).out) << box;
  }
  const std::string with_funn = Cmd("stats '" + t + "' --funn").out;
  EXPECT_NE(with_funn.find("\xC2\xABMENGDE<>'-'\xC2\xBB"), std::string::npos) << with_funn;
  const size_t at = with_funn.find("Antall: ") + 8;
  const std::string antall = with_funn.substr(at, with_funn.find('\n', at) - at);
  EXPECT_EQ(Cmd("fix '" + t + "' --funn").out.rfind("Records normalised: " + antall + ",", 0),
            0u);
}

// The long passes draw their progress on standard error when it is a terminal (here a
// pseudo-terminal made by script(1)), and say nothing there when it is not.
TEST_F(Cli, LongPassesShowProgressOnATerminalOnly) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 300 --seed 4").status, 0);
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  struct Pass {
    std::string quiet, shown, what;  // the arguments of each run (an index is added once)
  };
  const std::string in = " '" + t + "'";
  for (const Pass& p : {Pass{"fix" + in, "fix" + in, "Normalising: "},
                        Pass{"export" + in, "export" + in, "Exporting: "},
                        Pass{"add-index" + in + " ORGAN", "add-index" + in + " BEHANDL", "Indexing: "},
                        Pass{"reindex" + in, "reindex" + in, "Reading records: "}}) {
    SCOPED_TRACE(p.shown);
    const CliRun quiet = Cmd(p.quiet);
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find(p.what), std::string::npos) << quiet.err;
    // Standard output to a file, standard error to the terminal that script records.
    const std::string inner = "'" + std::string(SNYLTDYR_CLI) + "' " + p.shown + " >/dev/null";
    std::string quoted;
    for (char c : inner) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const CliRun shown = Shell("script -qec '" + quoted + "' /dev/null");
    ASSERT_EQ(shown.status, 0) << shown.out << shown.err;
    const size_t at = shown.out.find("\r" + p.what);
    ASSERT_NE(at, std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find(" records (100%)", at), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find('\n', at), std::string::npos) << "the line is ended";
  }
}

TEST_F(Cli, ExportWritesTheSelectionInIndexOrderWithLabelsAndComments) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 200 --seed 9").status, 0);
  const CliRun run = Cmd("export '" + t + "' --kind haptor");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("\r\n")),
            "dato,kar,generasjon,\xC3\xA5rsklasse,gruppe,snyltdyr,mengde,organ,behandling,tid,"
            "konsentrasjon,KOMENT,pr\xC3\xB8vemetode,tall");
  const std::string script =
      "import csv, sys\n"
      "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8', newline='')))\n"
      "print(len(rows) - 1)\n"
      "print(sum(1 for r in rows[1:] if r[5] == 'Haptor Mark'))\n"
      "print(sum(1 for r in rows[1:] if '\\n' in r[11]))\n"
      "d = [r[0][6:] + r[0][3:5] + r[0][:2] for r in rows[1:]]\n"
      "print(d == sorted(d))\n";
  std::ofstream(dir.File("export.csv"), std::ios::binary) << run.out;
  const std::string stats = Cmd("stats '" + t + "' --kind haptor").out;
  const size_t at = stats.find("Antall: ") + 8;
  const std::string antall = stats.substr(at, stats.find('\n', at) - at);
  const std::string seen = Python(script, "'" + dir.File("export.csv") + "'");
  std::istringstream lines(seen);
  std::string count, haptor, multi_line, ordered;
  std::getline(lines, count);
  std::getline(lines, haptor);
  std::getline(lines, multi_line);
  std::getline(lines, ordered);
  EXPECT_EQ(count, antall);
  EXPECT_EQ(haptor, antall);
  EXPECT_NE(multi_line, "0");
  EXPECT_EQ(ordered, "True");
}

TEST_F(Cli, SortCreatesTheTagOnceAndReusesIt) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 150 --seed 4").status, 0);
  const auto mdx_before = fs::file_size(t + "/SNYLTDYR.MDX");
  const CliRun first = Cmd("sort '" + t + "' BYGG");
  ASSERT_EQ(first.status, 0) << first.err;
  const auto mdx_after = fs::file_size(t + "/SNYLTDYR.MDX");
  EXPECT_GT(mdx_after, mdx_before);
  const CliRun second = Cmd("sort '" + t + "' BYGG");
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(fs::file_size(t + "/SNYLTDYR.MDX"), mdx_after);

  // The printed record numbers are every record once, with BYGG in order (the sample's
  // tank names are plain letters and digits but for a few with Norwegian letters).
  const auto rows = Records(t);
  std::vector<bool> seen(rows.size() + 1);
  std::string previous;
  std::istringstream numbers(first.out);
  size_t count = 0;
  for (int n; numbers >> n; ++count) {
    ASSERT_TRUE(n >= 1 && n <= static_cast<int>(rows.size()) && !seen[n]) << n;
    seen[n] = true;
    const std::string& bygg = rows[n - 1][kBygg];
    if (bygg.find('\xC3') == std::string::npos) {
      EXPECT_LE(previous, bygg);
      previous = bygg;
    }
  }
  EXPECT_EQ(count, rows.size());
  const CliRun bad = Cmd("sort '" + t + "' KOMENT");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "SnyltdyrTable: Index does not exist. Index: KOMENT\nThe operation does not "
                     "fit the field's type.\nThe field KOMENT cannot be indexed.\n");
}

// A dBASE III table with a memo file and no index, as another program writes it.
const char* const kForeignWriter = R"PY(
import struct, sys, random, os
d = sys.argv[1]
cols = [(b'DATO','D',8,0),(b'BYGG','C',9,0),(b'GENER','C',20,0),(b'\x8fRSKLAS','C',20,0),
        (b'GRUPPE','N',4,0),(b'SNYLTDYR','C',30,0),(b'MENGDE','C',9,0),(b'ORGAN','C',30,0),
        (b'BEHANDL','C',30,0),(b'TID','C',20,0),(b'KONS','C',20,0),(b'KOMENT','M',10,0),
        (b'METODE','C',30,0),(b'TALL','N',10,2)]
rnd = random.Random(5)
kinds = ['Haptor Mark','Tricodina','Negativ','Costia','t','h.mark','']
amounts = ['S','M','L','S+','M-','L+','-','','s+','m']
rows = []
for i in range(60):
    y = 2003 + rnd.randrange(8)
    g = y - rnd.randrange(6)
    rows.append(['%04d%02d%02d' % (y, 1 + rnd.randrange(12), 1 + rnd.randrange(28)),
                 'K%d' % rnd.randrange(9), str(g), str(y - g) if rnd.random() < .7 else '',
                 str(rnd.randrange(12)), rnd.choice(kinds), rnd.choice(amounts), 'Hud',
                 rnd.choice(['', 'Formalin']), '', '', 'memo %d\r\nline two' % i if i % 7 == 0 else None,
                 'Skrap', '%.2f' % (rnd.randrange(9999) / 100)])
reclen = 1 + sum(c[2] for c in cols)
hdrlen = 32 + 32 * len(cols) + 1
memo = bytearray(512)
blocks = 1
with open(os.path.join(d, 'SNYLTDYR.DBF'), 'wb') as f:
    f.write(struct.pack('<BBBBIHH20x', 0x83, 99, 1, 2, len(rows), hdrlen, reclen))
    for name, t, n, dec in cols:
        f.write(struct.pack('<11sc4xBB14x', name, t.encode(), n, dec))
    f.write(b'\r')
    for r in rows:
        rec = b' '
        for (name, t, n, dec), v in zip(cols, r):
            if t == 'M':
                if v is None:
                    cell = b' ' * 10
                else:
                    data = v.encode('cp437') + b'\x1a\x1a'
                    cell = ('%10d' % blocks).encode()
                    data += b'\0' * (-len(data) % 512)
                    memo += data
                    blocks += len(data) // 512
            elif t == 'N':
                cell = v.rjust(n).encode()
            else:
                cell = v.encode('cp437').ljust(n)
            rec += cell
        f.write(rec)
    f.write(b'\x1a')
memo[0:4] = struct.pack('<I', blocks)
open(os.path.join(d, 'SNYLTDYR.DBT'), 'wb').write(memo)
)PY";

TEST_F(Cli, ATableFromAnotherProgramGetsItsDateIndexAndCounts) {
  const std::string t = dir.File("foreign");
  fs::create_directories(t);
  Python(kForeignWriter, "'" + t + "'");
  const CliRun without = Cmd("stats '" + t + "'");
  EXPECT_EQ(without.status, 1);
  EXPECT_EQ(without.err, "SnyltdyrTable: Index does not exist. Index: DATO\nThe table has no index "
                         "DATO, by which the register shows it; add it with: snyltdyr-cli "
                         "add-index \"" + t + "\" DATO.\n");

  // Its header names no code page, so it is only read until the user says which.
  EXPECT_EQ(Cmd("add-index '" + t + "' DATO").status, 1);
  const CliRun declared = Cmd("repair '" + t + "' --apply --code-page 437");
  ASSERT_EQ(declared.status, 0) << declared.out << declared.err;
  const CliRun added = Cmd("add-index '" + t + "' DATO");
  ASSERT_EQ(added.status, 0) << added.err;
  const auto rows = Records(t, "cp437");
  ASSERT_EQ(rows.size(), 60u);
  for (const Selection& s : kSelections) {
    const CliRun run = Cmd("stats '" + t + "' " + s.args);
    EXPECT_EQ(run.status, 0) << s.args << run.err;
    EXPECT_EQ(run.out, ExpectedStats(rows, s)) << s.args;
  }
  // The independent reader still reads every record and memo after the index was added.
  EXPECT_EQ(Records(t, "cp437").size(), 60u);
}

// An office or GIS program changes a date in place and appends a record, leaving the
// header's production-index flag set and the index as it was.
const char* const kOtherProgramEdits = R"PY(
import struct, sys
p = sys.argv[1] + '/SNYLTDYR.DBF'
b = bytearray(open(p, 'rb').read())
n, hl, rl = struct.unpack('<IHH', b[4:12])
b[hl + rl + 1:hl + rl + 9] = b'19900101'
b[hl + n * rl:hl + n * rl] = b[hl:hl + rl]
struct.pack_into('<I', b, 4, n + 1)
open(p, 'wb').write(b)
)PY";

TEST_F(Cli, AnIndexLeftOutOfStepIsReportedNeverReadThroughAndRebuilt) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 200 --seed 5").status, 0);
  Python(kOtherProgramEdits, "'" + t + "'");
  const auto rows = Records(t);
  ASSERT_EQ(rows.size(), 201u);
  const std::string repair = "snyltdyr-cli reindex \"" + t + "\"";

  // The figures do not need the index: they come in record order, with the reason.
  const CliRun stats = Cmd("stats '" + t + "'");
  EXPECT_EQ(stats.status, 0) << stats.err;
  EXPECT_EQ(stats.out.substr(0, stats.out.find("Read-only: ")), ExpectedStats(rows, {}));
  EXPECT_NE(stats.out.find("Read-only: "), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("does not agree with the table"), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find(repair), std::string::npos) << stats.out;
  EXPECT_NE(stats.out.find("The index DATO is not used"), std::string::npos) << stats.out;
  // What needs the index fails with its reason, and writes nothing.
  for (const std::string& command : {"export '" + t + "'", "sort '" + t + "' DATO"}) {
    const CliRun run = Cmd(command);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_EQ(run.out, "") << command;
    EXPECT_NE(run.err.find(repair), std::string::npos) << command << ": " << run.err;
  }
  const std::string dbf = Slurp(t + "/SNYLTDYR.DBF");
  const CliRun fix = Cmd("fix '" + t + "'");
  EXPECT_EQ(fix.status, 1);
  EXPECT_EQ(fix.err.rfind("SnyltdyrTable: Cannot modify a read-only dataset\n", 0), 0u) << fix.err;
  EXPECT_NE(fix.err.find(repair), std::string::npos) << fix.err;
  EXPECT_EQ(Slurp(t + "/SNYLTDYR.DBF"), dbf);

  const std::string old_index = Slurp(t + "/SNYLTDYR.MDX");
  const CliRun reindex = Cmd("reindex '" + t + "'");
  ASSERT_EQ(reindex.status, 0) << reindex.err;
  EXPECT_EQ(reindex.out, "Index rebuilt from 201 records: DATO\nThe old index is kept as " + t +
                             "/SNYLTDYR.MDX.bak\n");
  EXPECT_EQ(Slurp(t + "/SNYLTDYR.MDX.bak"), old_index);
  EXPECT_EQ(Cmd("stats '" + t + "'").out, ExpectedStats(rows, {}));
  const CliRun exported = Cmd("export '" + t + "'");
  ASSERT_EQ(exported.status, 0) << exported.err;
  std::ofstream(dir.File("export.csv"), std::ios::binary) << exported.out;
  const std::string script =
      "import csv, sys\n"
      "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8', newline='')))[1:]\n"
      "d = [r[0][6:] + r[0][3:5] + r[0][:2] for r in rows]\n"
      "print(len(rows), d == sorted(d), '19900101' in d)\n";
  EXPECT_EQ(Python(script, "'" + dir.File("export.csv") + "'"), "201 True True\n");
}

TEST_F(Cli, TwoMemoFilesThatDifferOnlyInCaseAreRefusedNamingBoth) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 20").status, 0);
  fs::copy_file(t + "/SNYLTDYR.DBT", t + "/SNYLTDYR.dbt");
  const CliRun run = Cmd("export '" + t + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("holds both SNYLTDYR.DBT and SNYLTDYR.dbt"), std::string::npos) << run.err;
}

// One child pointer of the DATO tag's root aimed at its neighbour: a walk in date order
// would give one leaf's records twice and never those of the leaf it lost. The tag is not
// used: the commands that need the date order fail with the damaged-index message, the
// figures come in record order with the table's reason beside them, and no command
// changes a file.
TEST_F(Cli, ATagWhoseRootLeadsTwiceToALeafStopsSortExportAndStats) {
  const std::string t = dir.File("t");
  ASSERT_EQ(Cmd("create-sample '" + t + "' --records 300 --seed 2").status, 0);
  std::string mdx = Slurp(t + "/SNYLTDYR.MDX");
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(mdx[at + static_cast<size_t>(i)]);
    return v;
  };
  const size_t header = u32(544) * 512, root = u32(header) * 512;  // the first tag: DATO
  const size_t item = static_cast<uint8_t>(mdx[header + 18]);
  ASSERT_GE(u32(root), 2u) << "the root should be a branch of several leaves";
  mdx.replace(root + 8 + item, 4, mdx.substr(root + 8, 4));
  std::ofstream(t + "/SNYLTDYR.MDX", std::ios::binary | std::ios::trunc) << mdx;
  const std::string dbf = Slurp(t + "/SNYLTDYR.DBF");

  const std::string damaged = "SNYLTDYR.MDX is damaged (tag DATO: ";
  const std::string repair = "snyltdyr-cli reindex \"" + t + "\"";
  for (const char* command : {"sort '%s' DATO", "export '%s'"}) {
    std::string line = command;
    line.replace(line.find("%s"), 2, t);
    const CliRun run = Cmd(line);
    EXPECT_EQ(run.status, 1) << line << ": " << run.out;
    EXPECT_EQ(run.out, "") << line;
    EXPECT_NE(run.err.find(damaged), std::string::npos) << line << ": " << run.err;
    EXPECT_NE(run.err.find(repair), std::string::npos) << line << ": " << run.err;
  }
  const auto rows = Records(t);
  for (const Selection& s : {Selection{"", ""}, Selection{"--kind haptor", "haptor"}}) {
    const CliRun run = Cmd("stats '" + t + "' " + s.args);
    EXPECT_EQ(run.status, 0) << s.args << ": " << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find("Read-only: ")), ExpectedStats(rows, s)) << s.args;
    EXPECT_NE(run.out.find(damaged), std::string::npos) << run.out;
  }
  EXPECT_EQ(Slurp(t + "/SNYLTDYR.MDX"), mdx);
  EXPECT_EQ(Slurp(t + "/SNYLTDYR.DBF"), dbf);
}

TEST_F(Cli, FilterTreeAndCommandLineErrors) {
  // Against the declared fields (no table here): the header of the worked example.
  const CliRun tree = Cmd("filter-tree \"SNYLTDYR='Haptor Mark' AND \xC3\x85RSKLAS=3\"");
  ASSERT_EQ(tree.status, 0) << tree.err;
  EXPECT_EQ(tree.out.substr(0, 48), "02 00 81 00 FF FF 0A 00 62 00 02 00 00 00 0A 00\n");
  EXPECT_EQ(std::count(tree.out.begin(), tree.out.end(), '\n'), 9);  // 129 bytes

  // The field nodes carry the columns' numbers, SNYLTDYR 6 and ÅRSKLAS 4.
  EXPECT_EQ(tree.out.substr(96, 48), "24 00 04 00 00 00 0D 00 00 00 06 00 00 00 05 00\n");
  // Against the fields of a table in the working directory: the same tree, but for the
  // name ÅRSKLAS, which goes to the engine in the table's code page (865: 0x8F).
  ASSERT_EQ(Cmd("create-sample . --records 3").status, 0);
  std::string on_table = tree.out;
  on_table.replace(on_table.find("C5 52 53"), 2, "8F");
  EXPECT_EQ(Cmd("filter-tree \"SNYLTDYR='Haptor Mark' AND \xC3\x85RSKLAS=3\"").out, on_table);

  const CliRun bad_filter = Cmd("filter-tree \"NOSUCH=1\"");
  EXPECT_EQ(bad_filter.status, 1);
  EXPECT_FALSE(bad_filter.err.empty());

  EXPECT_EQ(Cmd("stats '" + dir.File("nothing") + "'").status, 1);
  EXPECT_EQ(Cmd("stats").status, 2);
  EXPECT_EQ(Cmd("stats x --kind everything").status, 2);
  EXPECT_EQ(Cmd("frobnicate").status, 2);
  EXPECT_EQ(Cmd("create-sample x --records many").status, 2);
}

}  // namespace
}  // namespace snyltdyr
