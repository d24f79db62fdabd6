// The hand-written statement matchers against the standard regular
// expression engine: for many generated texts, both must find the same
// leftmost match with the same groups, and the same last match.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "mod_gcode/GCCode/MacroPattern.h"

namespace quillet::test {
namespace {

namespace mp = macro_pattern;

struct PatternCase {
  const char* name;
  const char* regex;
  mp::SearchFn search;
  std::size_t groups;
  const char* alphabet;  // characters the generated texts are made of
  std::vector<std::string> samples;
};

std::vector<PatternCase> Cases() {
  return {
      {"condition",
       R"(([\[*#A-Za-z0-9\+\-\*\/\.]+\]*)(?:\s*)([A-Z]{2})(?:\s*)([\[*#A-Za-z0-9\+\-\*\/\.]+\]+))",
       mp::SearchCondition, 3, "[]#1 2GTEQLxe+-*/.  ]]",
       {"[#1 GT 10]", "[[#1+1] LT [#2*2]]", "[#1GT10]", "[#1GTE10]", "[#1 EQ #2]]", "[a GT b] [c LT d]",
        "[#1 GT 2 AND #2 LT 3]", "EQ]", "[SIN[30] GE 0.5]"}},
      {"IF",
       R"(([a-zA-Z]+)(\s*)(\[.+\])(\s*)([a-zA-Z]+)(\s*)((\d+)|([\[*#A-Za-z0-9\+\-\*\/\.\=\]*]+)))", mp::SearchIf, 9,
       "IFGOTHEN [ ]#1=+,5x\r",
       {"IF [#1 GT 10] GOTO 100", "N10 IF [#1 EQ 1] THEN #2=5,#3=6", "IF [#1 EQ 1] THEN", "IF [#1 EQ 1] GOTO",
        "IF[#1GT#2]GOTO#3", "IF [#1 EQ 1] THEN #2=[#3] ", "IF [1] X", "IF [1] GOTO 10ABC IF [2] GO 5",
        "IF [#1 EQ 1]\r GOTO 5", "XIF [1] GO 2"}},
      {"WHILE", R"(([A-Za-z\s]+)(\[.+\])([A-Za-z\s]+)(\d+))", mp::SearchWhile, 4, "WHDO [ ]#1<3\r\n",
       {"WHILE [#1 LT 3] DO1", "N10 WHILE [#1 LT 3] DO 12", "WHILE [#1 LT 3] 1", "WH [1] DO2 [3] DO4",
        "WHILE [a]\r DO1", "WHILE [a\r] DO1"}},
      {"END", R"(([A-Za-z\s]+)(\d+))", mp::SearchEnd, 2, "END 12X\r", {"END1", "N20 END 2", "END1 X10", "END"}},
      {"assignment", R"(([#|P][0-9]{1,4})=(-?[A-Za-z0-9#\+\-\*\/\.\[\]]+))", mp::SearchAssignment, 2,
       "#P|12345=-[]xS ,",
       {"#1=5", "#12=#1*2", "#12345=1", "#1=#2=3", "P12=-3", "|7=[#1]", "#1 = 5", "#1=-"}},
      {"ATAN", R"((\[.+\])/(\[.+\]))", mp::SearchAtan, 2, "[]/1#+\r",
       {"ATAN[1]/[1]", "ATAN[1]/[2]+[3]", "[1]/[2]/[3]", "ATAN[1]/[1\r]/[2]", "[]/[]", "[1]/[]x]"}},
  };
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Compares the hand matcher with std::regex on one text from one position.
void Compare(const PatternCase& pc, const std::regex& re, const std::string& text, std::size_t from) {
  std::smatch expected;
  auto flags = from > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
  bool want = std::regex_search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), expected, re, flags);
  std::u16string wide = Wide(text);
  mp::Match got;
  bool have = pc.search(wide, from, got);
  ASSERT_EQ(have, want) << pc.name << " text \"" << text << "\" from " << from;
  if (!want) return;
  for (std::size_t g = 0; g <= pc.groups; ++g) {
    SCOPED_TRACE(std::string(pc.name) + " text \"" + text + "\" group " + std::to_string(g));
    ASSERT_EQ(got.groups[g].matched, expected[g].matched);
    if (!expected[g].matched) continue;
    EXPECT_EQ(got.groups[g].pos, from + static_cast<std::size_t>(expected.position(g)));
    EXPECT_EQ(got.groups[g].len, static_cast<std::size_t>(expected.length(g)));
  }
}

// The last match, searching on from where each match ended.
void CompareLast(const PatternCase& pc, const std::regex& re, const std::string& text) {
  std::size_t pos = 0, lastPos = 0, lastLen = 0;
  bool found = false;
  std::smatch m;
  while (pos <= text.size()) {
    auto flags = pos > 0 ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
    if (!std::regex_search(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(), m, re, flags)) break;
    found = true;
    lastPos = pos + static_cast<std::size_t>(m.position(0));
    lastLen = static_cast<std::size_t>(m.length(0));
    pos = lastPos + lastLen;
  }
  std::u16string wide = Wide(text);
  mp::Match last;
  ASSERT_EQ(mp::CollectLastMatchGroups(pc.search, wide, last), found) << pc.name << " \"" << text << "\"";
  if (!found) return;
  EXPECT_EQ(last.groups[0].pos, lastPos) << pc.name << " \"" << text << "\"";
  EXPECT_EQ(last.groups[0].len, lastLen) << pc.name << " \"" << text << "\"";
}

TEST(MacroPatternTest, SamplesMatchLikeTheRegexEngine) {
  for (const PatternCase& pc : Cases()) {
    std::regex re(pc.regex, std::regex::ECMAScript);
    for (const std::string& s : pc.samples) {
      for (std::size_t from = 0; from <= s.size(); ++from) Compare(pc, re, s, from);
      CompareLast(pc, re, s);
    }
  }
}

TEST(MacroPatternTest, GeneratedTextsMatchLikeTheRegexEngine) {
  std::mt19937 rng(20240611);
  for (const PatternCase& pc : Cases()) {
    std::regex re(pc.regex, std::regex::ECMAScript);
    const std::string alphabet = pc.alphabet;
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, 18);
    for (int n = 0; n < 6000; ++n) {
      std::string s;
      // Half the texts start from a sample and get a few characters changed.
      if (n % 2 == 0) {
        s = pc.samples[static_cast<std::size_t>(n / 2) % pc.samples.size()];
        for (int k = 0; k < 3 && !s.empty(); ++k) s[rng() % s.size()] = alphabet[pick(rng)];
      } else {
        std::size_t len = length(rng);
        for (std::size_t k = 0; k < len; ++k) s += alphabet[pick(rng)];
      }
      Compare(pc, re, s, 0);
      Compare(pc, re, s, s.empty() ? 0 : rng() % s.size());
      CompareLast(pc, re, s);
      if (HasFatalFailure()) return;
    }
  }
}

TEST(MacroPatternTest, NonAsciiCharactersBelongToNoClass) {
  mp::Match m;
  // A non-breaking space is no blank, so the keyword and "[" do not meet.
  EXPECT_FALSE(mp::SearchIf(u"IF\u00a0[1 EQ 1] GOTO 5", 0, m));
  // A line separator ends a ".+" run like a line feed.
  EXPECT_FALSE(mp::SearchWhile(u"WHILE [1\u2028] DO1", 0, m));
  EXPECT_TRUE(mp::SearchWhile(u"WHILE [\u00e91] DO1", 0, m));
}

TEST(MacroPatternTest, BracketBalanceAndLetterRuns) {
  EXPECT_EQ(mp::BracketBalance(u"[[#1 GT 10]"), 1);
  EXPECT_EQ(mp::BracketBalance(u"[#1]]"), -1);
  EXPECT_EQ(mp::BracketBalance(u"x"), 0);
  EXPECT_EQ(mp::FirstLetterRun(u"12SIN[30]"), u"SIN");
  EXPECT_EQ(mp::FirstLetterRun(u"#1+2"), u"");
}

}  // namespace
}  // namespace quillet::test
