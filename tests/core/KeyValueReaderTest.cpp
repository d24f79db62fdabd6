// The UTF-16 key=value line reader of the rule and tip files: byte-order
// mark, every kind of line end, the last line without one, an odd trailing
// byte, "%" lines, and a file that cannot be read.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "mod_gcode/GCCode/FileUtil.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

using Calls = std::vector<std::pair<WString, WString>>;

Calls ReadWith(bool (*reader)(const std::string&, const KeyValueHandler&), const std::string& bytes) {
  coretest::ScratchFolder tmp;
  coretest::WriteBytes(tmp.File("kv.txt"), bytes);
  Calls calls;
  EXPECT_TRUE(reader(tmp.File("kv.txt"), [&](const WString& k, const WString& v) { calls.emplace_back(k, v); }));
  return calls;
}
Calls ReadRules(const std::string& bytes) { return ReadWith(&ReadRuleFile, bytes); }
Calls ReadTips(const std::string& bytes) { return ReadWith(&ReadTipsFile, bytes); }

const Calls kRecord = {{u"codename", u"G00"}, {u"codefunc", u"GRT"}, {u"%", u""}};

TEST(KeyValueReader, OrdinaryFile) {
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u"codename=G00", u"codefunc=GRT", u"%"})), kRecord);
}

TEST(KeyValueReader, TheLastLineCountsWithoutALineEnd) {
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u"codename=G00", u"codefunc=GRT", u"%"}, true, u"\r\n", false)),
            kRecord);
  EXPECT_EQ(ReadTips(coretest::KeyValueFile({u"nCodeName=1"}, true, u"\r\n", false)),
            (Calls{{u"nCodeName", u"1"}}));
}

TEST(KeyValueReader, LoneLfAndLoneCrEndLinesToo) {
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u"codename=G00", u"codefunc=GRT", u"%"}, true, u"\n")), kRecord);
  // A lone CR ends its line and the unit after it begins the next one.
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u"codename=G00", u"codefunc=GRT", u"%"}, true, u"\r")), kRecord);
  // Mixed, with empty lines (CR CR LF, LF LF) in between.
  const std::string mixed = std::string("\xFF\xFE", 2) +
                            coretest::Utf16Le(u"codename=G00\r\r\ncodefunc=GRT\n\n%\r\n");
  EXPECT_EQ(ReadRules(mixed), kRecord);
}

TEST(KeyValueReader, AMissingByteOrderMarkIsNotSkippedAsACharacter) {
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u"codename=G00", u"codefunc=GRT", u"%"}, false)), kRecord);
  EXPECT_EQ(ReadTips(coretest::KeyValueFile({u"Tip=x"}, false, u"\r\n", false)), (Calls{{u"Tip", u"x"}}));
}

TEST(KeyValueReader, AnOddTrailingByteIsIgnored) {
  std::string bytes = coretest::KeyValueFile({u"codename=G00", u"codefunc=GRT", u"%"}, true, u"\r\n", false);
  bytes.push_back('Z');
  EXPECT_EQ(ReadRules(bytes), kRecord);
  std::string tips = coretest::KeyValueFile({u"Tip=ab"}, true, u"\r\n", false) + "\x01";
  EXPECT_EQ(ReadTips(tips), (Calls{{u"Tip", u"ab"}}));
}

TEST(KeyValueReader, PercentLinesWithSpacesAndLinesWithoutEquals) {
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u"  %", u"% ", u" % "})),
            (Calls{{u"%", u""}, {u"%", u""}, {u"%", u""}}));
  EXPECT_EQ(ReadRules(coretest::KeyValueFile({u" lone word ", u"code name = G 00 "})),
            (Calls{{u"loneword", u""}, {u"codename", u"G 00"}}));
}

TEST(KeyValueReader, EmptyFilesAndEmptyLinesGiveNoCalls) {
  EXPECT_TRUE(ReadRules("").empty());
  EXPECT_TRUE(ReadRules("\xFF\xFE").empty());
  EXPECT_TRUE(ReadRules(coretest::KeyValueFile({u"", u"", u""})).empty());
  EXPECT_TRUE(ReadTips("\xFF").empty());
}

TEST(KeyValueReader, RuleFilesHoldAsciiOnlyTipFilesKeepEveryUnit) {
  const std::string bytes = coretest::KeyValueFile({u"Tip=\u5FEB\u901F G00 \u00E9"});
  EXPECT_EQ(ReadRules(bytes), (Calls{{u"Tip", u"?? G00 ?"}}));
  EXPECT_EQ(ReadTips(bytes), (Calls{{u"Tip", u"\u5FEB\u901F G00 \u00E9"}}));
}

TEST(KeyValueReader, AnUnreadableFileGivesTheAlertAndNoCalls) {
  coretest::ScratchFolder tmp;
  coretest::AlertCapture alerts;
  int calls = 0;
  auto count = [&](const WString&, const WString&) { ++calls; };
  EXPECT_FALSE(ReadRuleFile(tmp.File("coderule/missing.cmt"), count));
  EXPECT_FALSE(ReadTipsFile(tmp.Path(), count));  // a folder
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(alerts.texts, (std::vector<WString>{u"failed to read the file!", u"failed to read the file!"}));
  EXPECT_FALSE(coretest::Exists(tmp.File("coderule")));
}

TEST(KeyValueReader, ReadingLeavesTheFileAsItWas) {
  coretest::ScratchFolder tmp;
  const std::string bytes = coretest::KeyValueFile({u"codename=G00", u"%"}, true, u"\r\n", false);
  coretest::WriteBytes(tmp.File("r.cmt"), bytes);
  ReadRuleFile(tmp.File("r.cmt"), [](const WString&, const WString&) {});
  EXPECT_EQ(coretest::ReadBytes(tmp.File("r.cmt")), bytes);
}

}  // namespace
}  // namespace quillet
