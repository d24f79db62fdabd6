// Checks the data files that ship beside the executables: the two code-rule
// files, the code tips, the default data tables of the "fanuc" system and the
// sample programs. The files are read as committed under data/ (the copies
// beside the executables may hold a user's edits of the tables) and parsed
// with a reader of our own that is stricter than the library's: a line end
// other than CR LF, an unended last line or a key left out of a record is a
// fault, since the library would glue such lines or fill in a default.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

using Faults = std::vector<std::string>;

// A data file as committed.
std::string ReadShipped(const std::string& relative) {
  const auto bytes = plat::ReadFileBytes(plat::ResolvePath(relative, QUILLET_SHIPPED_DATA));
  EXPECT_TRUE(bytes.has_value()) << "missing data file " << relative;
  return bytes.value_or(std::string());
}

bool Digit(char c) { return c >= '0' && c <= '9'; }
unsigned Unit(const std::string& bytes, std::size_t i) {
  return static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
}

bool WholeInt(const std::u16string& text, int* value) {
  std::size_t used = 0;
  *value = plat::ParseIntPrefix(text, &used);
  return !text.empty() && used == text.size() && text[0] != u' ';
}

std::u16string Trimmed(std::u16string s, bool everySpace) {
  if (everySpace) std::erase(s, u' ');
  const auto first = s.find_first_not_of(u' ');
  return first == std::u16string::npos ? u"" : s.substr(first, s.find_last_not_of(u' ') - first + 1);
}

using Record = std::map<std::string, std::u16string>;

// The "%"-ended records of a UTF-16LE file with byte-order mark whose every
// line ends in CR LF; each line split at its first "=" the way the library
// does (key without spaces, value trimmed).
std::vector<Record> Records(const std::string& relative, Faults& faults) {
  const std::string bytes = ReadShipped(relative);
  if (bytes.compare(0, 2, "\xFF\xFE") != 0 || bytes.size() % 2 != 0) faults.push_back(relative + ": no UTF-16LE");
  std::u16string units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) units.push_back(static_cast<char16_t>(Unit(bytes, i)));
  std::vector<Record> records(1);
  std::size_t start = 0;
  for (std::size_t end; (end = units.find(u"\r\n", start)) != std::u16string::npos; start = end + 2) {
    const std::u16string line = units.substr(start, end - start);
    if (line.find_first_of(u"\r\n") != std::u16string::npos) faults.push_back(relative + ": a lone CR or LF");
    const auto eq = line.find(u'=');
    const std::string key = plat::WideToAscii(Trimmed(line.substr(0, eq), true));
    const std::u16string value = eq == std::u16string::npos ? u"" : Trimmed(line.substr(eq + 1), false);
    if (key == "%" && value.empty()) records.emplace_back();
    else if (!line.empty() && !records.back().emplace(key, value).second) faults.push_back(relative + ": key twice: " + key);
  }
  if (start != units.size()) faults.push_back(relative + ": last line not ended by CR LF");
  if (!records.back().empty()) faults.push_back(relative + ": keys after the last \"%\" line");
  records.pop_back();
  return records;
}

// ---------------------------------------------------------------------------
// Code-rule files

struct Rule {
  std::string name, func, address;
  int group = 0, number = 0, movable = 0;
};

struct RuleFile {
  std::vector<Rule> rules;
  Faults faults;
  // `prefix`: the first rule in file order whose name begins with the text,
  // the lookup the interpreter uses for statement keywords and functions.
  const Rule* Find(const std::string& name, bool prefix = false) const {
    for (const Rule& r : rules)
      if (prefix ? r.name.compare(0, name.size(), name) == 0 : r.name == name) return &r;
    return nullptr;
  }
  bool Has(const std::string& name, int group, int number) const {
    const Rule* r = Find(name);
    return r && r->group == group && r->number == number;
  }
};

RuleFile LoadRules(const std::string& relative) {
  RuleFile out;
  // The rule reader takes every 16-bit unit as one 8-bit character, so only
  // printable ASCII survives it unchanged.
  const std::string bytes = ReadShipped(relative);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    if (Unit(bytes, i) != '\r' && Unit(bytes, i) != '\n' && (Unit(bytes, i) < 0x20 || Unit(bytes, i) > 0x7E))
      out.faults.push_back(relative + ": non-ASCII unit at byte " + std::to_string(i));
  const std::set<std::string> keys = {"codename", "codefunc", "group", "address", "globalname", "movable"};
  for (Record& r : Records(relative, out.faults)) {
    // A key left out takes the reader's default (movable 1, group -1,
    // globalname 1), never the intended value.
    const bool sixKeys = r.size() == 6 && std::all_of(keys.begin(), keys.end(), [&](auto& k) { return r.count(k); });
    Rule rule{plat::WideToAscii(r["codename"]), plat::WideToAscii(r["codefunc"]), plat::WideToAscii(r["address"])};
    if (!sixKeys || !WholeInt(r["group"], &rule.group) || !WholeInt(r["globalname"], &rule.number) ||
        !WholeInt(r["movable"], &rule.movable) || rule.movable > 1 || rule.movable < 0 || rule.name.empty() || rule.func.empty())
      out.faults.push_back(relative + " " + rule.name + ": not the six keys, or a number or name that is no such");
    out.rules.push_back(rule);
  }
  return out;
}

const RuleFile& MainRules() { static const RuleFile f = LoadRules("coderule\\fanuc.cmt"); return f; }
const RuleFile& MacroRules() { static const RuleFile f = LoadRules("coderule\\fanuc_macro.cmt"); return f; }

// The letters the block scanner reads as address words and as code words.
const std::string kAddressLetters = "ABCEIJKLPQRUVWXYZ", kCodeLetters = "DFHST";

TEST(RuleFiles, RecordsAreSoundAndEveryNameCanBeFound) {
  for (const RuleFile* f : {&MainRules(), &MacroRules()}) {
    EXPECT_TRUE(f->faults.empty()) << testing::PrintToString(f->faults);
    std::set<std::string> names, funcs;
    for (const Rule& r : f->rules) {
      EXPECT_TRUE(names.insert(r.name).second) << "codename twice: " << r.name;
      EXPECT_TRUE(funcs.insert(r.func).second || f == &MacroRules()) << "codefunc twice: " << r.func;
      // The lookup turns G1 into G01 and M3 into M03: a G or M code named
      // with one digit could never be found.
      const bool numbered = (r.name[0] == 'G' || r.name[0] == 'M') && r.name.size() > 1 && Digit(r.name[1]);
      EXPECT_TRUE(!numbered || (r.name.size() >= 3 && Digit(r.name[2]))) << r.name;
      for (char c : r.name) EXPECT_TRUE((c >= 'A' && c <= 'Z') || Digit(c) || c == '.') << r.name;
    }
  }
}

TEST(MainRules, CodesAndLettersCarryTheTypesNumbersAndFunctionsTheirHandlersActOn) {
  const RuleFile& f = MainRules();
  // Numbers the handlers switch on that no pattern or function name below implies.
  const std::tuple<std::string, int, int> codes[] = {{"G04", 0, 4}, {"G20", 6, 0}, {"G21", 6, 1},
                                                     {"G53", 0, 0}, {"G94", 5, 1}, {"G95", 5, 0}};
  for (const auto& [name, group, number] : codes) EXPECT_TRUE(f.Has(name, group, number)) << name;
  for (const char* g : {"G40", "G41", "G42", "G43", "G44", "G49", "G54", "G59", "G81", "G83", "G61", "M02", "M06", "M30",
                        "M98", "M99", "N", "O"})
    ASSERT_NE(f.Find(g), nullptr) << g;
  // Compensation codes find their offset number behind these letters.
  for (const char* c : {"G40", "G41", "G42"}) EXPECT_EQ(f.Find(c)->address, "D") << c;
  for (const char* c : {"G43", "G44", "G49"}) EXPECT_EQ(f.Find(c)->address, "H") << c;
  // Each handler that selects by function name, with the names it knows.
  const std::map<int, std::set<std::string>> handlers = {
      {2, {"GPanelSelXY", "GPanelSelZX", "GPanelSelYZ"}}, {3, {"GABS", "GREL"}},
      {7, {"GCompDL", "GCompDR", "GCompDCancel"}},        {8, {"GCompHP", "GCompHM", "GCompHCancel"}},
      {10, {"GR2IP", "GR2R"}},                            {11, {"GScl", "GSclCan"}},
      {12, {"GMacroModule", "GMacroModuleCancel"}},       {16, {"GCSRot", "GCSRCan"}},
      {17, {"GPolar", "GPolarCancel"}},                   {22, {"GMrr", "GMrrCan"}},
  };
  // Type 0 is a reference return when "movable" is set, else a setting code.
  const std::set<std::string> returns = {"GRefPosReturnCheck", "GRefPosReturn", "G2NDRefPosReturn", "GReturnFromRefPos"};
  const std::set<std::string> settings = {"GPartZero", "GMacSysSel", "GLocalCrdSysSet", "GDwell", "GMacro", "GPParam", "GSkip"};
  // Handled types, and the ones used on purpose for codes no handler acts on.
  const std::set<int> types = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 22, 98, 99, 100};
  std::map<int, std::set<std::string>> found;
  for (const Rule& r : f.rules) {
    EXPECT_TRUE(types.count(r.group)) << r.name << " type " << r.group;
    if (handlers.count(r.group)) found[r.group].insert(r.func);
    const bool isReturn = r.group == 0 && returns.count(r.func);
    EXPECT_TRUE(isReturn ? r.movable == 1 : r.movable == 0 && (r.group != 0 || settings.count(r.func))) << r.name;
    // Motion codes G00 to G03 are 1 to 4, work offsets G54 to G59 are rows
    // 1 to 6 of the 7-row table, cycles and M codes carry their own number.
    EXPECT_TRUE(r.group != 1 || r.name == "G0" + std::to_string(r.number - 1)) << r.name;
    EXPECT_TRUE(r.group != 14 || (r.number >= 1 && r.number <= 6 && r.name == "G" + std::to_string(53 + r.number))) << r.name;
    EXPECT_TRUE(r.group != 9 || r.name == "G" + std::to_string(r.number)) << r.name;
    EXPECT_TRUE(r.name[0] != 'M' || (r.group == 100 && r.name == (r.number < 10 ? "M0" : "M") + std::to_string(r.number))) << r.name;
  }
  for (const auto& [type, names] : handlers) EXPECT_EQ(found[type], names) << "rule type " << type;
  EXPECT_TRUE(f.Find("M06")->address == "T" && f.Find("M98")->address == "P");
  // Address letters carry their word index.
  const std::map<char, int> used = {{'X', 0}, {'Y', 1}, {'Z', 2}, {'I', 3}, {'J', 4},
                                    {'K', 5}, {'R', 6}, {'P', 7}, {'Q', 8}, {'L', 14}};
  for (char c : kAddressLetters) {
    // A letter without an entry would have its words land in X; a letter
    // used by no instruction must be dropped (a negative number).
    const Rule* r = f.Find(std::string(1, c));
    EXPECT_TRUE(r && (used.count(c) ? r->number == used.at(c) : r->number < 0)) << c;
  }
  // Letter words: 9 T, 10 S, 11 F, 12 D, 13 H.
  EXPECT_TRUE(f.Has("T", 98, 9) && f.Has("S", 98, 10) && f.Has("F", 98, 11) && f.Has("D", 98, 12) && f.Has("H", 98, 13));
  EXPECT_TRUE(f.Find("N")->func == "linenumber" && f.Find("O")->func == "GPH");
}

TEST(MacroRules, StatementsFunctionsAndArgumentLetters) {
  const RuleFile& f = MacroRules();
  // The scanner looks a statement up by its first two characters.
  const std::map<std::string, std::set<std::string>> statements = {
      {"IF", {"IF"}}, {"WH", {"WHILE", "WH"}}, {"EN", {"END"}}, {"GO", {"GOTO"}}};
  for (const auto& [two, funcs] : statements) EXPECT_TRUE(f.Find(two, true) && funcs.count(f.Find(two, true)->func)) << two;
  for (const char* w : {"THEN", "DO", "EQ", "NE", "GT", "GE", "LT", "LE", "AND", "OR", "XOR"}) EXPECT_NE(f.Find(w), nullptr) << w;
  // The evaluator takes the first entry whose name begins with the keyword.
  const std::map<std::string, int> ids = {{"SIN", 0}, {"COS", 1}, {"TAN", 2}, {"ASIN", 3}, {"ACOS", 4}, {"ATAN", 5},
                                          {"ABS", 6}, {"SQRT", 7}, {"FIX", 10}, {"FUP", 11}, {"ROUND", 12}, {"EXP", 13}};
  for (const auto& [name, id] : ids) EXPECT_TRUE(f.Has(name, 201, id) && f.Find(name, true) == f.Find(name)) << name;
  // In an expression "P" starts a variable, and one letter is no keyword.
  for (const Rule& r : f.rules)
    EXPECT_TRUE(r.group != 201 || (r.number >= 0 && r.number <= 13 && r.name[0] != 'P' && r.name.size() >= 2)) << r.name;
  // Argument list 1; every letter the scanner reads after G65 must be there,
  // or it would land in index 0, the repeat count.
  const std::map<char, int> args = {{'A', 1},  {'B', 2},  {'C', 3},  {'I', 4},  {'J', 5},  {'K', 6},  {'D', 7},  {'E', 8},
                                    {'F', 9},  {'H', 11}, {'Q', 17}, {'R', 18}, {'S', 19}, {'T', 20}, {'U', 21}, {'V', 22},
                                    {'W', 23}, {'X', 24}, {'Y', 25}, {'Z', 26}, {'L', 0},  {'P', 100}};
  for (char c : kAddressLetters + kCodeLetters) EXPECT_TRUE(f.Has(std::string(1, c), 98, args.at(c))) << c;
}

// ---------------------------------------------------------------------------
// Code tips

TEST(CodeTips, BothLanguagesCoverEveryGCodeOfTheRulesWithTheSameFormats) {
  std::set<int> ruleNumbers;
  for (const Rule& r : MainRules().rules)
    if (int n = 0; r.name[0] == 'G' && WholeInt(plat::AsciiToWide(r.name.substr(1, 2)), &n)) ruleNumbers.insert(n);
  std::map<int, std::u16string> fmt[2];
  for (int cn = 0; cn < 2; ++cn) {
    const std::string file = cn ? "coderule\\codetips_cn.txt" : "coderule\\codetips_en.txt";
    Faults faults;
    for (Record& r : Records(file, faults)) {
      // A record that omits a key would inherit the previous record's value;
      // the reader keeps a value of at most 255 characters.
      int n = -1;
      const std::u16string& tip = r["Tip"];
      const bool hanzi = std::any_of(tip.begin(), tip.end(), [](char16_t c) { return c >= 0x4E00 && c <= 0x9FFF; });
      const bool ascii = std::all_of(tip.begin(), tip.end(), [](char16_t c) { return c < 0x80; });
      EXPECT_TRUE(r.size() == 3 && WholeInt(r["nCodeName"], &n) && !fmt[cn].count(n) && tip.size() <= 255 &&
                  (cn ? hanzi : ascii && !tip.empty()))
          << file << " G" << n;
      // The format shows the code as written, with two digits.
      fmt[cn][n] = r["Fmt"];
      EXPECT_EQ(r["Fmt"].substr(0, 3), plat::AsciiToWide((n < 10 ? "G0" : "G") + std::to_string(n))) << n;
    }
    EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
    std::set<int> numbers;
    for (const auto& entry : fmt[cn]) numbers.insert(entry.first);
    EXPECT_EQ(numbers, ruleNumbers) << file << ": a tip for every G code of the rules, no other";
  }
  EXPECT_EQ(fmt[0], fmt[1]);
}

// ---------------------------------------------------------------------------
// Default data tables

TEST(DataTables, ZeroOffsetsAndOneLinePerVariableWithItsKind) {
  EXPECT_EQ(ReadShipped("fanuc\\offset.dat"), std::string(401 * 4 * sizeof(double), '\0'));
  EXPECT_EQ(ReadShipped("fanuc\\partzero.dat"), std::string(7 * 3 * sizeof(double), '\0'));
  const std::string text = ReadShipped("fanuc\\variables.txt");
  std::size_t start = 0, n = 0;
  for (std::size_t lf; (lf = text.find("\r\n", start)) != std::string::npos; start = lf + 2, ++n) {
    // An empty line would repeat the previous variable.
    const std::string line = text.substr(start, lf - start);
    const int kind = n == 0 ? 0 : n <= 33 ? 1 : (n >= 100 && n <= 199) || (n >= 500 && n <= 999) ? 2 : n >= 1000 ? 3 : 0;
    std::size_t used = 0;
    plat::ParseDouble(line, &used);
    ASSERT_TRUE(used > 0 && line.substr(used) == " " + std::to_string(kind)) << "#" << n << " \"" << line << "\"";
  }
  EXPECT_EQ(start, text.size()) << "last line not ended by CR LF";
  // The interpreter writes #4001, #4003, #4010, #4109 and #5003.
  EXPECT_EQ(n, 6000u);
}

// ---------------------------------------------------------------------------
// Sample programs

// Reads a sample as a control would (absolute XY positions of G17 programs),
// checks that every code is in the rules and every arc geometrically
// possible, and that the codes a sample is there to show are in it.
void CheckSample(const std::string& name, std::set<std::string> shown) {
  for (const char* c : {"G90", "G54", "G43", "M06", "M03", "M08", "M09", "M05", "M30"}) shown.insert(c);
  const std::string text = ReadShipped("samples\\" + name);
  bool known = false, absolute = true;  // whether x and y hold the absolute position
  double x = 0, y = 0;
  int motion = 0, number = 1;
  std::size_t start = 0;
  for (std::size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1, ++number) {
    const std::string line = text.substr(start, lf - start), where = name + " line " + std::to_string(number);
    std::map<char, std::string> word;
    bool home = false;
    const std::string code = line.substr(0, line.find('('));
    for (std::size_t i = 0; i < code.size(); ++i) {
      if (code[i] < 'A' || code[i] > 'Z') continue;
      const std::size_t j = std::min(code.find_first_not_of("0123456789.-", i + 1), code.size());
      const std::string w = code.substr(i, j - i);
      i = j - 1;
      if (w[0] == 'G' || w[0] == 'M') {
        EXPECT_NE(MainRules().Find(w), nullptr) << where << ": " << w << " is not in the rules";
        shown.erase(w);
        if (w == "G00" || w == "G01" || w == "G02" || w == "G03") motion = w[2] - '0';
        absolute = (absolute || w == "G90") && w != "G91";
        home = home || w == "G28";
      } else if (w[0] != 'N' && w[0] != 'O') {
        EXPECT_NE(MainRules().Find(w.substr(0, 1)), nullptr) << where << ": letter " << w[0];
        word[w[0]] = w.substr(1);
      }
    }
    known = known && !home && absolute;
    if (home || !absolute) continue;
    auto value = [&](char c, double otherwise) { return word.count(c) ? plat::ParseDouble(word[c]) : otherwise; };
    const double ex = value('X', x), ey = value('Y', y);
    if ((motion == 2 || motion == 3) && (word.count('X') || word.count('Y') || word.count('I') || word.count('J'))) {
      EXPECT_TRUE(known) << where << ": arc from an unknown point";
      if (word.count('R')) {
        EXPECT_LE(std::hypot(ex - x, ey - y), 2 * std::fabs(value('R', 0)) + 1e-3) << where;
      } else {
        const double cx = x + value('I', 0), cy = y + value('J', 0);
        EXPECT_NEAR(std::hypot(x - cx, y - cy), std::hypot(ex - cx, ey - cy), 1e-3) << where;
        EXPECT_GT(std::hypot(x - cx, y - cy), 0.1) << where;
      }
    }
    known = known || (word.count('X') && word.count('Y'));
    x = ex;
    y = ey;
  }
  EXPECT_TRUE(shown.empty()) << name << " lacks " << testing::PrintToString(shown);
}

TEST(Samples, ProgramsAreCompleteAndTheirArcsClose) {
  CheckSample("contour_arcs.nc", {"G02", "G03", "G41", "G40"});
  CheckSample("drill_pattern.nc", {"G81", "G83", "G80"});  // each cycle cancelled
  CheckSample("surface_3d.nc", {"G01", "G03"});
}

}  // namespace
