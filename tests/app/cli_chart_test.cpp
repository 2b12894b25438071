// The companion's chart command: its table against the independent reader's records
// grouped by a script, its selections against "stats", and its pictures as files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "register/sample_observations.h"
#include "support/python_runner.h"
#include "support/temp_dir.h"

namespace snyltdyr {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out, err;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string FileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Width and height from a PNG file's header chunk.
std::pair<uint32_t, uint32_t> PngSize(const std::string& png) {
  auto big_endian = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(png.at(at + i));
    return v;
  };
  return {big_endian(16), big_endian(20)};
}

class ChartCommand : public ::testing::Test {
 protected:
  void Sample(int64_t records, uint64_t seed) {
    fs::create_directories(dir.File("data"));
    CreateSampleTable(dir.File("data"), records, seed);
  }

  CliRun Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    CliRun run;
    run.status = RunCli(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  // The counts of the CSV's lines added up.
  static int64_t Added(const std::vector<std::string>& csv) {
    int64_t total = 0;
    for (size_t i = 1; i < csv.size(); ++i) {
      const size_t first = csv[i].rfind(',', csv[i].rfind(',') - 1);
      total += std::stoll(csv[i].substr(first + 1));
    }
    return total;
  }

  testsupport::TempDir dir;
};

// The months by a script of its own over the records the independent reader sees: the
// same scores, the average truncated toward zero, the grade bands written out again.
TEST_F(ChartCommand, MonthsAgreeWithTheIndependentReader) {
  if (!testsupport::PythonAvailable()) GTEST_SKIP() << "no " << SNYLTDYR_PYTHON;
  Sample(900, 3);
  const std::string script =
      "import sys, dbfread\n"
      "groups = {}\n"
      "for r in dbfread.DBF(sys.argv[1], encoding='cp865'):\n"
      "    d = r['DATO']\n"
      "    key = '%04d-%02d' % (d.year, d.month) if d else 'uten dato'\n"
      "    m = r['MENGDE'] or ''\n"
      "    s = sum(v for c, v in (('S', 20), ('M', 50), ('L', 80), ('+', 10), ('-', -10)) if c in m)\n"
      "    g = groups.setdefault(key, [0, 0])\n"
      "    g[0] += 1; g[1] += s\n"
      "bands = [(0, 'S-'), (15, 'S'), (25, 'S+'), (35, 'M-'), (45, 'M'), (55, 'M+'),\n"
      "         (65, 'L-'), (75, 'L'), (85, 'L+')]\n"
      "print('periode,antall,snitt')\n"
      "for key in sorted(groups, key=lambda k: (k == 'uten dato', k)):\n"
      "    n, s = groups[key]\n"
      "    a = abs(s) // n * (1 if s >= 0 else -1)\n"
      "    grade = [b for lo, b in bands if lo <= a][-1] if 0 <= a <= 100 else ''\n"
      "    print('%s,%d,%s %d' % (key, n, grade, a))\n";
  int status = 0;
  const std::string expected = testsupport::RunPython(
      dir.File("months.py"), script, "'" + dir.File("data/SNYLTDYR.DBF") + "'", status);
  ASSERT_EQ(status, 0) << expected;
  const CliRun run = Cli({"chart", dir.File("data"), "--csv"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out), Lines(expected));
  EXPECT_EQ(Lines(run.out).back().rfind("uten dato,", 0), 0u);  // the sample has some
}

TEST_F(ChartCommand, EverySelectionAddsUpToTheAntallOfStats) {
  Sample(400, 9);
  const std::vector<std::vector<std::string>> selections = {
      {"--kind", "haptor", "--funn"}, {"--kind", "alle", "--behandling", "--year-class", "2"}};
  for (const auto& selection : selections) {
    for (const char* by : {"month", "year", "kar"}) {
      std::vector<std::string> chart = {"chart", dir.File("data"), "--by", by, "--csv"};
      std::vector<std::string> stats = {"stats", dir.File("data")};
      chart.insert(chart.end(), selection.begin(), selection.end());
      stats.insert(stats.end(), selection.begin(), selection.end());
      const CliRun c = Cli(chart), s = Cli(stats);
      ASSERT_EQ(c.status, 0) << c.err;
      const std::vector<std::string> csv = Lines(c.out);
      ASSERT_FALSE(csv.empty());
      EXPECT_EQ(csv[0], "periode,antall,snitt");
      const std::string antall = Lines(s.out).at(1);  // "Antall: N"
      EXPECT_EQ("Antall: " + std::to_string(Added(csv)), antall) << by;
    }
  }
}

TEST_F(ChartCommand, TanksComeInReadingOrderInUtf8) {
  Sample(300, 4);
  const CliRun run = Cli({"chart", dir.File("data"), "--by", "kar", "--csv"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> csv = Lines(run.out);
  // Tanks in reading order; "Sør 1" in UTF-8; the records without a tank last.
  const auto at = [&](const std::string& tank) {
    for (size_t i = 0; i < csv.size(); ++i) {
      if (csv[i].rfind(tank + ",", 0) == 0) return i;
    }
    return csv.size();
  };
  EXPECT_LT(at("K2"), at("K12"));
  EXPECT_LT(at("K12"), at("Kar 3"));
  EXPECT_LT(at("S\xC3\xB8r 1"), csv.size());
  EXPECT_EQ(at("uten kar"), csv.size() - 1);
}

TEST_F(ChartCommand, PicturesAreWrittenAsPngAndSvg) {
  Sample(200, 5);
  const CliRun png = Cli({"chart", dir.File("data"), "--out", dir.File("m.png")});
  ASSERT_EQ(png.status, 0) << png.err;
  const std::string bytes = FileBytes(dir.File("m.png"));
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(PngSize(bytes), (std::pair<uint32_t, uint32_t>{900, 520}));
  EXPECT_NE(png.out.find("200 records"), std::string::npos) << png.out;

  const CliRun svg = Cli({"chart", dir.File("data"), "--by", "kar", "--kind", "haptor", "--out",
                       dir.File("k.SVG"), "--csv"});
  ASSERT_EQ(svg.status, 0) << svg.err;
  EXPECT_EQ(Lines(svg.out).at(0), "periode,antall,snitt");
  const std::string text = FileBytes(dir.File("k.SVG"));
  EXPECT_NE(text.find("<svg"), std::string::npos);
  EXPECT_NE(text.find("SNYLTDYR='Haptor Mark'"), std::string::npos);  // the title
}

TEST_F(ChartCommand, AWrongCommandLineOpensNothingAndWritesNothing) {
  Sample(20, 1);
  const std::vector<std::vector<std::string>> wrong = {
      {"chart", dir.File("data")},  // neither --csv nor --out
      {"chart", dir.File("data"), "--by", "week", "--csv"},
      {"chart", dir.File("data"), "--by"},
      {"chart", dir.File("data"), "--out", dir.File("m.jpg")},
      {"chart", dir.File("data"), "--csv", "--colour", "red"},
      {"chart", "--csv"}};
  for (const auto& args : wrong) {
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << args.back();
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
    EXPECT_TRUE(run.out.empty());
  }
  EXPECT_FALSE(fs::exists(dir.File("m.jpg")));
}

TEST_F(ChartCommand, AFailedWriteSaysWhyAndLeavesWhatWasThere) {
  Sample(20, 1);
  { std::ofstream(dir.File("plain")) << "a file, not a folder"; }
  const CliRun no_folder = Cli({"chart", dir.File("data"), "--out", dir.File("plain/m.png")});
  EXPECT_EQ(no_folder.status, 1);
  EXPECT_NE(no_folder.err.find("Kunne ikke lagre bildet"), std::string::npos) << no_folder.err;
  // The name is taken by a folder: the picture cannot replace it, and no half-written
  // file is left beside it.
  fs::create_directories(dir.File("taken.png/inside"));
  const CliRun taken = Cli({"chart", dir.File("data"), "--out", dir.File("taken.png")});
  EXPECT_EQ(taken.status, 1);
  EXPECT_TRUE(fs::is_directory(dir.File("taken.png/inside")));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"data", "plain", "taken.png"}));
}

TEST_F(ChartCommand, AnEmptySelectionIsAHeaderAndAPictureWithItsMessage) {
  Sample(0, 1);
  const CliRun run = Cli({"chart", dir.File("data"), "--csv", "--out", dir.File("e.png")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out), std::vector<std::string>{"periode,antall,snitt"});
  EXPECT_TRUE(fs::exists(dir.File("e.png")));
}

}  // namespace
}  // namespace snyltdyr
