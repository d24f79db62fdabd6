// The library's file readers: files read without being created, raw table
// files, the UTF-16 key=value reader of the rule and tip files, and the
// nested-block reader of the cycle scripts. (Whole text files are read and
// written by the variables table, whose tests cover them.)
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "mod_gcode/text/FileUtil.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

using coretest::Exists;
using coretest::ReadBytes;
using coretest::ScratchFolder;
using coretest::WriteBytes;

TEST(LoadOrCreate, AMissingOrEmptyFileGivesTheDefaultAndIsLeftAsItWas) {
  ScratchFolder tmp;
  EXPECT_EQ(LoadOrCreateFile(tmp.File("O1234.cnc"), u"O0000"), WString(u"O0000"));
  EXPECT_FALSE(LoadOrCreateFile(tmp.File("O1234.cnc"), nullptr).has_value());
  EXPECT_FALSE(Exists(tmp.File("O1234.cnc")));
  WriteBytes(tmp.File("empty.nc"), "");
  EXPECT_EQ(LoadOrCreateFile(tmp.File("empty.nc"), u"O0000"), WString(u"O0000"));
  EXPECT_EQ(ReadBytes(tmp.File("empty.nc")), "");
}

TEST(RawFile, ALongerFileIsReadOnlyUpToTheBuffer) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("long.dat"), std::string(64, '\x7F'));
  unsigned char buf[16] = {};
  std::size_t got = 0;
  ASSERT_TRUE(ReadRawFile(tmp.File("long.dat"), buf, 8, &got));
  EXPECT_EQ(got, 8u);
  EXPECT_EQ(buf[8], 0);  // not written past the length
}

// --- key=value reader -----------------------------------------------------

using Calls = std::vector<std::pair<WString, WString>>;

Calls ReadWith(bool (*reader)(const std::string&, const KeyValueHandler&), const std::string& bytes) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("kv.txt"), bytes);
  Calls calls;
  EXPECT_TRUE(reader(tmp.File("kv.txt"), [&](const WString& k, const WString& v) { calls.emplace_back(k, v); }));
  EXPECT_EQ(ReadBytes(tmp.File("kv.txt")), bytes);  // reading changes nothing
  return calls;
}

TEST(KeyValueReader, EveryLineEndTheLastLineWithoutOneAndOddBytes) {
  const std::string bom("\xFF\xFE", 2);
  const Calls record = {{u"codename", u"G00"}, {u"codefunc", u"GRT"}, {u"%", u""}};
  const std::string files[] = {
      bom + coretest::Utf16Le(u"codename=G00\r\ncodefunc=GRT\r\n%"),          // last line unended
      bom + coretest::Utf16Le(u"codename=G00\ncodefunc=GRT\n%\n"),             // lone LF
      bom + coretest::Utf16Le(u"codename=G00\rcodefunc=GRT\r%\r"),             // lone CR
      bom + coretest::Utf16Le(u"codename=G00\r\r\ncodefunc=GRT\n\n%\r\n"),     // empty lines between
      coretest::Utf16Le(u"codename=G00\r\ncodefunc=GRT\r\n%\r\n"),             // no byte-order mark
      bom + coretest::Utf16Le(u"codename=G00\r\ncodefunc=GRT\r\n%") + "Z",    // odd trailing byte
  };
  for (const auto& bytes : files) EXPECT_EQ(ReadWith(&ReadRuleFile, bytes), record);
  EXPECT_EQ(ReadWith(&ReadTipsFile, bom + coretest::Utf16Le(u"nCodeName=1")), (Calls{{u"nCodeName", u"1"}}));
  EXPECT_TRUE(ReadWith(&ReadRuleFile, "").empty());
  EXPECT_TRUE(ReadWith(&ReadTipsFile, "\xFF").empty());
}

TEST(KeyValueReader, KeysLoseTheirSpacesRuleFilesKeepOnlyAscii) {
  EXPECT_EQ(ReadWith(&ReadRuleFile, coretest::KeyValueFile({u" % ", u" lone word ", u"code name = G 00 "})),
            (Calls{{u"%", u""}, {u"loneword", u""}, {u"codename", u"G 00"}}));
  const std::string bytes = coretest::KeyValueFile({u"Tip=\u5FEB\u901F G00 \u00E9"});
  EXPECT_EQ(ReadWith(&ReadRuleFile, bytes), (Calls{{u"Tip", u"?? G00 ?"}}));
  EXPECT_EQ(ReadWith(&ReadTipsFile, bytes), (Calls{{u"Tip", u"\u5FEB\u901F G00 \u00E9"}}));
}

TEST(KeyValueReader, AnUnreadableFileGivesTheAlertAndCreatesNothing) {
  ScratchFolder tmp;
  coretest::AlertCapture alerts;
  int calls = 0;
  auto count = [&](const WString&, const WString&) { ++calls; };
  EXPECT_FALSE(ReadRuleFile(tmp.File("coderule/missing.cmt"), count));
  EXPECT_FALSE(ReadTipsFile(tmp.Path(), count));  // a folder
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(alerts.texts, (std::vector<WString>{u"failed to read the file!", u"failed to read the file!"}));
  EXPECT_FALSE(Exists(tmp.File("coderule")));
}

// --- cycle scripts ----------------------------------------------------------

using Items = std::map<WString, WString>;
using Blocks = std::vector<std::pair<WString, Items>>;

Blocks Parse(WStringView text) {
  Blocks calls;
  ParseScriptText(text, [&](const WString& name, const Items& items) { calls.emplace_back(name, items); });
  return calls;
}

TEST(ScriptText, NestedBlocksComeFirstMalformedAndDeepTextsEnd) {
  // The inner parse names its block by the text before the body's first "=".
  EXPECT_EQ(Parse(u"a={x=1,b={y=2}}"), (Blocks{{u"a", {}},
                                                {u"x", {}},
                                                {u"x", {{u"y", u"2"}}},
                                                {u"a", {{u"x", u"1"}, {u"b", u"{y=2}"}}}}));
  EXPECT_EQ(Parse(u"a={x=1}trailing words").size(), 2u);
  for (const char16_t* text : {u"a={x=1", u"a=}{x=1", u"a={x={y={", u"={}={}="}) Parse(text);  // must end
  WString deep;
  for (int i = 0; i < 20000; ++i) deep += u"a={";
  deep += u"x=1" + WString(20000, u'}');
  EXPECT_FALSE(Parse(deep).empty());  // no stack exhaustion
}

}  // namespace
}  // namespace quillet
