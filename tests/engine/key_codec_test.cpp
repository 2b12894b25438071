#include "storage/engine/keys/key_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace snyltdyr::engine {
namespace {

std::string Hex(const std::string& s) {
  std::string out;
  char buf[4];
  for (unsigned char c : s) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

std::string Bytes(std::initializer_list<int> b) {
  std::string s(12, '\0');
  size_t i = 0;
  for (int v : b) s[i++] = static_cast<char>(v);
  return s;
}

TEST(NumericKey, EncodesTheBytesOtherProgramsWrite) {
  // Keys of single numeric fields carry the field width in the digit-count bits.
  EXPECT_EQ(Hex(*EncodeNumericKey("10", 10)), Hex(Bytes({0x36, 0x29, 0x10})));
  EXPECT_EQ(Hex(*EncodeNumericKey("1998", 10)), Hex(Bytes({0x38, 0x29, 0x19, 0x98})));
  EXPECT_EQ(Hex(*EncodeNumericKey("-3.50", 8)), Hex(Bytes({0x35, 0xA1, 0x35})));
  EXPECT_EQ(Hex(*EncodeNumericKey("1234.50", 8)), Hex(Bytes({0x38, 0x21, 0x12, 0x34, 0x50})));
  EXPECT_EQ(Hex(*EncodeNumericKey("20.5", 3)), Hex(Bytes({0x36, 0x0D, 0x20, 0x50})));
  EXPECT_EQ(Hex(*EncodeNumericKey("0.05", 1)), Hex(Bytes({0x33, 0x05, 0x50})));
  // Every zero, signed or not, is the one zero form.
  for (const char* z : {"0", "-0", "0.00", "", "-", "."})
    EXPECT_EQ(Hex(*EncodeNumericKey(z, 10)), Hex(Bytes({0x35, 0x10}))) << z;
}

TEST(NumericKey, RefusesWhatItCannotHoldExactly) {
  EXPECT_FALSE(EncodeNumericKey("1E5", 0));
  EXPECT_FALSE(EncodeNumericKey("1.2.3", 0));
  EXPECT_FALSE(EncodeNumericKey(" 12", 0));
  EXPECT_FALSE(EncodeNumericKey("--1", 0));
  EXPECT_FALSE(EncodeNumericKey("123456789012345678901", 0));  // 21 digits
  EXPECT_TRUE(EncodeNumericKey("1000000000000000000000000", 0));  // one digit, E = 25
}

TEST(NumericKey, ReadersIgnoreDigitCountAndAcceptEveryZeroForm) {
  const std::string zeros[] = {Bytes({0x35, 0x10}), Bytes({0x00, 0x10}), Bytes({0x34, 0x01}),
                               Bytes({0x34, 0x81})};
  for (const auto& a : zeros)
    for (const auto& b : zeros) EXPECT_EQ(CompareNumericKeys(a, b), 0);
  EXPECT_EQ(CompareNumericKeys(Bytes({0x36, 0x29, 0x10}), Bytes({0x36, 0x05, 0x10})), 0);
  // A key whose first digit nibbles are zero still has its value.
  EXPECT_EQ(CompareNumericKeys(Bytes({0x37, 0x05, 0x01, 0x00}), Bytes({0x36, 0x05, 0x10})), 0);
  // Nibbles above 9 are a corrupt key.
  EXPECT_FALSE(DecodeNumericKey(Bytes({0x35, 0x05, 0x1A})));
}

TEST(NumericKey, OrderIsTheOrderOfValues) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> digits(0, 999999);
  std::uniform_int_distribution<int> scale(0, 6);
  std::vector<std::pair<double, std::string>> values;
  for (int i = 0; i < 400; ++i) {
    char buf[64];
    const int d = scale(rng);
    const double v = (digits(rng) - 500000) / std::pow(10.0, d);
    std::snprintf(buf, sizeof buf, "%.*f", d, v);
    values.emplace_back(v, *EncodeNumericKey(buf, 10));
  }
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = 0; j < values.size(); j += 7) {
      const int want = (values[i].first > values[j].first) - (values[i].first < values[j].first);
      ASSERT_EQ(CompareNumericKeys(values[i].second, values[j].second), want)
          << values[i].first << " vs " << values[j].first;
    }
  }
  EXPECT_LT(CompareNumericKeys(*EncodeNumericKey("0.12", 0), *EncodeNumericKey("0.125", 0)), 0);
  EXPECT_GT(CompareNumericKeys(*EncodeNumericKey("0.2", 0), *EncodeNumericKey("0.125", 0)), 0);
  EXPECT_EQ(KeyToText('N', *EncodeNumericKey("-1234.50", 8)), "-1234.5");
  EXPECT_EQ(KeyToText('N', *EncodeNumericKey("0.05", 8)), "0.05");
}

TEST(DateKey, DayNumbersAsLittleEndianDoubles) {
  EXPECT_EQ(JulianDayNumber(1970, 1, 1), 2440588);
  EXPECT_EQ(JulianDayNumber(2000, 1, 1), 2451545);
  EXPECT_EQ(Hex(EncodeDateKey(static_cast<double>(JulianDayNumber(2004, 6, 15)))),
            "00 00 00 00 5A B7 42 41");
  EXPECT_EQ(Hex(EncodeDateKey(static_cast<double>(JulianDayNumber(1998, 1, 1)))),
            "00 00 00 80 BF B2 42 41");
  for (int64_t j : {1757585LL, 2299161LL, 2451604LL, 2460000LL, 5373484LL}) {
    int y = 0, m = 0, d = 0;
    DateOfJulianDay(j, y, m, d);
    EXPECT_EQ(JulianDayNumber(y, m, d), j);
  }
  // A blank date sorts before every real date.
  EXPECT_LT(CompareKeys('D', EncodeDateKey(0), EncodeDateKey(1757585)), 0);
  EXPECT_EQ(KeyToText('D', EncodeDateKey(static_cast<double>(JulianDayNumber(2024, 2, 29)))), "20240229");
}

// Date keys come from files: any eight bytes, one changed byte making a day number of
// 10^298. Such keys read as unknown dates, with no arithmetic on the wild value.
TEST(DateKey, DamagedKeysAreNoDates) {
  int y = 1, m = 1, d = 1;
  EXPECT_FALSE(DateOfJulianDay(INT64_MAX, y, m, d));
  EXPECT_EQ(y + m + d, 0);
  EXPECT_FALSE(DateOfJulianDay(-1, y, m, d));
  EXPECT_FALSE(DateOfJulianDay(kLastJulianDay + 1, y, m, d));
  EXPECT_TRUE(DateOfJulianDay(kFirstJulianDay, y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  for (double wild : {8.37e298, -2451545.0, 1e10, std::nan(""), HUGE_VAL, 0.5})
    EXPECT_EQ(KeyToText('D', EncodeDateKey(wild)), "?") << wild;
  std::string key = EncodeDateKey(static_cast<double>(JulianDayNumber(2024, 2, 29)));
  key[7] = 0x7E;  // one byte changed
  EXPECT_EQ(KeyToText('D', key), "?");
}

TEST(CharacterKey, UnsignedByteOrder) {
  EXPECT_LT(CompareKeys('C', "ABC", "ABD"), 0);
  EXPECT_LT(CompareKeys('C', "Z", "\x8F"), 0);  // bytes above 127 sort last
  EXPECT_EQ(CompareKeys('C', "A  ", "A  "), 0);
}

}  // namespace
}  // namespace snyltdyr::engine
