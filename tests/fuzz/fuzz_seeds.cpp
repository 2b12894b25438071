// Seed inputs of the fuzz targets, made from the fuzz table and the register's own texts.
#include <memory>

#include "filter_data_set.h"
#include "fuzz_support.h"
#include "storage/engine/memo/dbt_memo.h"
#include "storage/engine/index/index_production.h"

namespace snyltdyr::fuzz {
namespace {

constexpr uint32_t kSeedMemos = 20;

std::string Memo(uint32_t r) {
  std::string text = "Kommentar " + std::to_string(r) + ": ";
  for (uint32_t i = 0; i < r * 7; ++i) text += static_cast<char>('a' + (i * 7 + r) % 26);
  return text;
}

// The memo file of the fuzz table, dBASE IV variant: record r's memo in block r, then a
// memo of several blocks.
std::string Dbt4() {
  const std::string path = ScratchDir() + "/SEED4.DBT";
  std::remove(path.c_str());
  if (engine::DbtMemo::Create(path, "FUZZ") != engine::kOk) FuzzFail("cannot create " + path);
  engine::DbtMemo memo;
  if (memo.Open(path, engine::MemoKind::kDbase4, true) != engine::kOk) FuzzFail("cannot open " + path);
  uint32_t block = 0;
  for (uint32_t r = 1; r <= kSeedMemos; ++r)
    if (memo.Write(Memo(r), 0, block) != engine::kOk || block != r) FuzzFail("seed memo " + std::to_string(r));
  if (memo.Write(std::string(1500, 'x'), 0, block) != engine::kOk) FuzzFail("long seed memo");
  return ReadWholeFile(path);
}

// The dBASE III variant: 512-byte blocks, texts ended by 1A 1A, the next block in bytes 0-3.
std::string Dbt3() {
  std::string bytes(512, '\0');
  for (uint32_t r = 1; r <= kSeedMemos; ++r) {
    std::string block = Memo(r) + "\x1A\x1A";
    block.resize(512, '\0');
    bytes += block;
  }
  const uint32_t next = kSeedMemos + 1;
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(next >> (8 * i));
  bytes[16] = 0x03;
  return bytes;
}

// The production index of the fuzz table with tags of every kind; `churn` changes the dates
// of many records afterwards, so that nodes split, empty and go to the free list.
std::string Mdx(bool churn) {
  const FuzzTable& table = TheFuzzTable();
  const std::string path = ScratchDir() + "/SEED.MDX";
  std::remove(path.c_str());
  std::unique_ptr<engine::ProductionIndex> index;
  if (!engine::ProductionIndex::Create(path, "SEED", table.fields, kFuzzCodePage, index))
    FuzzFail("cannot create " + path);
  const engine::NewTagDefinition tags[] = {{"DATO", "DATO", false, false},
                                     {"BYGG", "BYGG", false, true},
                                     {"TALL", "TALL", true, false},
                                     {"NOTAT", "NOTAT", false, false},
                                     {"ART", "UPPER(SNYLTDYR)+STR(GRUPPE,4)", false, false}};
  for (const engine::NewTagDefinition& tag : tags)
    if (engine::IndexStatus s = index->AddTag(tag, table.Indexed()); !s) FuzzFail(s.message());
  if (churn) {
    FuzzTable changed = table;
    for (uint32_t r = 1; r <= changed.records.size(); r += 2) {
      const std::vector<uint8_t> before = changed.records[r - 1];
      std::memcpy(changed.records[r - 1].data() + changed.fields[0].offset, "19990101", 8);
      changed.records[r - 1][changed.fields[1].offset] = 'Z';
      const RecordView was{&changed.fields, before.data(), kFuzzCodePage};
      const RecordView now = changed.View(r);
      if (engine::IndexStatus s = index->Apply(r, &was, &now, changed.Indexed()); !s) FuzzFail(s.message());
    }
  }
  // A seed the checker finds unsound would leave the properties of sound indexes untried.
  const auto problems = engine::CheckIndex(index->file(), churn ? TheFuzzTable().Indexed() : table.Indexed());
  if (!churn && !problems.empty()) FuzzFail("the seed index is unsound: " + engine::DescribeProblems(problems));
  index.reset();
  return ReadWholeFile(path);
}

// The texts the selection buttons make, and texts of every construct of the language.
const char* const kFilterTexts[] = {
    "SNYLTDYR='Haptor Mark' AND MENGDE<>'-' AND \xC5RSKLAS=3",
    "SNYLTDYR='Tricodina' AND MENGDE<>'-'",
    "SNYLTDYR='Haptor*'",
    "MENGDE<>'-' AND NOTAT<>''",
    "NOTAT='O'Brien' OR BYGG='K1'",
    "GRUPPE IN (1, 2, 3) AND NOT TALL<0",
    "\xC5RSKLAS IN ('1','2') OR [\xC5RSKLAS]=5",
    "KOMENT LIKE '%merd%'",
    "DATO>='01.01.2020' AND DATO<'01.01.2021'",
    "BYGG IS NULL OR GRUPPE IS NOT NULL",
    "FERDIG AND NOT (TALL>=-12,5)",
    "(SNYLTDYR='Haptor Mark' OR SNYLTDYR='Tricodina') AND (MENGDE='M' OR MENGDE='MM')",
    "/* utvalg */ BYGG='K3' AND GRUPPE<>NULL",
    "3<GRUPPE AND NOTAT LIKE 'merd_kar%'",
};

const char* const kKeyExpressions[] = {
    "DATO",
    "BYGG",
    "TALL\n.NOT. DELETED()",
    "UPPER(SNYLTDYR)+DTOS(DATO)",
    "STR(TALL,8,2)+BYGG\nDELETED() .OR. .F.",
    "SUBSTR(NOTAT,3,10)",
    "LEFT(BYGG,2)+RIGHT(SNYLTDYR,4)",
    "VAL(\x8FRSKLAS)",
    "TALL-GRUPPE",
    "TRIM(BYGG)-MENGDE",
    "UPPER(LTRIM(TRIM(NOTAT)))",
    "STR(GRUPPE,4)+\x8FRSKLAS\n!DELETED() .AND. (.T.)",
};

}  // namespace

std::vector<std::string> SeedInputs(const std::string& target) {
  std::vector<std::string> seeds;
  if (target == "dbf") {
    seeds = {FuzzTableDbf(0x8B, kSeedMemos), FuzzTableDbf(0x83, kSeedMemos), FuzzTableDbf(0x03, 0)};
    std::string empty = FuzzTableDbf(0x8B, 0);
    empty.resize(static_cast<size_t>(static_cast<uint8_t>(empty[8]) | static_cast<uint8_t>(empty[9]) << 8));
    for (int i = 4; i < 8; ++i) empty[static_cast<size_t>(i)] = 0;
    seeds.push_back(empty + '\x1A');
  } else if (target == "dbt") {
    seeds = {Dbt4(), Dbt3()};
  } else if (target == "mdx") {
    seeds = {Mdx(false), Mdx(true)};
  } else if (target == "filter_parser" || target == "filter_tree") {
    TFilterDataSet data_set;
    for (const char* text : kFilterTexts) {
      for (unsigned options : {0u, 1u, 2u, 4u}) {
        std::vector<uint8_t> tree;
        if (target == "filter_parser")
          seeds.push_back(std::string(1, static_cast<char>(options)) + text);
        else if (FilterTreeOf(data_set, text, options & 3u, tree))
          seeds.emplace_back(tree.begin(), tree.end());
      }
    }
  } else if (target == "key_expression") {
    for (const char* text : kKeyExpressions) seeds.emplace_back(text);
  }
  return seeds;
}

}  // namespace snyltdyr::fuzz
