// Coordinate words (millimetre and inch Apply, copies of word sets), the
// decimal-point rules and the short number texts.
#include <gtest/gtest.h>

#include "mod_gcode/GCCode/Coord.h"

namespace quillet {
namespace {

TEST(Words, ApplyAddsTheBaseAndConvertsInchWords) {
  CGCDimWordInch inch;
  inch.Apply(1.0, 10.0, true);
  EXPECT_DOUBLE_EQ(inch.GetValue(), 35.4);
  EXPECT_EQ(inch.GetPosition(), 10.0);
  EXPECT_TRUE(inch.IsSpecified());
  EXPECT_TRUE(inch.IsAbsolute());
  EXPECT_TRUE(inch.IsInch());

  CGCDimWordMM mm;
  EXPECT_FALSE(mm.IsSpecified());
  EXPECT_TRUE(mm.IsAbsolute());
  EXPECT_EQ(mm.GetMode(), 1);
  mm.Apply(1.0, 10.0, false);
  EXPECT_EQ(mm.GetValue(), 11.0);
  EXPECT_EQ(mm.GetPosition(), 10.0);
  EXPECT_TRUE(mm.IsSpecified());
  EXPECT_FALSE(mm.IsAbsolute());
  // A later absolute Apply makes it absolute again.
  mm.Apply(-2.0, 0.0, true);
  EXPECT_EQ(mm.GetValue(), -2.0);
  EXPECT_TRUE(mm.IsAbsolute());
}

TEST(Words, ConstructorsAndModes) {
  CGCDimWordInch fromValue(2.0);
  EXPECT_EQ(fromValue.GetValue(), 2.0);
  EXPECT_EQ(fromValue.GetPosition(), 2.0);
  EXPECT_EQ(fromValue.GetMode(), 0);
  EXPECT_FALSE(fromValue.IsSpecified());
  CGCDimWordMM withMode(3.0, 1);
  EXPECT_EQ(withMode.GetMode(), 1);
  EXPECT_FALSE(withMode.IsInch());
  EXPECT_TRUE(MakeWord(true).IsInch());
  EXPECT_FALSE(MakeWord(false).IsInch());
  // Inch words in a set are converted when applied in place.
  CGCCoordN<3> set;
  auto view = set.View();
  view.ReplaceWord(1, MakeWord(true));
  view.ApplyWord(1, 2.0, 1.0, true);
  EXPECT_DOUBLE_EQ(view.GetValue(1), 51.8);
}

TEST(WordSets, AbsentWordsAndIndicesBeyondTheCount) {
  CGCCoordN<9> set;
  auto view = set.View();
  EXPECT_EQ(view.GetCount(), 9);
  view.ReplaceWord(kWordX, CGCDimWordMM(4.0, 1));
  EXPECT_EQ(view.GetValue(kWordX), 4.0);
  EXPECT_EQ(view.GetValue(kWordY), 0.0);
  EXPECT_EQ(view.GetValue(9), 0.0);
  EXPECT_EQ(view.GetValue(-1), 0.0);
  EXPECT_EQ(view.GetPosition(14), 0.0);
  EXPECT_FALSE(view.GetWord(9));
  EXPECT_FALSE(view.GetWord(kWordY));
  view.SetValue(kWordY, 5.0);  // absent: nothing
  EXPECT_FALSE(view.Has(kWordY));
  view.ReplaceWord(9, CGCDimWordMM(1.0, 1));  // beyond the count: ignored
  view.ApplyWord(12, 1.0, 0.0, true);
  EXPECT_EQ(view.GetIJKPoint(), CPoint3d(0.0, 0.0, 0.0));
  EXPECT_FALSE(view.IsSpecified(kWordX));
  view.RemoveWord(kWordX);
  EXPECT_EQ(view.GetValue(kWordX), 0.0);
}

TEST(WordSets, CopyKeepsUnitClassValuesAndFlags) {
  CGCCoordN<9> source;
  auto src = source.View();
  src.ReplaceWord(kWordY, CGCDimWordInch());
  src.ApplyWord(kWordY, 1.0, 5.0, false);  // incremental inch word
  src.SetPosition(kWordY, 7.5);
  src.ReplaceWord(kWordZ, CGCDimWordMM(-1.0, 1));

  CGCCoordN<15> target;
  auto dst = target.View();
  dst.ReplaceWord(kWordX, CGCDimWordMM(9.0, 1));  // replaced by the copy
  dst.CopyWords(src);
  EXPECT_FALSE(dst.Has(kWordX));
  ASSERT_TRUE(dst.Has(kWordY));
  auto y = dst.GetWord(kWordY);
  EXPECT_TRUE(y->IsInch());
  EXPECT_DOUBLE_EQ(y->GetValue(), 30.4);
  EXPECT_EQ(y->GetPosition(), 7.5);
  EXPECT_FALSE(y->IsAbsolute());
  EXPECT_TRUE(y->IsSpecified());
  EXPECT_EQ(dst.GetValue(kWordZ), -1.0);
  EXPECT_FALSE(dst.IsSpecified(kWordZ));

  // Into a smaller set: words beyond its count are dropped.
  CGCCoordN<2> small;
  auto s = small.View();
  s.CopyWords(src);
  EXPECT_TRUE(s.Has(kWordY));
  EXPECT_FALSE(s.Has(kWordZ));
  EXPECT_EQ(s.GetValue(kWordZ), 0.0);
}

TEST(DecimalPoint, NumbersWithoutAPointAreScaled) {
  CGCDecimalPoint rule(0.001);
  EXPECT_DOUBLE_EQ(rule.Parse(u"25"), 0.025);
  EXPECT_EQ(rule.Parse(u"25."), 25.0);
  EXPECT_EQ(rule.Parse(u"-.5"), -0.5);
  EXPECT_DOUBLE_EQ(rule.Parse(u"1000"), 1.0);
  EXPECT_EQ(rule.Parse(u"1000."), 1000.0);
  EXPECT_DOUBLE_EQ(rule.Parse(u"-250"), -0.25);
  EXPECT_EQ(rule.Parse(u""), 0.0);

  CGCDecimalPointPocket pocket(0.001);
  EXPECT_EQ(pocket.Parse(u"25"), 25.0);
  EXPECT_EQ(pocket.Parse(u"25."), 25.0);
  EXPECT_EQ(pocket.Parse(u""), 0.0);

  const CGCDecimalPoint& asBase = pocket;  // chosen at run time by the program
  EXPECT_EQ(asBase.Parse(u"40"), 40.0);
}

TEST(NumberTexts, WTextToDouble) {
  EXPECT_EQ(WTextToDouble(u""), 0.0);
  EXPECT_EQ(WTextToDouble(u"  12.5abc"), 12.5);
  EXPECT_EQ(WTextToDouble(u"abc"), 0.0);
  EXPECT_EQ(WTextToDouble(u"-0.001"), -0.001);
  EXPECT_EQ(WStringToDouble(u"3e2"), 300.0);
}

TEST(NumberTexts, FormatTrimmedNumber) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {1.5, "1.5"},       {2.0, "2"},         {-0.25, "-0.25"},   {12.5, "12.5"},
      {3.0, "3"},         {100.0, "100"},     {1000000.0, "1000000"}, {0.1, "0.1"},
      {16777217.0, "16777216"},  // single precision first
      {0.0, "0"},         {0.0004, "0"},      {-10.125, "-10.125"},
      {0.05, "0.05"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTrimmedNumber(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace quillet
