#include "storage/engine/datafile/code_page_guess.h"

#include <algorithm>
#include <string_view>

#include "storage/engine/datafile/code_page.h"
#include "storage/engine/datafile/dbf_file.h"
#include "storage/engine/datafile/record_cache.h"

namespace snyltdyr::engine {
namespace {

// A letter of code page 1252 above 0x7F (not ×, ÷ or the signs).
bool Letter1252(unsigned char c) {
  if (c >= 0xC0) return c != 0xD7 && c != 0xF7;
  return c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F;
}

// The register's own letters, in code page 1252: æøåÆØÅ éÉ üÜ öÖ äÄ.
bool OwnLetter(unsigned char c) {
  static constexpr std::string_view kOwn = "\xE6\xF8\xE5\xC6\xD8\xC5\xE9\xC9\xFC\xDC\xF6\xD6\xE4\xC4";
  return kOwn.find(static_cast<char>(c)) != std::string_view::npos;
}

struct Reading {
  int code_page = 0;
  std::string letters;  // the text's high bytes as this code page reads them (1252)
  bool fits = false;    // every one a letter
  bool own = false;     // every one a letter of the register
  uint64_t letter_count = 0;
};

Reading Read(int code_page, const TextBytes& text) {
  Reading r{code_page, {}, true, true, 0};
  for (int b = 0x80; b < 0x100; ++b) {
    if (text.count[b] == 0) continue;
    const std::string ansi = NativeToAnsi(code_page, std::string(1, static_cast<char>(b)));
    const unsigned char c = ansi.empty() ? '?' : static_cast<unsigned char>(ansi[0]);
    r.letters += static_cast<char>(c);
    const bool letter = Letter1252(c);
    r.fits = r.fits && letter;
    r.own = r.own && OwnLetter(c);
    if (letter) r.letter_count += text.count[b];
  }
  return r;
}

}  // namespace

bool TextBytes::PlainAscii() const {
  return std::all_of(count.begin() + 0x80, count.end(), [](uint64_t n) { return n == 0; });
}

CodePageGuess GuessCodePage(const TextBytes& text) {
  CodePageGuess g;
  if (text.PlainAscii()) {
    g.plain_ascii = g.certain = true;
    g.code_page = kGuessCandidates[0];
    g.fitting.assign(std::begin(kGuessCandidates), std::end(kGuessCandidates));
    return g;
  }
  std::vector<Reading> readings;
  for (int cp : kGuessCandidates) readings.push_back(Read(cp, text));
  std::vector<const Reading*> fit, own;
  for (const Reading& r : readings) {
    if (r.fits) fit.push_back(&r);
    if (r.fits && r.own) own.push_back(&r);
  }
  const std::vector<const Reading*>& best = own.empty() ? fit : own;
  if (best.empty()) {  // none fits: shown in the one that reads the most letters
    const auto most = std::max_element(readings.begin(), readings.end(), [](const Reading& a, const Reading& b) {
      return a.letter_count < b.letter_count;
    });
    g.code_page = most->code_page;
    return g;
  }
  g.code_page = best.front()->code_page;
  g.certain = std::all_of(best.begin(), best.end(),
                          [&](const Reading* r) { return r->letters == best.front()->letters; });
  // The code pages of the chosen reading first, then the other fitting ones.
  for (const Reading* r : fit)
    if (r->letters == best.front()->letters) g.fitting.push_back(r->code_page);
  for (const Reading* r : fit)
    if (r->letters != best.front()->letters) g.fitting.push_back(r->code_page);
  return g;
}

Result ReadTableText(DbfFile& dbf, uint32_t records, TextBytes& text) {
  const DbfHeader& h = dbf.header();
  for (const FieldDesc& f : h.fields) text.Add(f.name);
  const uint16_t rl = h.record_length;
  records = std::min(records, h.record_count);
  const uint32_t run = std::max<uint32_t>(1, static_cast<uint32_t>(RecordCache::kMaxRunBytes / rl));
  std::vector<uint8_t> bytes;
  for (uint32_t first = 1; first <= records; first += run) {
    const uint32_t count = std::min(run, records - first + 1);
    bytes.resize(static_cast<size_t>(count) * rl);
    if (Result r = dbf.ReadRecords(first, count, bytes.data())) return r;
    const char* at = reinterpret_cast<const char*>(bytes.data());
    for (uint32_t i = 0; i < count; ++i, at += rl)
      for (const FieldDesc& f : h.fields)
        if (f.type == 'C') text.Add({at + f.offset, f.length});
  }
  return kOk;
}

std::string CodePageList(const std::vector<int>& code_pages) {
  std::string out;
  for (size_t i = 0; i < code_pages.size(); ++i) {
    if (i > 0) out += i + 1 == code_pages.size() ? " and " : ", ";
    out += std::to_string(code_pages[i]);
  }
  return out;
}

}  // namespace snyltdyr::engine
