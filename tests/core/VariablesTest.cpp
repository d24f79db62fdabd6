// Macro variables: the lines of "variables.txt", exact storage of values,
// the display text of a variable, and numbers outside the table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mod_gcode/GCCode/DataTables.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

using coretest::Exists;
using coretest::ReadBytes;
using coretest::ScratchFolder;
using coretest::WriteBytes;

struct Var {
  double value;
  int kind;
};

std::vector<Var> Read(const std::string& fileBytes) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("variables.txt"), fileBytes);
  CVariables vars;
  vars.Load(tmp.File("variables.txt"));
  std::vector<Var> out;
  for (int i = 0; i < vars.Count(); ++i) out.push_back({vars.GetVariable(i)->GetValue(), vars.GetVariable(i)->GetKind()});
  return out;
}

void ExpectVars(const std::vector<Var>& got, const std::vector<Var>& expected, const char* what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].value, expected[i].value) << what << " #" << i;
    EXPECT_EQ(got[i].kind, expected[i].kind) << what << " #" << i;
  }
}

TEST(VariablesFile, EveryLineCountsTheLastOneWithoutALineEndToo) {
  ExpectVars(Read("1.5 2\n7 3"), {{1.5, 2}, {7.0, 3}}, "LF, last unended");
  ExpectVars(Read("1.5 2\r\n7 3\r\n"), {{1.5, 2}, {7.0, 3}}, "CR LF");
  ExpectVars(Read(""), {}, "empty file");
  ExpectVars(Read("\n"), {{0.0, 0}}, "one empty line");
}

TEST(VariablesFile, AWordThatCannotBeReadKeepsThePreviousLines) {
  // An empty line repeats the variable before it; a line without a kind
  // keeps the previous kind.
  ExpectVars(Read("1.5 2\n\n7\n  \t\n"), {{1.5, 2}, {1.5, 2}, {7.0, 2}, {7.0, 2}}, "carried");
  // Before the first line: an empty value word and kind 0.
  ExpectVars(Read("\n3.25 1\n"), {{0.0, 0}, {3.25, 1}}, "first empty");
  ExpectVars(Read("-4 x\n"), {{-4.0, 0}}, "kind not a number");
}

TEST(VariablesFile, KindsOutsideZeroToThreeBecomeKindZero) {
  auto vars = Read("null 0\n2.5 9\n-1 -1\n8 1\n0.5 3\n");
  ExpectVars(vars, {{0.0, 0}, {2.5, 0}, {-1.0, 0}, {8.0, 1}, {0.5, 3}}, "kinds");
  ScratchFolder tmp;
  WriteBytes(tmp.File("v.txt"), "1 0\n1 1\n1 2\n1 3\n1 7\n");
  CVariables table;
  table.Load(tmp.File("v.txt"));
  const char16_t* names[] = {u"null", u"Local", u"Common", u"System", u"null"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(table.GetTypeText(i, 0), WString(names[i])) << i;
}

TEST(VariablesFile, AnOverlongWordDoesNotOverflowAndTheKindIsStillRead) {
  std::string longWord(5000, '1');
  auto vars = Read(longWord + " 2\n3 3\n");
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].kind, 2);
  EXPECT_GT(vars[0].value, 1e120);
  EXPECT_EQ(vars[1].value, 3.0);
}

TEST(VariablesFile, AMissingFileGivesAnEmptyTableAndIsNotCreated) {
  ScratchFolder tmp;
  CVariables vars;
  vars.Load(tmp.File("fanuc/variables.txt"));
  EXPECT_EQ(vars.Count(), 0);
  EXPECT_TRUE(vars.Store());
  EXPECT_FALSE(Exists(tmp.File("fanuc")));
}

TEST(VariablesFile, StoredValuesReadBackExactly) {
  ScratchFolder tmp;
  const std::string path = tmp.File("variables.txt");
  WriteBytes(path, "0 2\n0 2\n0 3\n0 1\n0 0\n0 2\n");
  const double values[] = {0.1, 1.0 / 3.0, -1e-300, 123456789.123456789, 2.5, -0.0};
  {
    CVariables vars;
    vars.Load(path);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(vars.SetValue(i, 0, values[i]));
    ASSERT_TRUE(vars.Store());
  }
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes.find("0,"), std::string::npos);
  EXPECT_NE(bytes.find("2.5 0\r\n"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("\r\r"), std::string::npos);
  CVariables back;
  back.Load(path);
  ASSERT_EQ(back.Count(), 6);
  const int kinds[] = {2, 2, 3, 1, 0, 2};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(back.GetValue(i, 0), values[i]) << i;
    EXPECT_EQ(back.GetVariable(i)->GetKind(), kinds[i]) << i;
  }
}

TEST(VariablesFile, StoreWritesOneLinePerVariableAndOnlyAfterAChange) {
  ScratchFolder tmp;
  const std::string path = tmp.File("variables.txt");
  WriteBytes(path, "1.5 2\n\n7 3");  // no final line end, an empty line
  CVariables vars;
  vars.Load(path);
  EXPECT_TRUE(vars.Store());
  EXPECT_EQ(ReadBytes(path), "1.5 2\n\n7 3");  // unchanged: not rewritten
  vars.SetValue(0, 0, 2.5);
  ASSERT_TRUE(vars.Store());
  EXPECT_EQ(ReadBytes(path), "2.5 2\r\n1.5 2\r\n7 3\r\n");
}

TEST(Variables, NumbersOutsideTheTableReadZeroAndWriteNothing) {
  CVariables vars(33);
  EXPECT_EQ(vars.Count(), 33);
  EXPECT_EQ(vars.GetVariable(32)->GetKind(), 1);
  EXPECT_EQ(vars.GetVariable(33), nullptr);
  EXPECT_EQ(vars.GetVariable(-1), nullptr);
  EXPECT_FALSE(vars.SetValue(33, 0, 1.0));
  EXPECT_FALSE(vars.SetValue(-5, 0, 1.0));
  EXPECT_EQ(vars.GetValue(5000, 0), 0.0);
  EXPECT_EQ(vars.GetTypeText(5000, 0), u"");
  EXPECT_EQ(vars.GetValueText(5000, 0), u"");
  EXPECT_EQ(vars.Count(), 33);
  CVariables none(-3);
  EXPECT_EQ(none.Count(), 0);
}

TEST(Variables, DisplayTextIsPrintfFCutToSevenCharacters) {
  CVariableLocal v;
  v.SetValue(1.5);
  EXPECT_EQ(v.Text(), u"1.50000");
  v.SetValue(-0.5);
  EXPECT_EQ(v.Text(), u"-0.5000");
  v.SetValue(0.0);
  EXPECT_EQ(v.Text(), u"0.00000");
  v.SetValue(123456.5);
  EXPECT_EQ(v.Text(), u"123456.");
  v.SetValue(2.0000004);
  EXPECT_EQ(v.Text(), u"2.00000");
  CVariables vars(2);
  vars.SetValue(1, 0, -2.25);
  EXPECT_EQ(vars.GetValueText(1, 0), u"-2.2500");
  EXPECT_EQ(vars.GetTypeText(1, 0), u"Local");
}

TEST(Variables, SetFromTextNullChangesNothing) {
  CVariableCommon v;
  v.SetValue(4.5);
  for (const char16_t* text : {u"null", u"NULL", u"Null"}) {
    EXPECT_FALSE(v.SetFromText(text));
    EXPECT_EQ(v.GetValue(), 4.5);
    EXPECT_EQ(v.Text(), u"4.50000");
  }
  EXPECT_TRUE(v.SetFromText(u" -12.5"));
  EXPECT_EQ(v.GetValue(), -12.5);
  EXPECT_EQ(v.GetKind(), 2);
  EXPECT_EQ(WString(v.GetKindName()), u"Common");
  v.SetFromAnsi("7.25abc");
  EXPECT_EQ(v.GetValue(), 7.25);
  CVariableSystem s;
  EXPECT_EQ(WString(s.GetKindName()), u"System");
  CVariableBase b;
  EXPECT_EQ(WString(b.GetKindName()), u"null");
}

}  // namespace
}  // namespace quillet
