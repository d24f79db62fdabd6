// Parts of the viewer that need no window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "mod_gcode/export/Quillet.h"
#include "platform/Host.h"
#include "platform/Paths.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgLoading.h"
#include "viewer/Language.h"
#include "viewer/Styling.h"
#include "viewer/TextConv.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

std::string U8(const std::u16string& s) { return FromU16(s).toStdString(); }

void WriteBytes(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

// ------------------------------------------------------------ numbers

TEST(TextConversions, WholeNumbersWithinFloatEpsilonAreWrittenWithoutDecimals) {
  EXPECT_EQ(U8(DoubleToWString(3.0)), "3");
  EXPECT_EQ(U8(DoubleToWString(2.99999999)), "3");
  EXPECT_EQ(U8(DoubleToWString(-7.00000001)), "-7");
  EXPECT_EQ(U8(DoubleToWString(1e-8)), "0");
  // 2e-7 is farther from 0 than 1.1920929e-7.
  EXPECT_EQ(U8(DoubleToWString(2e-7)), "0.000");
}

TEST(TextConversions, OtherNumbersGetThreeDecimalsAndTheirSign) {
  EXPECT_EQ(U8(DoubleToWString(-2.5)), "-2.500");
  EXPECT_EQ(U8(DoubleToWString(-0.5)), "-0.500");
  EXPECT_EQ(U8(DoubleToWString(2.5)), "2.500");
  EXPECT_EQ(U8(DoubleToWString(2.9996)), "3.000");
  EXPECT_EQ(U8(DoubleToWString(12.3456)), "12.346");
  EXPECT_EQ(U8(IntToWString(-42)), "-42");
}

// ------------------------------------------------------------ language

TEST(Language, ChineseOnlyForTheTwoChineseLanguageIds) {
  EXPECT_EQ(LangIdFromLocale(QLocale(QLocale::Chinese, QLocale::China)), 2052);
  EXPECT_EQ(LangIdFromLocale(QLocale(QLocale::Chinese, QLocale::Taiwan)), 1028);
  EXPECT_EQ(LanguageFlagFromLangId(2052), 0);
  EXPECT_EQ(LanguageFlagFromLangId(1028), 0);
  EXPECT_EQ(LanguageFlagFromLangId(3076), 1);  // Chinese, Hong Kong
  EXPECT_EQ(LanguageFlagFromLangId(2057), 1);
  EXPECT_EQ(LanguageFlagFromLangId(1033), 1);
  EXPECT_EQ(LanguageFlagFromLangId(LangIdFromLocale(QLocale(QLocale::Chinese, QLocale::HongKong))), 1);
  EXPECT_EQ(LanguageFlagFromLangId(LangIdFromLocale(QLocale(QLocale::German, QLocale::Germany))), 1);
}

TEST(Language, OverrideTexts) {
  EXPECT_EQ(LanguageFlagFromOverride("chs"), 0);
  EXPECT_EQ(LanguageFlagFromOverride(" ENU "), 1);
  EXPECT_EQ(LanguageFlagFromOverride("2052"), 0);
  EXPECT_EQ(LanguageFlagFromOverride("1028"), 0);
  EXPECT_EQ(LanguageFlagFromOverride("2057"), 1);
  EXPECT_EQ(LanguageFlagFromOverride(""), -1);
  EXPECT_EQ(LanguageFlagFromOverride("20x"), -1);
  EXPECT_EQ(LanguageFlagFromOverride("klingon"), -1);

  SetLanguageFlag(1);
  InitLanguage({"Ravik", "--lang=chs"});
  EXPECT_EQ(LanguageFlag(), 0);
  InitLanguage({"Ravik", "--lang=enu"});
  EXPECT_EQ(LanguageFlag(), 1);
}

TEST(IniReader, SectionsKeysBlanksQuotesAndCase) {
  IniFile ini;
  ini.Parse(QStringLiteral("Loose=outside any section\r\n"
                           "; a comment\r\n"
                           "[String]\r\n"
                           "  Title  =  Ravik viewer  \r\n"
                           "quoted=\"  kept blanks \"\r\n"
                           "title=second entry loses\r\n"
                           "empty=\r\n"
                           "[Other]\r\n"
                           "Title=other section\r\n"));
  EXPECT_EQ(ini.Value("string", "TITLE"), "Ravik viewer");
  EXPECT_EQ(ini.Value("String", "quoted"), "  kept blanks ");
  EXPECT_EQ(ini.Value("OTHER", "title"), "other section");
  EXPECT_TRUE(ini.Has("String", "empty"));
  EXPECT_EQ(ini.Value("String", "empty"), "");
  EXPECT_FALSE(ini.Has("String", "loose"));
  EXPECT_EQ(ini.Value("Missing", "Title"), "");
}

TEST(IniReader, DecodesUtf8AndUtf16WithByteOrderMarks) {
  const QString expected = QStringLiteral("正在解析");
  std::string utf8 = "\xEF\xBB\xBF" + expected.toStdString();
  EXPECT_EQ(DecodeTextFile(utf8), expected);
  EXPECT_EQ(DecodeTextFile(expected.toStdString()), expected);
  std::string utf16le = "\xFF\xFE";
  for (QChar c : expected) {
    utf16le += static_cast<char>(c.unicode() & 0xFF);
    utf16le += static_cast<char>(c.unicode() >> 8);
  }
  EXPECT_EQ(DecodeTextFile(utf16le), expected);
}

class LangFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ravik_lang_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    plat::SetExeDirOverride(dir.string());
  }
  void TearDown() override {
    plat::SetExeDirOverride("");
    SetLanguageFlag(1);
    fs::remove_all(dir);
  }
  fs::path dir;
};

TEST_F(LangFiles, ReadsTheFileOfTheFlagWithLineBreaksAndLengthLimit) {
  // Written with other letter case than the program names them.
  WriteBytes(dir / "Language" / "ENU.ini",
             "[String]\nTWO=first\\nsecond\nLONG=" + std::string(600, 'x') + "\n");
  WriteBytes(dir / "Language" / "Chs.INI", "\xEF\xBB\xBF[String]\nTWO=第一\\n第二\n");
  SetLanguageFlag(1);
  EXPECT_EQ(GetLangString("TWO"), "first\nsecond");
  EXPECT_EQ(GetLangString("LONG").size(), 511);
  EXPECT_EQ(GetLangString("NOPE"), "");
  SetLanguageFlag(0);
  EXPECT_EQ(GetLangString("TWO"), QStringLiteral("第一\n第二"));
  EXPECT_EQ(GetLangString("LONG"), "");
}

TEST_F(LangFiles, MissingFileGivesEmptyTextAndAChangedFileIsReadAgain) {
  SetLanguageFlag(1);
  EXPECT_EQ(GetLangString("TWO"), "");
  WriteBytes(dir / "language" / "enu.ini", "[String]\nTWO=one\n");
  EXPECT_EQ(GetLangString("TWO"), "one");
  WriteBytes(dir / "language" / "enu.ini", "[String]\nTWO=changed\n");
  EXPECT_EQ(GetLangString("TWO"), "changed");
}

TEST(LanguageFiles, ShippedFilesHoldTheLoadingTextsInBothLanguages) {
  for (int flag : {1, 0}) {
    SetLanguageFlag(flag);
    for (const char* key : {"DLL_LOADING_PARSINGPORG", "DLL_LOADING_GENTOOLPATH", "DLL_LOADING_PROG",
                            "SAVE_CHANGES", "SAVE_LOSSY", "SAVE_FAILED"}) {
      EXPECT_FALSE(GetLangString(key).isEmpty()) << key << " flag " << flag;
    }
  }
  SetLanguageFlag(0);
  EXPECT_TRUE(GetLangString("DLL_LOADING_PROG").contains(QStringLiteral("程序")));
  SetLanguageFlag(1);
}

// ------------------------------------------------------------ styling

TEST(Styling, ScaleFactorsAndRectangles) {
  EXPECT_FLOAT_EQ(ScaleFactor(300, 200), 1.5f);
  EXPECT_FLOAT_EQ(ScaleFactor(100, 0), 1.0f);  // infinite
  EXPECT_FLOAT_EQ(ScaleFactor(0, 0), 1.0f);    // not a number
  EXPECT_FLOAT_EQ(ScaleFactor(0, 50), 0.0f);
  // Each of left, top, width and height is scaled and truncated.
  EXPECT_EQ(ScaleRect(QRect(10, 21, 33, 40), 1.5f, 0.5f), QRect(15, 10, 49, 20));
}

TEST(Styling, FontsFollowTheGivenHeight) {
  CreateDialogFonts(880);
  EXPECT_EQ(NormalFont().pixelSize(), 20);
  EXPECT_EQ(LargeFont().pixelSize(), 35);
  EXPECT_EQ(FixedFont().pixelSize(), 20);
}

// ------------------------------------------------------------ command store

TEST(CommandStore, CallbackStoresValuesInArgumentOrderAndStopsOnRequest) {
  ClearCommandRecords();
  int line = 7;
  short kind = 3;
  double v[13];
  for (int i = 0; i < 13; ++i) v[i] = 1.5 * i - 2;
  EXPECT_EQ(AppendCommandRecord(&line, &kind, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8],
                                &v[9], &v[10], &v[11], &v[12]),
            1);
  SetSimulationStop(true);
  line = 8;
  EXPECT_EQ(AppendCommandRecord(&line, &kind, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8],
                                &v[9], &v[10], &v[11], &v[12]),
            0)
      << "a zero result ends the simulation after the block";
  SetSimulationStop(false);
  auto records = Commands().Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].line, 7);
  EXPECT_EQ(records[0].kind, 3);
  EXPECT_DOUBLE_EQ(records[0].values[0], -2.0);
  EXPECT_DOUBLE_EQ(records[0].values[3], 2.5);
  EXPECT_DOUBLE_EQ(records[0].values[12], 16.0);
  EXPECT_EQ(records[1].line, 8);
  ClearCommandRecords();
  EXPECT_EQ(Commands().Size(), 0u);
}

TEST(CommandStore, KindNamesAndToolOffsets) {
  EXPECT_STREQ(CommandKindName(0), "Default");
  EXPECT_STREQ(CommandKindName(15), "StopAuto");
  EXPECT_STREQ(CommandKindName(19), "Abs./Rel.");
  EXPECT_STREQ(CommandKindName(32), "Call Macro");
  EXPECT_STREQ(CommandKindName(33), "");
  EXPECT_STREQ(CommandKindName(-1), "");
  unsigned char tool = 5;
  double a = 1, b = 2, c = 3;
  GetToolOffsets(&tool, &a, &b, &c);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, 0.0);
  EXPECT_EQ(c, 0.0);
}

TEST(CommandStore, ConcurrentAppendsAndReadsSeeWholeRecords) {
  ClearCommandRecords();
  std::thread writer([] {
    for (int i = 0; i < 20000; ++i) {
      int line = i;
      short kind = 2;
      double v[13] = {};
      v[3] = i;
      AppendCommandRecord(&line, &kind, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9],
                          &v[10], &v[11], &v[12]);
    }
  });
  std::size_t last = 0;
  while (last < 20000) {
    Commands().Read([&](const std::vector<CommandRecord>& r) {
      ASSERT_GE(r.size(), last);
      for (std::size_t i = last; i < r.size(); ++i) ASSERT_EQ(r[i].line, static_cast<int>(i));
      last = r.size();
    });
  }
  writer.join();
  ClearCommandRecords();
}

// ------------------------------------------------------------ progress target

TEST(ProgressTarget, KeepsTheOrderOfMessagesAndOneEntryPerRunOfParsedLines) {
  auto target = std::make_shared<LoadingTarget>();
  const int handle = plat::RegisterTarget(target);
  plat::SendTo(handle, WM_CODE_PARSESTART, 0, 0);
  plat::SendTo(handle, WM_CODE_LINECOUNT, 3, 0);
  EXPECT_EQ(target->lineCount.load(), 3);
  EXPECT_EQ(target->lineDone.load(), -1);
  for (unsigned i = 0; i < 3; ++i) plat::SendTo(handle, WM_CODE_LINEDONE, i, 0);
  EXPECT_EQ(target->lineDone.load(), 2);
  plat::SendTo(handle, WM_CODE_LINECOUNT, 2, 0);  // a sub-program
  plat::SendTo(handle, WM_CODE_LINEDONE, 0, 0);
  plat::SendTo(handle, WM_CODE_CUTTERPATH, 0, 0);
  EXPECT_EQ(target->stage.load(), unsigned(WM_CODE_CUTTERPATH));
  plat::PostTo(handle, WM_CODE_AUTORUN, 0, 0);  // no dialog attached: only logged
  const std::vector<unsigned> expected = {WM_CODE_PARSESTART, WM_CODE_LINECOUNT, WM_CODE_LINEDONE,
                                          WM_CODE_LINECOUNT,  WM_CODE_LINEDONE,  WM_CODE_CUTTERPATH,
                                          WM_CODE_AUTORUN};
  EXPECT_EQ(target->Log(), expected);

  // Once released, the handle reaches nothing.
  plat::ReleaseTarget(handle);
  EXPECT_FALSE(plat::PostTo(handle, WM_CODE_AUTORUN, 0, 0));
  EXPECT_FALSE(plat::SendTo(handle, WM_CODE_LINEDONE, 9, 0));
  EXPECT_EQ(target->lineDone.load(), 0);
}

}  // namespace
