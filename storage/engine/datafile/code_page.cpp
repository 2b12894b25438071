#include "storage/engine/datafile/code_page.h"

#include <iconv.h>

#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <mutex>

#include "runtime/cp1252.h"
#include "storage/engine/files/case_insensitive_path.h"

namespace snyltdyr::engine {
namespace {

// Unicode code points of the bytes 0x80-0xFF. The five bytes that code page 1252 leaves
// undefined stand for the control characters of the same number, so that a 1252 table
// keeps every byte through a round trip.
constexpr uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr uint16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};
constexpr uint16_t kCp865High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00A4,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
constexpr uint16_t kCp1252High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

struct DriverEntry {
  uint8_t driver;
  int code_page;
};

// Language driver bytes and their code pages. 0x65 is Russian 866 and 0x66 Nordic 865.
constexpr DriverEntry kDrivers[] = {
    {0x01, 437},  {0x02, 850},   {0x03, 1252},  {0x04, 10000}, {0x08, 865},  {0x09, 437},
    {0x0A, 850},  {0x0B, 437},   {0x0D, 437},   {0x0E, 850},   {0x0F, 437},  {0x10, 850},
    {0x11, 437},  {0x12, 850},   {0x13, 932},   {0x14, 850},   {0x15, 437},  {0x16, 850},
    {0x17, 865},  {0x18, 437},   {0x19, 437},   {0x1A, 850},   {0x1B, 437},  {0x1C, 863},
    {0x1D, 850},  {0x1F, 852},   {0x22, 852},   {0x23, 852},   {0x24, 860},  {0x25, 850},
    {0x26, 866},  {0x37, 850},   {0x40, 852},   {0x4D, 936},   {0x4E, 949},  {0x4F, 950},
    {0x50, 874},  {0x57, 1252},  {0x58, 1252},  {0x59, 1252},  {0x64, 852},  {0x65, 866},
    {0x66, 865},  {0x67, 861},   {0x68, 895},   {0x69, 620},   {0x6A, 737},  {0x6B, 857},
    {0x78, 950},  {0x79, 949},   {0x7A, 936},   {0x7B, 932},   {0x7C, 874},  {0x7D, 1255},
    {0x7E, 1256}, {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250}, {0xC9, 1251},
    {0xCA, 1254}, {0xCB, 1253},
};

using HighTable = std::array<uint32_t, 128>;

std::string IconvName(int code_page) {
  switch (code_page) {
    case 10000: return "MACINTOSH";
    case 10006: return "MACGREEK";
    case 10007: return "MACCYRILLIC";
    case 10029: return "MACCENTRALEUROPE";
    default: return "CP" + std::to_string(code_page);
  }
}

bool IsMultiByte(int code_page) {
  return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950;
}

// The code points of 0x80-0xFF in `code_page`; false when it cannot be had.
bool HighHalf(int code_page, HighTable& out) {
  const uint16_t* own = nullptr;
  switch (code_page) {
    case 437: own = kCp437High; break;
    case 850: own = kCp850High; break;
    case 865: own = kCp865High; break;
    case 1252: own = kCp1252High; break;
    default: break;
  }
  if (own != nullptr) {
    for (int i = 0; i < 128; ++i) out[i] = own[i];
    return true;
  }
  if (IsMultiByte(code_page)) return false;
  iconv_t cd = iconv_open("UTF-32LE", IconvName(code_page).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  for (int i = 0; i < 128; ++i) {
    char in = static_cast<char>(0x80 + i);
    char* inp = &in;
    size_t inleft = 1;
    uint32_t u = 0;
    char* outp = reinterpret_cast<char*>(&u);
    size_t outleft = 4;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1) || outleft != 0)
      u = '?';
    out[i] = u;
  }
  iconv_close(cd);
  return true;
}

// Latin-1 letters 0xC0-0xFF without their accents.
constexpr char kPlainLatin1[] = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";

// The nearest character of `code_page` for code point `u` that it lacks.
char Transliterate(uint32_t u, int code_page) {
  if (u >= 0xC0 && u <= 0xFF && u != 0xD7 && u != 0xF7) return kPlainLatin1[u - 0xC0];
  iconv_t cd = iconv_open((IconvName(code_page) + "//TRANSLIT").c_str(), "UTF-32LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return '?';
  char* inp = reinterpret_cast<char*>(&u);
  size_t inleft = 4;
  char out[8] = {};
  char* outp = out;
  size_t outleft = sizeof out;
  size_t rc = iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  // Only a single-byte answer will do ("?" when iconv offers none or several).
  if (rc == static_cast<size_t>(-1) || sizeof out - outleft != 1) return '?';
  return out[0];
}

struct Converter {
  bool ok = false;
  std::array<char, 256> to_ansi{};
  std::array<char, 256> from_ansi{};
};

Converter Build(int code_page) {
  Converter c;
  HighTable native, ansi;
  if (!HighHalf(code_page, native) || !HighHalf(1252, ansi)) return c;
  std::map<uint32_t, int> native_of, ansi_of;
  for (int i = 0; i < 128; ++i) {
    native_of.emplace(native[i], 0x80 + i);
    ansi_of.emplace(ansi[i], 0x80 + i);
  }
  for (int b = 0; b < 128; ++b) c.to_ansi[b] = c.from_ansi[b] = static_cast<char>(b);
  for (int i = 0; i < 128; ++i) {
    auto a = ansi_of.find(native[i]);
    c.to_ansi[0x80 + i] = a != ansi_of.end() ? static_cast<char>(a->second)
                                             : Transliterate(native[i], 1252);
    auto n = native_of.find(ansi[i]);
    c.from_ansi[0x80 + i] = n != native_of.end() ? static_cast<char>(n->second)
                                                 : Transliterate(ansi[i], code_page);
  }
  c.ok = true;
  return c;
}

const Converter& ConverterFor(int code_page) {
  static std::mutex mutex;
  static std::map<int, Converter> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(code_page);
  if (it == cache.end()) it = cache.emplace(code_page, Build(code_page)).first;
  return it->second;
}

std::string Convert(int code_page, std::string_view text, bool to_ansi) {
  if (code_page == 1252 || code_page == 0) return std::string(text);
  // The low half is the same in every code page: plain ASCII text, most of what a table
  // holds, passes without looking up the converter (under its lock).
  if (IsPlainAscii(text)) return std::string(text);
  const Converter& c = ConverterFor(code_page);
  std::string out(text);
  if (!c.ok) return out;  // unknown code page: bytes pass unchanged rather than be lost
  const auto& table = to_ansi ? c.to_ansi : c.from_ansi;
  for (char& ch : out) ch = table[static_cast<unsigned char>(ch)];
  return out;
}

}  // namespace

int CodePageOfDriver(uint8_t driver) {
  for (const DriverEntry& e : kDrivers)
    if (e.driver == driver) return e.code_page;
  return 0;
}

int DefaultCodePage(const std::string& dbf_path) {
  bool exists = false;
  std::string cpg = CompanionPath(dbf_path, ".CPG", exists);
  if (exists) {
    std::ifstream in(cpg);
    std::string text;
    std::getline(in, text);
    std::string digits;
    for (char ch : text)
      if (std::isdigit(static_cast<unsigned char>(ch))) digits += ch;
    // ISO 8859-1 ("ISO 88591", "8859-1") differs from 1252 only in control characters.
    if (digits == "88591") return 1252;
    if (!digits.empty() && digits.size() <= 5) {
      int cp = std::stoi(digits);
      if (CodePageSupported(cp)) return cp;
    }
  }
  return 437;
}

uint8_t DriverOfCodePage(int code_page) {
  switch (code_page) {
    case 437: return 0x1B;
    case 850: return 0x02;
    case 865: return 0x17;
    case 1252: return 0x57;
    default: break;
  }
  for (const DriverEntry& e : kDrivers)
    if (e.code_page == code_page) return e.driver;
  return 0;
}

bool CodePageSupported(int code_page) {
  if (code_page == 1252) return true;
  if (code_page <= 0) return false;
  return ConverterFor(code_page).ok;
}

std::string NativeToAnsi(int code_page, std::string_view native) {
  return Convert(code_page, native, true);
}

std::string AnsiToNative(int code_page, std::string_view ansi) {
  return Convert(code_page, ansi, false);
}

}  // namespace snyltdyr::engine
