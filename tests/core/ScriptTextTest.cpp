// The nested name={key=value,...} parser of the canned-cycle scripts.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "mod_gcode/GCCode/FileUtil.h"

namespace quillet {
namespace {

using Items = std::map<WString, WString>;
using Calls = std::vector<std::pair<WString, Items>>;

Calls Parse(WStringView text) {
  Calls calls;
  ParseScriptText(text, [&](const WString& name, const Items& items) { calls.emplace_back(name, items); });
  return calls;
}

TEST(ScriptText, BlocksInARowAreAnnouncedThenCompleted) {
  EXPECT_EQ(Parse(u"a={x=1,y=2}b={z=3}"),
            (Calls{{u"a", {}}, {u"a", {{u"x", u"1"}, {u"y", u"2"}}}, {u"b", {}}, {u"b", {{u"z", u"3"}}}}));
}

TEST(ScriptText, NestedBlocksAreReportedBeforeTheBlockThatHoldsThem) {
  // The inner parse names its block by the text before the body's first "=".
  EXPECT_EQ(Parse(u"a={x=1,b={y=2}}"), (Calls{{u"a", {}},
                                               {u"x", {}},
                                               {u"x", {{u"y", u"2"}}},
                                               {u"a", {{u"x", u"1"}, {u"b", u"{y=2}"}}}}));
}

TEST(ScriptText, ItemsAreCutAtEveryCommaWhateverTheNesting) {
  auto calls = Parse(u"action={info={type=1,name=x}}");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2], (std::pair<WString, Items>{u"info", {{u"type", u"1"}, {u"name", u"x"}}}));
  EXPECT_EQ(calls[3], (std::pair<WString, Items>{u"action", {{u"info", u"{type=1"}, {u"name", u"x}"}}}));
}

TEST(ScriptText, TrailingCommaGivesAnEmptyKeyAndKeysLoseTheirSpaces) {
  EXPECT_EQ(Parse(u"a={ x = 1 ,}"), (Calls{{u"a", {}}, {u"a", {{u"x", u"1"}, {u"", u""}}}}));
  EXPECT_EQ(Parse(u"a={}"), (Calls{{u"a", {}}, {u"a", {{u"", u""}}}}));
  // A later equal key replaces the earlier value.
  EXPECT_EQ(Parse(u"a={k=1,k=2}").back().second, (Items{{u"k", u"2"}}));
}

TEST(ScriptText, LineFeedsVanishNamesAreTakenAsWritten) {
  auto calls = Parse(u"a={x=1,\ny=2}\nb={z=3}\n");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[1].second, (Items{{u"x", u"1"}, {u"y", u"2"}}));
  EXPECT_EQ(calls[2].first, u"b");
  auto spaced = Parse(u" a ={v=1}");
  ASSERT_EQ(spaced.size(), 2u);
  EXPECT_EQ(spaced[0].first, u" a ");
}

TEST(ScriptText, TextOutsideTheFormatEnds) {
  EXPECT_TRUE(Parse(u"").empty());
  EXPECT_TRUE(Parse(u"no blocks here").empty());
  EXPECT_TRUE(Parse(u"a=1").empty());
  EXPECT_EQ(Parse(u"a={x=1}trailing words").size(), 2u);
  // Unbalanced or reversed braces: any result, as long as it ends.
  Parse(u"a={x=1");
  Parse(u"a=}{x=1");
  Parse(u"a={x={y={");
  Parse(u"={}={}=");
  SUCCEED();
}

TEST(ScriptText, DeepNestingDoesNotExhaustTheStack) {
  WString deep;
  const int depth = 20000;
  for (int i = 0; i < depth; ++i) deep += u"a={";
  deep += u"x=1";
  for (int i = 0; i < depth; ++i) deep += u"}";
  auto calls = Parse(deep);
  EXPECT_FALSE(calls.empty());
}

TEST(BraceBlock, FindsTheFirstOpenBraceAndItsClosingOne) {
  std::size_t open = 99, close = 99;
  ASSERT_TRUE(FindBraceBlock(u"x{a{b}c}d{e}", open, close));
  EXPECT_EQ(open, 1u);
  EXPECT_EQ(close, 7u);
  EXPECT_FALSE(FindBraceBlock(u"no braces }", open, close));
  EXPECT_FALSE(FindBraceBlock(u"", open, close));
}

}  // namespace
}  // namespace quillet
