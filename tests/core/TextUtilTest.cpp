// Number texts of the data tables and the blank-trimming helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "mod_gcode/GCCode/MathUtil.h"
#include "mod_gcode/GCCode/TextUtil.h"

namespace quillet {
namespace {

TEST(NumberToText, NearlyWholeNumbersAreIntegersOthersHaveThreeDecimals) {
  struct Case {
    double value;
    const char16_t* text;
  };
  const Case cases[] = {
      {5.0, u"5"},
      {4.99999999, u"5"},        // fraction within 2^-23 of 1: the next integer
      {-4.99999999, u"-5"},
      {-3.0000000001, u"-3"},    // fraction below 2^-23: the integer part
      {0.25, u"0.250"},
      {-0.25, u"-0.250"},
      {12.5, u"12.500"},
      {-12.5, u"-12.500"},
      {-0.5, u"-0.500"},
      {12.9996, u"13.000"},
      {0.0, u"0"},
      {-0.0, u"0"},
      {1e-7, u"0"},              // below 2^-23
      {2e-7, u"0.000"},          // above 2^-23
      {0.9999999, u"1"},
      {3e9, u"3000000000"},      // beyond the range of int
      {-2147483648.25, u"-2147483648.250"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberToText(c.value), WString(c.text)) << c.value;
}

TEST(NumberToText, NonFiniteAndHugeValuesDoNotOverflow) {
  EXPECT_EQ(NumberToText(1e300).size(), 305u);  // 301 digits, point, three decimals
  EXPECT_FALSE(NumberToText(std::nan("")).empty());
  EXPECT_FALSE(NumberToText(-HUGE_VAL).empty());
  EXPECT_EQ(IntToText(-12), u"-12");
  EXPECT_EQ(IntToText(0), u"0");
}

TEST(Blanks, OnlyTheSpaceCharacterCounts) {
  WString s = u"  \tG1 ";
  EraseLeadingBlanks(s);
  EXPECT_EQ(s, u"\tG1 ");
  WString allBlank = u"   ";
  EraseLeadingBlanks(allBlank);
  EXPECT_EQ(allBlank, u"");

  WString out = u"untouched";
  EXPECT_FALSE(TrimBlanksCopy(u"ab", out));
  EXPECT_EQ(out, u"untouched");
  EXPECT_FALSE(TrimBlanksCopy(u"\tab\t", out));
  EXPECT_FALSE(TrimBlanksCopy(u"", out));
  EXPECT_TRUE(TrimBlanksCopy(u"   ", out));
  EXPECT_EQ(out, u"");
  EXPECT_TRUE(TrimBlanksCopy(u" a b ", out));
  EXPECT_EQ(out, u"a b");
}

TEST(Blanks, TrimmedSubstring) {
  EXPECT_EQ(TrimmedSubstring(u"  ab ", 0, 5), u"ab");
  EXPECT_EQ(TrimmedSubstring(u"#1 + 2", 2, 6), u"+ 2");
  EXPECT_EQ(TrimmedSubstring(u"abc", 1, 2), u"b");
  // Indices beyond the text are clamped; a reversed range is empty.
  EXPECT_EQ(TrimmedSubstring(u"abc", 2, 10), u"c");
  EXPECT_EQ(TrimmedSubstring(u"abc", 5, 1), u"");
  EXPECT_EQ(TrimmedSubstring(u"abc", 2, 1), u"");
}

TEST(Characters, UpperCaseChangesExactlyOneCharacter) {
  WString s = u"gx10";
  UpperCaseChar(&s[0]);
  EXPECT_EQ(s, u"Gx10");
  char16_t e = u'\u00E9';
  UpperCaseChar(&e);
  EXPECT_EQ(e, u'\u00E9');
  UpperCaseChar(nullptr);  // no crash
  EXPECT_EQ(UpperChar(u'z'), u'Z');
  EXPECT_EQ(UpperChar(u'{'), u'{');
}

TEST(Angles, DegToRad) {
  EXPECT_DOUBLE_EQ(DegToRad(180.0), 3.141592653589793);
  EXPECT_DOUBLE_EQ(DegToRad(-90.0), -3.141592653589793 / 2);
  EXPECT_DOUBLE_EQ(RadToDeg(DegToRad(33.0)), 33.0);
}

TEST(CodePage, AnsiConversionsFollowTheSystemCodePage) {
  plat::SetSystemCodePage("ISO-8859-1");
  EXPECT_EQ(AnsiToWide("(caf\xE9)"), u"(caf\u00E9)");
  std::size_t replaced = 0;
  EXPECT_EQ(WideToAnsi(u"\u00E9\u4E2D", &replaced), "\xE9?");
  EXPECT_EQ(replaced, 1u);
  plat::SetSystemCodePage("UTF-8");
  EXPECT_EQ(AnsiToWide("(caf\xC3\xA9)"), u"(caf\u00E9)");
  EXPECT_EQ(AnsiToWide(""), u"");
  plat::SetSystemCodePage("");
}

}  // namespace
}  // namespace quillet
