// Locale-independent number reading and writing: the C-locale grammar of the
// reader, clamping to int, fixed and round-trip texts, and independence from
// a process locale with a decimal comma.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "platform/Numbers.h"
#include "platform/Text.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

struct ReadCase {
  const char* text;
  double value;
  std::size_t consumed;
};

// Expected values worked out from the C library's reading in the "C" locale.
const ReadCase kReadCases[] = {
    {"0.5", 0.5, 3},
    {"  -12.5e2xyz", -1250.0, 9},
    {"\t\r\n\v\f 7", 7.0, 7},
    {".5", 0.5, 2},
    {"-.5", -0.5, 3},
    {"5.", 5.0, 2},
    {"+3", 3.0, 2},
    {"1e", 1.0, 1},
    {"1e+", 1.0, 1},
    {"2E-3", 0.002, 4},
    {"12.5.6", 12.5, 4},
    {"1,5", 1.0, 1},
    {"X10", 0.0, 0},
    {"", 0.0, 0},
    {"   ", 0.0, 0},
    {"-", 0.0, 0},
    {".", 0.0, 0},
    {"+.e1", 0.0, 0},
    {"inf", 0.0, 0},
    {"-infinity", 0.0, 0},
    {"nan", 0.0, 0},
    {"NAN(1)", 0.0, 0},
};

TEST(ParseDouble, NarrowAndWideFollowTheCLocaleGrammar) {
  for (const auto& c : kReadCases) {
    std::size_t used = 999;
    EXPECT_EQ(plat::ParseDouble(std::string_view(c.text), &used), c.value) << '"' << c.text << '"';
    EXPECT_EQ(used, c.consumed) << '"' << c.text << '"';
    std::u16string wide = plat::AsciiToWide(c.text);
    used = 999;
    EXPECT_EQ(plat::ParseDouble(std::u16string_view(wide), &used), c.value) << "wide \"" << c.text << '"';
    EXPECT_EQ(used, c.consumed) << "wide \"" << c.text << '"';
  }
}

TEST(ParseDouble, ResultsAreCorrectlyRounded) {
  EXPECT_EQ(plat::ParseDouble(std::string_view("0.1")), 0.1);
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(u"2.675")), 2.675);
  EXPECT_EQ(plat::ParseDouble(std::string_view("1.7976931348623157e308")), DBL_MAX);
  EXPECT_EQ(plat::ParseDouble(std::string_view("4.9406564584124654e-324")), 4.9406564584124654e-324);
  EXPECT_TRUE(std::signbit(plat::ParseDouble(std::string_view("-0"))));
}

TEST(ParseDouble, OverflowAndUnderflowBehaveLikeStrtod) {
  EXPECT_EQ(plat::ParseDouble(std::string_view("1e400")), HUGE_VAL);
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(u"-1e400")), -HUGE_VAL);
  EXPECT_EQ(plat::ParseDouble(std::string_view("1e-400")), 0.0);
  std::size_t used = 0;
  plat::ParseDouble(std::string_view("1e400 X"), &used);
  EXPECT_EQ(used, 5u);
}

TEST(ParseDouble, UnderflowWithoutANegativeExponentIsZeroNotInfinity) {
  // 0.000...01 with 400 zeros after the point: about 1e-401, below the
  // smallest double, so strtod gives 0.
  const std::string tiny = "0." + std::string(400, '0') + "1";
  std::size_t used = 0;
  EXPECT_EQ(plat::ParseDouble(std::string_view(tiny), &used), 0.0);
  EXPECT_EQ(used, tiny.size());
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(plat::AsciiToWide("-" + tiny))), 0.0);
  // A positive exponent that does not lift it into range.
  EXPECT_EQ(plat::ParseDouble(std::string_view(tiny + "e+5")), 0.0);
  // And the other way round: a long integer part with a negative exponent
  // that still overflows.
  const std::string huge = "1" + std::string(500, '0') + "e-10";
  EXPECT_EQ(plat::ParseDouble(std::string_view(huge)), HUGE_VAL);
  EXPECT_EQ(plat::ParseDouble(std::string_view("-" + huge)), -HUGE_VAL);
}

TEST(ParseDouble, LongWideMantissaBeyondAnyFixedBuffer) {
  // 1 followed by 99 zeros, with a trailing word.
  std::u16string text = u"1" + std::u16string(99, u'0') + u"X";
  std::size_t used = 0;
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(text), &used), 1e99);
  EXPECT_EQ(used, 100u);
  std::u16string frac = u"0." + std::u16string(200, u'3');
  EXPECT_DOUBLE_EQ(plat::ParseDouble(std::u16string_view(frac)), 1.0 / 3.0);
}

TEST(ParseDouble, NonAsciiUnitsEndTheNumber) {
  // U+0660 (Arabic-Indic zero) and a fullwidth digit are not digits here.
  std::size_t used = 0;
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(u"12\u0660"), &used), 12.0);
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(u"\uFF11"), &used), 0.0);
  EXPECT_EQ(used, 0u);
  // A unit whose low byte is an ASCII digit must not pass for that digit.
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(u"1\u0135"), &used), 1.0);
  EXPECT_EQ(used, 1u);
}

TEST(ParseIntPrefix, StrtolLikePrefixClampedToInt) {
  std::size_t used = 0;
  EXPECT_EQ(plat::ParseIntPrefix(std::string_view(" -42abc"), &used), -42);
  EXPECT_EQ(used, 4u);
  EXPECT_EQ(plat::ParseIntPrefix(std::u16string_view(u"12.9"), &used), 12);
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(plat::ParseIntPrefix(std::string_view("+"), &used), 0);
  EXPECT_EQ(used, 0u);
  EXPECT_EQ(plat::ParseIntPrefix(std::string_view(""), &used), 0);
  EXPECT_EQ(used, 0u);
  EXPECT_EQ(plat::ParseIntPrefix(std::string_view("2147483647")), INT_MAX);
  EXPECT_EQ(plat::ParseIntPrefix(std::string_view("2147483648")), INT_MAX);
  EXPECT_EQ(plat::ParseIntPrefix(std::string_view("-2147483648")), INT_MIN);
  EXPECT_EQ(plat::ParseIntPrefix(std::u16string_view(u"-99999999999999999999999")), INT_MIN);
  EXPECT_EQ(plat::ParseIntPrefix(std::u16string_view(u"99999999999999999999999"), &used), INT_MAX);
  EXPECT_EQ(used, 23u);
}

TEST(ClampToInt, NanOverflowAndTruncation) {
  EXPECT_EQ(plat::ClampToInt(std::nan(""), 7), 7);
  EXPECT_EQ(plat::ClampToInt(1e300), INT_MAX);
  EXPECT_EQ(plat::ClampToInt(-1e300), INT_MIN);
  EXPECT_EQ(plat::ClampToInt(HUGE_VAL), INT_MAX);
  EXPECT_EQ(plat::ClampToInt(-2.9), -2);
  EXPECT_EQ(plat::ClampToInt(2.9), 2);

  EXPECT_TRUE(plat::FitsInt(2147483647.5));
  EXPECT_FALSE(plat::FitsInt(2147483648.0));
  EXPECT_TRUE(plat::FitsInt(-2147483648.9));
  EXPECT_FALSE(plat::FitsInt(-2147483649.0));
  EXPECT_FALSE(plat::FitsInt(std::nan("")));
  EXPECT_FALSE(plat::FitsInt(-HUGE_VAL));
}

TEST(FormatFixed, RoundsLikePrintfOnTheBinaryValue) {
  EXPECT_EQ(plat::FormatFixed(0.5, 3), "0.500");
  EXPECT_EQ(plat::FormatFixed(-12.5, 3), "-12.500");
  EXPECT_EQ(plat::FormatFixed(12.9996, 3), "13.000");
  EXPECT_EQ(plat::FormatFixed(1.005, 2), "1.00");  // 1.005 is stored as 1.00499...
  EXPECT_EQ(plat::FormatFixed(2.5, 0), "2");       // exact tie: to even
  EXPECT_EQ(plat::FormatFixed(-0.0004, 3), "-0.000");
  EXPECT_EQ(plat::FormatFixed(1e20, 2), "100000000000000000000.00");
  EXPECT_EQ(plat::FormatFixed(1e300, 1).size(), 303u);
  EXPECT_EQ(plat::FormatFixed(std::nan(""), 3), "nan");
  EXPECT_EQ(plat::FormatFixed(-HUGE_VAL, 3), "-inf");
  EXPECT_EQ(plat::FormatFixedW(-0.25, 3), u"-0.250");
}

TEST(FormatInt, WholeRange) {
  EXPECT_EQ(plat::FormatInt(0), "0");
  EXPECT_EQ(plat::FormatInt(-17), "-17");
  EXPECT_EQ(plat::FormatInt(LLONG_MIN), "-9223372036854775808");
  EXPECT_EQ(plat::FormatIntW(LLONG_MAX), u"9223372036854775807");
}

TEST(FormatRoundTrip, ShortestTextReadsBackExactly) {
  EXPECT_EQ(plat::FormatRoundTrip(0.1), "0.1");
  EXPECT_EQ(plat::FormatRoundTrip(2.5), "2.5");
  EXPECT_EQ(plat::FormatRoundTrip(-3.0), "-3");
  EXPECT_EQ(plat::FormatRoundTrip(HUGE_VAL), "inf");

  std::mt19937_64 rng(12345);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    std::string text = plat::FormatRoundTrip(v);
    std::size_t used = 0;
    double back = plat::ParseDouble(std::string_view(text), &used);
    ASSERT_EQ(used, text.size()) << text;
    ASSERT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
  }
}

// Finds an installed locale whose decimal separator is a comma.
const char* CommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8",
                           "it_IT.UTF-8", "es_ES.UTF-8", "nl_NL.UTF-8", "pt_BR.UTF-8"}) {
    if (std::setlocale(LC_ALL, name)) {
      const char* point = std::localeconv()->decimal_point;
      if (point && std::strcmp(point, ",") == 0) return name;
    }
  }
  return nullptr;
}

// Checks the number functions under the current process locale, which has a
// decimal comma; printf serves as proof that the comma is in force.
void CheckUnderCommaLocale() {
  char printed[32];
  std::snprintf(printed, sizeof printed, "%.3f", 0.5);
  ASSERT_STREQ(printed, "0,500") << "the locale is not in force";
  EXPECT_EQ(plat::ParseDouble(std::string_view("0.5")), 0.5);
  EXPECT_EQ(plat::ParseDouble(std::u16string_view(u"-12.25")), -12.25);
  std::size_t used = 0;
  EXPECT_EQ(plat::ParseDouble(std::string_view("0,5"), &used), 0.0);
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(plat::FormatFixed(0.5, 3), "0.500");
  EXPECT_EQ(plat::FormatFixedW(-1234.5, 1), u"-1234.5");
  EXPECT_EQ(plat::FormatRoundTrip(1.25), "1.25");
  EXPECT_EQ(plat::FormatInt(1234567), "1234567");
}

// Run in a child process whose environment names a comma locale: adopts it
// as a toolkit would (setlocale with "") and checks the number functions.
TEST(ChildProcess, DISABLED_NumbersUnderEnvironmentLocale) {
  std::setlocale(LC_ALL, "");
  const char* point = std::localeconv()->decimal_point;
  if (!point || std::strcmp(point, ",") != 0) {
    std::fprintf(stderr, "no-comma-locale\n");
    return;
  }
  CheckUnderCommaLocale();
}

TEST(Locale, DecimalCommaLocaleChangesNothing) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  if (CommaLocale()) {
    CheckUnderCommaLocale();
    std::setlocale(LC_ALL, saved.c_str());
    return;
  }
  std::setlocale(LC_ALL, saved.c_str());
  // No such locale is installed: build one into a scratch folder from the
  // system's locale sources, when they are there, and use it in a child.
  plattest::ScratchFolder tmp;
  std::string cmd = "localedef -i de_DE -f UTF-8 '" + tmp.File("de_DE.utf8") + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "no locale with a decimal comma is available";
  auto r = plattest::RunChildCase("ChildProcess.DISABLED_NumbersUnderEnvironmentLocale",
                                  {{"LOCPATH", tmp.Path()}, {"LC_ALL", "de_DE.utf8"}, {"LANG", ""}});
  if (r.err.find("no-comma-locale") != std::string::npos) GTEST_SKIP() << "the built locale did not load";
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
