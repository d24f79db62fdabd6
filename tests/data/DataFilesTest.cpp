// Checks the data files that ship beside the executables: the two code-rule
// files, the code tips, the default data tables of the "fanuc" system and the
// sample programs. The files are read from the executable's folder, where the
// build copies data/, and parsed here with a reader of our own that follows
// the line rules of the library's key=value reader.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

std::string ReadShipped(const std::string& relative) {
  const auto bytes = plat::ReadFileBytes(plat::ExePath(relative));
  EXPECT_TRUE(bytes.has_value()) << "missing data file " << relative;
  return bytes.value_or(std::string());
}

// ---------------------------------------------------------------------------
// UTF-16 key=value files

struct Utf16Lines {
  std::vector<std::u16string> lines;
  std::vector<std::string> faults;  // encoding and line-end faults
};

// Decodes a UTF-16LE file with byte-order mark whose every line (the last one
// too) ends in CR LF. A stray CR or LF, or an unended last line, is a fault:
// the library's reader would glue or drop such lines.
Utf16Lines SplitUtf16Lines(const std::string& bytes) {
  Utf16Lines out;
  if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
      static_cast<unsigned char>(bytes[1]) != 0xFE) {
    out.faults.push_back("no UTF-16LE byte-order mark");
    return out;
  }
  if (bytes.size() % 2 != 0) out.faults.push_back("odd byte count");
  std::u16string units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  std::u16string line;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    if (u == u'\r') {
      if (i + 1 >= units.size() || units[i + 1] != u'\n') {
        out.faults.push_back("CR without LF after line " + std::to_string(out.lines.size() + 1));
      } else {
        ++i;
      }
      out.lines.push_back(line);
      line.clear();
    } else if (u == u'\n') {
      out.faults.push_back("LF without CR after line " + std::to_string(out.lines.size() + 1));
      out.lines.push_back(line);
      line.clear();
    } else {
      line.push_back(u);
    }
  }
  if (!line.empty()) out.faults.push_back("last line not ended by CR LF");
  return out;
}

std::u16string WithoutSpaces(const std::u16string& s) {
  std::u16string r;
  for (char16_t c : s)
    if (c != u' ') r.push_back(c);
  return r;
}

std::u16string TrimSpaces(const std::u16string& s) {
  const auto b = s.find_first_not_of(u' ');
  if (b == std::u16string::npos) return {};
  const auto e = s.find_last_not_of(u' ');
  return s.substr(b, e - b + 1);
}

struct KeyValue {
  std::string key;
  std::u16string value;
};
using Record = std::vector<KeyValue>;

struct RecordFile {
  std::vector<Record> records;
  std::vector<std::string> faults;
};

// Groups the lines into records ended by "%", splitting each line at its
// first "=" the way the library does (key without spaces, value trimmed).
RecordFile ParseRecords(const std::string& bytes) {
  RecordFile out;
  const Utf16Lines split = SplitUtf16Lines(bytes);
  out.faults = split.faults;
  Record current;
  for (const std::u16string& line : split.lines) {
    if (line.empty()) continue;
    if (WithoutSpaces(line) == u"%") {
      out.records.push_back(current);
      current.clear();
      continue;
    }
    const auto eq = line.find(u'=');
    KeyValue kv;
    if (eq == std::u16string::npos) {
      kv.key = plat::WideToAscii(WithoutSpaces(line));
    } else {
      kv.key = plat::WideToAscii(WithoutSpaces(line.substr(0, eq)));
      kv.value = TrimSpaces(line.substr(eq + 1));
    }
    current.push_back(kv);
  }
  if (!current.empty()) out.faults.push_back("keys after the last \"%\" line");
  return out;
}

bool IsWholeInteger(const std::string& text, int* value) {
  std::size_t used = 0;
  const int v = plat::ParseIntPrefix(text, &used);
  if (text.empty() || used != text.size() || text[0] == ' ') return false;
  *value = v;
  return true;
}

// ---------------------------------------------------------------------------
// Code-rule files

struct Rule {
  std::string codename, codefunc, address;
  int group = 0;
  int number = 0;
  int movable = 0;
};

struct RuleFile {
  std::vector<Rule> rules;
  std::vector<std::string> faults;

  const Rule* Find(const std::string& codename) const {
    for (const Rule& r : rules)
      if (r.codename == codename) return &r;
    return nullptr;
  }
  const Rule* FindFunction(const std::string& codefunc) const {
    for (const Rule& r : rules)
      if (r.codefunc == codefunc) return &r;
    return nullptr;
  }
  // The first rule in file order whose code name begins with the text: the
  // lookup the interpreter uses for statement keywords and function names.
  const Rule* FindPrefix(const std::string& text) const {
    for (const Rule& r : rules)
      if (r.codename.compare(0, text.size(), text) == 0) return &r;
    return nullptr;
  }
};

RuleFile LoadRules(const std::string& relative) {
  RuleFile out;
  const std::string bytes = ReadShipped(relative);
  if (bytes.empty()) {
    out.faults.push_back("empty or missing");
    return out;
  }
  // The rule reader takes every 16-bit unit as one 8-bit character, so only
  // printable ASCII survives it unchanged.
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned u = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (u != '\r' && u != '\n' && (u < 0x20 || u > 0x7E)) {
      out.faults.push_back("non-ASCII unit at byte " + std::to_string(i));
      break;
    }
  }
  const RecordFile file = ParseRecords(bytes);
  out.faults.insert(out.faults.end(), file.faults.begin(), file.faults.end());
  static const std::set<std::string> kKeys = {"codename", "codefunc", "group", "address", "globalname", "movable"};
  for (std::size_t n = 0; n < file.records.size(); ++n) {
    std::map<std::string, std::string> seen;
    const std::string where = relative + " record " + std::to_string(n + 1);
    for (const KeyValue& kv : file.records[n]) {
      if (!kKeys.count(kv.key)) out.faults.push_back(where + ": unknown key " + kv.key);
      if (seen.count(kv.key)) out.faults.push_back(where + ": key given twice: " + kv.key);
      seen[kv.key] = plat::WideToAscii(kv.value);
    }
    // Every record states every key: a key left out takes the reader's
    // default (movable 1, group -1, globalname 1), never the intended value.
    for (const std::string& k : kKeys)
      if (!seen.count(k)) out.faults.push_back(where + ": key missing: " + k);
    Rule r;
    r.codename = seen["codename"];
    r.codefunc = seen["codefunc"];
    r.address = seen["address"];
    if (!IsWholeInteger(seen["group"], &r.group)) out.faults.push_back(where + ": group is no integer");
    if (!IsWholeInteger(seen["globalname"], &r.number))
      out.faults.push_back(where + ": globalname is no integer");
    if (!IsWholeInteger(seen["movable"], &r.movable) || (r.movable != 0 && r.movable != 1))
      out.faults.push_back(where + ": movable is neither 0 nor 1");
    if (r.codename.empty()) out.faults.push_back(where + ": empty codename");
    if (r.codefunc.empty()) out.faults.push_back(where + ": empty codefunc");
    out.rules.push_back(r);
  }
  return out;
}

const RuleFile& MainRules() {
  static const RuleFile file = LoadRules("coderule\\fanuc.cmt");
  return file;
}
const RuleFile& MacroRules() {
  static const RuleFile file = LoadRules("coderule\\fanuc_macro.cmt");
  return file;
}

std::string Faults(const std::vector<std::string>& faults) {
  std::string s;
  for (const auto& f : faults) s += f + "\n";
  return s;
}

// The letters the block scanner reads as address words and as code words.
const char* const kAddressLetters = "ABCEIJKLPQRUVWXYZ";
const char* const kCodeLetters = "DFHST";

TEST(RuleFiles, EncodingLineEndsAndRecordsAreSound) {
  for (const RuleFile* f : {&MainRules(), &MacroRules()}) {
    EXPECT_TRUE(f->faults.empty()) << Faults(f->faults);
    EXPECT_GT(f->rules.size(), 20u);
  }
}

TEST(RuleFiles, CodeNamesAreUniqueAndFoundByTheLookup) {
  for (const RuleFile* f : {&MainRules(), &MacroRules()}) {
    std::set<std::string> names;
    for (const Rule& r : f->rules) {
      EXPECT_TRUE(names.insert(r.codename).second) << "duplicate codename " << r.codename;
      // The lookup turns G1 into G01 and M3 into M03: a G or M code named
      // with one digit could never be found.
      if ((r.codename[0] == 'G' || r.codename[0] == 'M') && r.codename.size() > 1 &&
          std::isdigit(static_cast<unsigned char>(r.codename[1]))) {
        EXPECT_GE(r.codename.size(), 3u) << r.codename;
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(r.codename[2]))) << r.codename;
      }
      for (char c : r.codename)
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
                    c == '.')
            << "codename " << r.codename;
    }
  }
}

// ---------------------------------------------------------------------------
// Main rule file

struct Expected {
  const char* codename;
  int group;
  const char* codefunc;  // nullptr: any name
  int number;
};

// What a FANUC milling machinist writes, with the rule types, function names
// and rule numbers the interpreter's handlers act on.
const Expected kHandledCodes[] = {
    {"G00", 1, nullptr, 1},
    {"G01", 1, nullptr, 2},
    {"G02", 1, nullptr, 3},
    {"G03", 1, nullptr, 4},
    {"G04", 0, "GDwell", 4},
    {"G10", 0, "GPParam", 10},
    {"G15", 17, "GPolarCancel", 0},
    {"G16", 17, "GPolar", 1},
    {"G17", 2, "GPanelSelXY", 0},
    {"G18", 2, "GPanelSelZX", 1},
    {"G19", 2, "GPanelSelYZ", 2},
    {"G20", 6, nullptr, 0},
    {"G21", 6, nullptr, 1},
    {"G27", 0, "GRefPosReturnCheck", 27},
    {"G28", 0, "GRefPosReturn", 28},
    {"G29", 0, "GReturnFromRefPos", 29},
    {"G30", 0, "G2NDRefPosReturn", 30},
    {"G40", 7, "GCompDCancel", 2},
    {"G41", 7, "GCompDL", 0},
    {"G42", 7, "GCompDR", 1},
    {"G43", 8, "GCompHP", 0},
    {"G44", 8, "GCompHM", 1},
    {"G49", 8, "GCompHCancel", 2},
    {"G50", 11, "GSclCan", 0},
    {"G51", 11, "GScl", 1},
    {"G50.1", 22, "GMrrCan", 0},
    {"G51.1", 22, "GMrr", 1},
    {"G52", 0, "GLocalCrdSysSet", 52},
    {"G53", 0, "GMacSysSel", 0},
    {"G54", 14, nullptr, 1},
    {"G55", 14, nullptr, 2},
    {"G56", 14, nullptr, 3},
    {"G57", 14, nullptr, 4},
    {"G58", 14, nullptr, 5},
    {"G59", 14, nullptr, 6},
    {"G65", 0, "GMacro", 65},
    {"G66", 12, "GMacroModule", 1},
    {"G67", 12, "GMacroModuleCancel", 0},
    {"G68", 16, "GCSRot", 1},
    {"G69", 16, "GCSRCan", 0},
    {"G73", 9, nullptr, 73},
    {"G74", 9, nullptr, 74},
    {"G76", 9, nullptr, 76},
    {"G80", 9, nullptr, 80},
    {"G81", 9, nullptr, 81},
    {"G82", 9, nullptr, 82},
    {"G83", 9, nullptr, 83},
    {"G84", 9, nullptr, 84},
    {"G85", 9, nullptr, 85},
    {"G86", 9, nullptr, 86},
    {"G87", 9, nullptr, 87},
    {"G88", 9, nullptr, 88},
    {"G89", 9, nullptr, 89},
    {"G90", 3, "GABS", 1},
    {"G91", 3, "GREL", 0},
    {"G92", 0, "GPartZero", 92},
    {"G94", 5, nullptr, 1},
    {"G95", 5, nullptr, 0},
    {"G98", 10, "GR2IP", 1},
    {"G99", 10, "GR2R", 0},
};

TEST(MainRules, CommonCodesCarryTheirHandlerNumbers) {
  const RuleFile& f = MainRules();
  for (const Expected& e : kHandledCodes) {
    const Rule* r = f.Find(e.codename);
    ASSERT_NE(r, nullptr) << e.codename;
    EXPECT_EQ(r->group, e.group) << e.codename;
    EXPECT_EQ(r->number, e.number) << e.codename;
    if (e.codefunc) {
      EXPECT_EQ(r->codefunc, e.codefunc) << e.codename;
    }
  }
  // Compensation codes find their offset number behind these letters.
  for (const char* c : {"G40", "G41", "G42"}) EXPECT_EQ(f.Find(c)->address, "D") << c;
  for (const char* c : {"G43", "G44", "G49"}) EXPECT_EQ(f.Find(c)->address, "H") << c;
}

TEST(MainRules, SettingCodesAreNotReferenceReturns) {
  // Rule type 0 is a reference return when "movable" is set, else a setting
  // code; a reference-return function on a setting code (or the reverse)
  // would build no instruction at all.
  const std::set<std::string> returns = {"GRefPosReturnCheck", "GRefPosReturn", "G2NDRefPosReturn",
                                         "GReturnFromRefPos"};
  const std::set<std::string> settings = {"GPartZero", "GMacSysSel", "GLocalCrdSysSet",
                                          "GDwell",    "GMacro",     "GPParam"};
  for (const Rule& r : MainRules().rules) {
    if (r.group != 0) {
      EXPECT_EQ(r.movable, 0) << r.codename;
      continue;
    }
    if (returns.count(r.codefunc)) {
      EXPECT_EQ(r.movable, 1) << r.codename;
    } else {
      EXPECT_EQ(r.movable, 0) << r.codename;
      EXPECT_TRUE(settings.count(r.codefunc)) << r.codename << " has a type-0 function no handler knows";
    }
  }
}

TEST(MainRules, ModalFunctionsBelongToTheirHandlers) {
  // Each handler that selects by function name, with the names it knows.
  const std::map<int, std::set<std::string>> handlers = {
      {2, {"GPanelSelXY", "GPanelSelZX", "GPanelSelYZ"}},
      {3, {"GABS", "GREL"}},
      {7, {"GCompDL", "GCompDR", "GCompDCancel"}},
      {8, {"GCompHP", "GCompHM", "GCompHCancel"}},
      {10, {"GR2IP", "GR2R"}},
      {11, {"GScl", "GSclCan"}},
      {12, {"GMacroModule", "GMacroModuleCancel"}},
      {16, {"GCSRot", "GCSRCan"}},
      {17, {"GPolar", "GPolarCancel"}},
      {22, {"GMrr", "GMrrCan"}},
  };
  std::map<int, std::set<std::string>> found;
  for (const Rule& r : MainRules().rules) {
    const auto h = handlers.find(r.group);
    if (h == handlers.end()) continue;
    EXPECT_TRUE(h->second.count(r.codefunc)) << r.codename << " " << r.codefunc;
    EXPECT_TRUE(found[r.group].insert(r.codefunc).second) << "function twice: " << r.codefunc;
  }
  for (const auto& [type, names] : handlers) EXPECT_EQ(found[type], names) << "rule type " << type;
}

TEST(MainRules, RuleTypesAreKnown) {
  // Handled types, plus the ones used on purpose for recognised codes that no
  // handler acts on (-1 for N and O, which the scanner reads itself).
  const std::set<int> handled = {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 14, 16, 17, 22, 98, 100};
  const std::set<int> unhandled = {-1, 4, 13, 15, 99};
  std::set<std::string> funcs;
  for (const Rule& r : MainRules().rules) {
    EXPECT_TRUE(handled.count(r.group) || unhandled.count(r.group)) << r.codename << " type " << r.group;
    EXPECT_TRUE(funcs.insert(r.codefunc).second) << "function named twice: " << r.codefunc;
  }
  // Recognised without a handler: the exact stop and cutting modes.
  for (const char* c : {"G61", "G64", "G09"}) {
    const Rule* r = MainRules().Find(c);
    ASSERT_NE(r, nullptr) << c;
    EXPECT_TRUE(unhandled.count(r->group)) << c;
  }
}

TEST(MainRules, WorkOffsetsAndCyclesUseTheirNumbers) {
  for (const Rule& r : MainRules().rules) {
    if (r.group == 14) {
      // The rule number is a row of the 7-row work-offset table (1-6 = G54-G59).
      EXPECT_GE(r.number, 1) << r.codename;
      EXPECT_LE(r.number, 6) << r.codename;
      EXPECT_EQ(r.codename, "G" + std::to_string(53 + r.number));
    }
    if (r.group == 9) {
      EXPECT_EQ("G" + std::to_string(r.number), r.codename);
    }
    if (r.group == 1) {
      EXPECT_EQ(r.codename, "G0" + std::to_string(r.number - 1));
    }
  }
}

TEST(MainRules, MCodesSwitchOnTheirNumber) {
  const RuleFile& f = MainRules();
  for (const Rule& r : f.rules) {
    if (r.codename[0] != 'M') continue;
    EXPECT_EQ(r.group, 100) << r.codename;
    EXPECT_EQ("M" + std::string(r.number < 10 ? "0" : "") + std::to_string(r.number), r.codename);
  }
  for (const char* m : {"M00", "M01", "M02", "M03", "M04", "M05", "M06", "M08", "M09", "M19", "M29", "M30", "M98",
                        "M99"})
    EXPECT_NE(f.Find(m), nullptr) << m;
  EXPECT_EQ(f.Find("M03")->address, "S");
  EXPECT_EQ(f.Find("M04")->address, "S");
  EXPECT_EQ(f.Find("M06")->address, "T");
  EXPECT_EQ(f.Find("M98")->address, "P");
}

TEST(MainRules, LettersCarryTheirWordIndex) {
  const RuleFile& f = MainRules();
  const std::map<char, int> used = {{'X', 0}, {'Y', 1}, {'Z', 2}, {'I', 3}, {'J', 4},
                                    {'K', 5}, {'R', 6}, {'P', 7}, {'Q', 8}, {'L', 14}};
  for (const char* p = kAddressLetters; *p; ++p) {
    const Rule* r = f.Find(std::string(1, *p));
    ASSERT_NE(r, nullptr) << "address letter " << *p << " has no entry: its words would land in X";
    const auto u = used.find(*p);
    if (u != used.end()) {
      EXPECT_EQ(r->number, u->second) << *p;
    } else {
      EXPECT_LT(r->number, 0) << *p << " is used by no instruction and must be dropped";
    }
  }
  // Letter words: 9 T, 10 S, 11 F, 12 D, 13 H.
  const std::map<char, int> letters = {{'T', 9}, {'S', 10}, {'F', 11}, {'D', 12}, {'H', 13}};
  for (const auto& [c, n] : letters) {
    const Rule* r = f.Find(std::string(1, c));
    ASSERT_NE(r, nullptr) << c;
    EXPECT_EQ(r->group, 98) << c;
    EXPECT_EQ(r->number, n) << c;
  }
  const Rule* n = f.FindFunction("linenumber");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->codename, "N");
  const Rule* o = f.FindFunction("GPH");
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->codename, "O");
}

// ---------------------------------------------------------------------------
// Macro rule file

TEST(MacroRules, StatementKeywordsAreFoundByTheirFirstTwoLetters) {
  // The scanner looks a statement up by its first two characters.
  const RuleFile& f = MacroRules();
  const std::map<std::string, std::set<std::string>> statements = {
      {"IF", {"IF"}}, {"WH", {"WHILE", "WH"}}, {"EN", {"END"}}, {"GO", {"GOTO"}}};
  for (const auto& [two, funcs] : statements) {
    const Rule* r = f.FindPrefix(two);
    ASSERT_NE(r, nullptr) << two;
    EXPECT_TRUE(funcs.count(r->codefunc)) << two << " finds " << r->codename;
  }
  for (const char* w : {"GOTO", "GO", "WHILE", "END", "IF", "THEN", "DO"}) EXPECT_NE(f.Find(w), nullptr) << w;
  for (const char* w : {"EQ", "NE", "GT", "GE", "LT", "LE", "AND", "OR", "XOR"}) EXPECT_NE(f.Find(w), nullptr) << w;
}

TEST(MacroRules, FunctionsCarryTheirIds) {
  const RuleFile& f = MacroRules();
  const std::map<std::string, int> ids = {{"SIN", 0},  {"COS", 1},  {"TAN", 2},  {"ASIN", 3},  {"ACOS", 4},
                                          {"ATAN", 5}, {"ABS", 6},  {"SQRT", 7}, {"FIX", 10},  {"FUP", 11},
                                          {"ROUND", 12}, {"EXP", 13}};
  for (const auto& [name, id] : ids) {
    // The evaluator takes the first entry whose name begins with the keyword.
    const Rule* r = f.FindPrefix(name);
    ASSERT_NE(r, nullptr) << name;
    EXPECT_EQ(r->codename, name);
    EXPECT_EQ(r->group, 201) << name;
    EXPECT_EQ(r->number, id) << name;
  }
  for (const Rule& r : f.rules) {
    if (r.group != 201) continue;
    EXPECT_GE(r.number, 0) << r.codename;
    EXPECT_LE(r.number, 13) << r.codename;
    // In an expression "P" starts a variable, and one letter is no keyword.
    EXPECT_NE(r.codename[0], 'P') << r.codename;
    EXPECT_GE(r.codename.size(), 2u) << r.codename;
  }
}

TEST(MacroRules, ArgumentLettersFollowArgumentListOne) {
  const RuleFile& f = MacroRules();
  const std::map<char, int> args = {{'A', 1},  {'B', 2},  {'C', 3},  {'I', 4},  {'J', 5},  {'K', 6},
                                    {'D', 7},  {'E', 8},  {'F', 9},  {'H', 11}, {'Q', 17}, {'R', 18},
                                    {'S', 19}, {'T', 20}, {'U', 21}, {'V', 22}, {'W', 23}, {'X', 24},
                                    {'Y', 25}, {'Z', 26}, {'L', 0},  {'P', 100}};
  for (const auto& [c, n] : args) {
    const Rule* r = f.Find(std::string(1, c));
    ASSERT_NE(r, nullptr) << c;
    EXPECT_EQ(r->group, 98) << c;
    EXPECT_EQ(r->number, n) << c;
  }
  // Every letter the scanner reads after G65 must be in this table; a missing
  // one would land in index 0, the repeat count.
  for (const char* p = kAddressLetters; *p; ++p) EXPECT_NE(f.Find(std::string(1, *p)), nullptr) << *p;
  for (const char* p = kCodeLetters; *p; ++p) EXPECT_NE(f.Find(std::string(1, *p)), nullptr) << *p;
}

// ---------------------------------------------------------------------------
// Code tips

struct Tips {
  std::map<int, std::u16string> tip, fmt;
  std::vector<std::string> faults;
};

Tips LoadTips(const std::string& relative) {
  Tips out;
  const RecordFile file = ParseRecords(ReadShipped(relative));
  out.faults = file.faults;
  for (std::size_t n = 0; n < file.records.size(); ++n) {
    std::map<std::string, std::u16string> seen;
    for (const KeyValue& kv : file.records[n]) {
      // The reader keeps a key and a value of at most 255 characters.
      if (kv.value.size() > 255) out.faults.push_back(relative + ": value over 255 characters");
      if (!seen.emplace(kv.key, kv.value).second) out.faults.push_back(relative + ": key twice " + kv.key);
    }
    // A record that omits a key would inherit the previous record's value.
    if (seen.size() != 3 || !seen.count("nCodeName") || !seen.count("Tip") || !seen.count("Fmt")) {
      out.faults.push_back(relative + ": record " + std::to_string(n + 1) + " lacks nCodeName, Tip or Fmt");
      continue;
    }
    int number = -1;
    if (!IsWholeInteger(plat::WideToAscii(seen["nCodeName"]), &number) || number < 0 || number > 99) {
      out.faults.push_back(relative + ": bad nCodeName in record " + std::to_string(n + 1));
      continue;
    }
    if (out.tip.count(number)) out.faults.push_back(relative + ": G" + std::to_string(number) + " twice");
    out.tip[number] = seen["Tip"];
    out.fmt[number] = seen["Fmt"];
  }
  return out;
}

TEST(CodeTips, BothLanguagesCoverEveryGCodeOfTheRules) {
  const Tips en = LoadTips("coderule\\codetips_en.txt");
  const Tips cn = LoadTips("coderule\\codetips_cn.txt");
  EXPECT_TRUE(en.faults.empty()) << Faults(en.faults);
  EXPECT_TRUE(cn.faults.empty()) << Faults(cn.faults);

  std::set<int> ruleNumbers;
  for (const Rule& r : MainRules().rules) {
    if (r.codename.size() < 3 || r.codename[0] != 'G') continue;
    int n = 0;
    if (IsWholeInteger(r.codename.substr(1, 2), &n)) ruleNumbers.insert(n);
  }
  ASSERT_GT(ruleNumbers.size(), 50u);
  for (int n : ruleNumbers) {
    EXPECT_TRUE(en.tip.count(n)) << "no English tip for G" << n;
    EXPECT_TRUE(cn.tip.count(n)) << "no Chinese tip for G" << n;
  }
  std::set<int> enNumbers, cnNumbers;
  for (const auto& [n, t] : en.tip) enNumbers.insert(n);
  for (const auto& [n, t] : cn.tip) cnNumbers.insert(n);
  EXPECT_EQ(enNumbers, cnNumbers);
  EXPECT_EQ(enNumbers, ruleNumbers) << "a tip for a G code the rules do not list";

  for (const auto& [n, t] : en.tip) {
    EXPECT_FALSE(t.empty()) << n;
    for (char16_t c : t) EXPECT_LT(c, 0x80) << "non-ASCII in English tip of G" << n;
  }
  for (const auto& [n, t] : cn.tip) {
    bool hanzi = false;
    for (char16_t c : t) hanzi = hanzi || (c >= 0x4E00 && c <= 0x9FFF);
    EXPECT_TRUE(hanzi) << "Chinese tip of G" << n << " holds no Chinese";
  }
  // The format shows the code as written, with two digits.
  for (const Tips* t : {&en, &cn}) {
    for (const auto& [n, f] : t->fmt) {
      const std::u16string code = plat::AsciiToWide((n < 10 ? "G0" : "G") + std::to_string(n));
      EXPECT_EQ(f.compare(0, code.size(), code), 0) << "format of G" << n;
      EXPECT_EQ(f, en.fmt.at(n)) << "formats differ between languages for G" << n;
    }
  }
}

// ---------------------------------------------------------------------------
// Default data tables

TEST(DataTables, OffsetAndWorkZeroFilesHoldZeros) {
  const std::string offset = ReadShipped("fanuc\\offset.dat");
  const std::string zero = ReadShipped("fanuc\\partzero.dat");
  EXPECT_EQ(offset.size(), 401u * 4u * sizeof(double));
  EXPECT_EQ(zero.size(), 7u * 3u * sizeof(double));
  EXPECT_EQ(offset.find_first_not_of('\0'), std::string::npos);
  EXPECT_EQ(zero.find_first_not_of('\0'), std::string::npos);
}

int ExpectedKind(int variable) {
  if (variable == 0) return 0;
  if (variable <= 33) return 1;
  if ((variable >= 100 && variable <= 199) || (variable >= 500 && variable <= 999)) return 2;
  if (variable >= 1000) return 3;
  return 0;
}

TEST(DataTables, VariablesHaveOneLinePerNumberWithItsKind) {
  const std::string text = ReadShipped("fanuc\\variables.txt");
  ASSERT_FALSE(text.empty());
  ASSERT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) << "last line not ended";
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto lf = text.find('\n', start);
    ASSERT_NE(lf, std::string::npos);
    ASSERT_GT(lf, start) << "LF without CR";
    ASSERT_EQ(text[lf - 1], '\r') << "LF without CR at line " << lines.size();
    lines.push_back(text.substr(start, lf - 1 - start));
    start = lf + 1;
  }
  // The interpreter writes #4001, #4003, #4010, #4109 and #5003.
  ASSERT_GE(lines.size(), 5004u);
  EXPECT_EQ(lines.size(), 6000u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    // An empty line would repeat the previous variable.
    ASSERT_FALSE(line.empty()) << "#" << i;
    const auto blank = line.find(' ');
    ASSERT_NE(blank, std::string::npos) << "#" << i;
    const std::string value = line.substr(0, blank);
    const std::string kindText = line.substr(blank + 1);
    std::size_t used = 0;
    plat::ParseDouble(value, &used);
    EXPECT_EQ(used, value.size()) << "#" << i << " value " << value;
    int kind = -1;
    ASSERT_TRUE(IsWholeInteger(kindText, &kind)) << "#" << i;
    EXPECT_EQ(kind, ExpectedKind(static_cast<int>(i))) << "#" << i;
    for (char c : line) ASSERT_TRUE(c >= 0x20 && c < 0x7F) << "#" << i;
  }
}

// ---------------------------------------------------------------------------
// Sample programs

struct Word {
  char letter;
  std::string number;
};

// The words of one program line: the text before "(" cut into letter+number.
std::vector<Word> WordsOf(const std::string& line) {
  std::vector<Word> words;
  const std::string code = line.substr(0, line.find('('));
  for (std::size_t i = 0; i < code.size(); ++i) {
    if (!std::isalpha(static_cast<unsigned char>(code[i]))) continue;
    Word w{code[i], {}};
    std::size_t j = i + 1;
    while (j < code.size() && (std::isdigit(static_cast<unsigned char>(code[j])) || code[j] == '.' || code[j] == '-'))
      w.number.push_back(code[j++]);
    words.push_back(w);
    i = j - 1;
  }
  return words;
}

struct SampleCheck {
  int arcsByRadius = 0, arcsByCentre = 0, feedMoves = 0;
  std::set<std::string> codes;  // G and M codes as written
};

// Reads a sample as a control would (absolute XY positions of G17 programs)
// and checks that every arc is geometrically possible.
SampleCheck CheckSample(const std::string& name) {
  SampleCheck out;
  const std::string text = ReadShipped("samples\\" + name);
  EXPECT_FALSE(text.empty()) << name;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto lf = text.find('\n', start);
    if (lf == std::string::npos) {
      ADD_FAILURE() << name << ": last line not ended";
      break;
    }
    EXPECT_TRUE(lf > start && text[lf - 1] == '\r') << name << ": LF without CR at line " << lines.size() + 1;
    lines.push_back(text.substr(start, lf > start ? lf - 1 - start : 0));
    start = lf + 1;
  }
  EXPECT_GE(lines.size(), 3u);
  if (lines.size() < 3) return out;
  EXPECT_EQ(lines.front(), "%") << name;
  EXPECT_EQ(lines.back(), "%") << name;
  EXPECT_EQ(lines[1].substr(0, 1), "O") << name;

  const RuleFile& rules = MainRules();
  bool known = false;  // whether x and y hold the absolute position
  double x = 0, y = 0;
  int motion = 0;
  bool absolute = true;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << name << " line " << n + 1;
    const auto open = line.find('(');
    if (open != std::string::npos) {
      EXPECT_EQ(line.back(), ')') << name << " line " << n + 1;
    }
    std::map<char, std::string> word;
    bool home = false;
    for (const Word& w : WordsOf(line)) {
      const std::string code = w.letter + w.number;
      if (w.letter == 'G' || w.letter == 'M') {
        EXPECT_NE(rules.Find(code), nullptr) << name << " line " << n + 1 << ": " << code << " is not in the rules";
        out.codes.insert(code);
        if (code == "G00" || code == "G01" || code == "G02" || code == "G03") motion = code[2] - '0';
        if (code == "G90") absolute = true;
        if (code == "G91") absolute = false;
        if (code == "G28") home = true;
      } else if (w.letter != 'N' && w.letter != 'O') {
        EXPECT_NE(rules.Find(std::string(1, w.letter)), nullptr) << name << ": letter " << w.letter;
        word[w.letter] = w.number;
      }
    }
    if (home || !absolute) {
      known = false;
      continue;
    }
    const bool move = word.count('X') || word.count('Y') || word.count('Z');
    if (motion == 1 && move) ++out.feedMoves;
    const double sx = x, sy = y;
    const double ex = word.count('X') ? plat::ParseDouble(word['X']) : sx;
    const double ey = word.count('Y') ? plat::ParseDouble(word['Y']) : sy;
    if ((motion == 2 || motion == 3) && (move || word.count('I') || word.count('J'))) {
      EXPECT_TRUE(known) << name << " line " << n + 1 << ": arc from an unknown point";
      if (word.count('R')) {
        ++out.arcsByRadius;
        const double r = std::fabs(plat::ParseDouble(word['R']));
        EXPECT_LE(std::hypot(ex - sx, ey - sy), 2 * r + 1e-3) << name << " line " << n + 1;
      } else {
        ++out.arcsByCentre;
        const double cx = sx + plat::ParseDouble(word['I']);
        const double cy = sy + plat::ParseDouble(word['J']);
        EXPECT_NEAR(std::hypot(sx - cx, sy - cy), std::hypot(ex - cx, ey - cy), 1e-3) << name << " line " << n + 1;
        EXPECT_GT(std::hypot(sx - cx, sy - cy), 0.1) << name << " line " << n + 1;
      }
    }
    if (word.count('X') && word.count('Y')) known = true;
    x = ex;
    y = ey;
  }
  return out;
}

TEST(Samples, ProgramsAreCompleteAndTheirArcsClose) {
  const std::set<std::string> setup = {"G90", "G54", "G43", "M06", "M03", "M08", "M09", "M05", "M30"};
  const SampleCheck contour = CheckSample("contour_arcs.nc");
  const SampleCheck drill = CheckSample("drill_pattern.nc");
  const SampleCheck surface = CheckSample("surface_3d.nc");
  for (const SampleCheck* s : {&contour, &drill, &surface})
    for (const std::string& c : setup) EXPECT_TRUE(s->codes.count(c)) << c;
  EXPECT_GT(contour.arcsByRadius, 0);
  EXPECT_GT(contour.arcsByCentre, 0);
  EXPECT_TRUE(contour.codes.count("G41") && contour.codes.count("G40"));
  // The holes are drilled with canned cycles, and each cycle is cancelled.
  EXPECT_TRUE(drill.codes.count("G81") && drill.codes.count("G83") && drill.codes.count("G80"));
  EXPECT_GT(surface.feedMoves, 200);
  EXPECT_GT(surface.arcsByCentre, 5);
}

}  // namespace
