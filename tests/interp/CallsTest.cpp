// Sub-program and macro calls through files in the program's folder.
#include <filesystem>
#include <fstream>

#include "InterpFixture.h"
#include "mod_gcode/GCCode/Calls.h"

namespace quillet::test {
namespace {

class Calls : public InterpTest {
 protected:
  void SetUp() override {
    InterpTest::SetUp();
    m_dir = s_folder + "/progs";
    std::filesystem::create_directories(m_dir);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(m_dir + "/" + name, std::ios::binary) << text;
  }
  std::string m_dir;
};

TEST(SubProgramCall, SplitsNumberAndRepeatCount) {
  struct Case {
    std::u16string in, number;
    int count;
  } cases[] = {{u"1234", u"1234", 1}, {u"21234", u"1234", 2}, {u"12", u"0012", 1},
               {u"1234L3", u"1234", 3}, {u"P1234", u"1234", 1}, {u"00001234", u"1234", 0}};
  for (const Case& c : cases) {
    std::u16string text = c.in;
    int count = -1;
    SplitSubProgramCall(text, count);
    EXPECT_EQ(text, c.number);
    EXPECT_EQ(count, c.count);
  }
}

TEST_F(Calls, SubProgramRunsInPlaceAndTheCallerContinuesFromItsEnd) {
  Write("O1000.cnc", "G91 G01 X1 Y2\nM99\n");
  ParseIn(m_dir, u"G90 G00 X10 Y10\nM98 P1000 L2 (CALL L9)\nG00 Z5\n");
  CGCBlock* call = BlockOfLine(1);
  ASSERT_NE(call, nullptr);
  ASSERT_EQ(call->InstructionCount(), 2u);
  auto* sub = dynamic_cast<CGCInstructionSub*>(call->InstructionAt(1));
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->GetKind(), kKindOpenSub);
  // Two incremental steps of (1, 2); then the caller's Z move starts there.
  ExpectPoint(EndOfLine(2), 12, 14, 5);
  EXPECT_EQ(sub->Child()->Name(), u"O1000");
  EXPECT_TRUE(Messages().empty());
  // The children's moves join the caller's path list of the call block.
  PathGroups* paths = m_program->GetCutterPath(false);
  std::size_t callIndex = 0;
  for (std::size_t i = 0; i < m_program->Blocks().size(); ++i)
    if (m_program->Blocks()[i] == call) callIndex = i;
  ASSERT_LT(callIndex, paths->size());
  EXPECT_EQ((*paths)[callIndex].size(), 2u);
}

TEST_F(Calls, MissingSubProgramIsReportedAndNotCreated) {
  ParseIn(m_dir, u"M98 P4321\n");
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], u"Sub-program O4321 not found");
  EXPECT_FALSE(std::filesystem::exists(m_dir + "/O4321.cnc"));
}

TEST_F(Calls, SelfCallingSubProgramStopsAtTheNestingBound) {
  Write("O0007.cnc", "G91 G01 X1\nM98 P7\nM99\n");
  ParseIn(m_dir, u"M98 P7\n");
  bool reported = false;
  std::function<void(const CGCProgram&)> scan = [&](const CGCProgram& p) {
    for (CGCBlock* b : p.Blocks()) {
      if (const auto* msgs = b->GetMessagesIfAny())
        for (const auto& t : *msgs)
          if (t == u"Sub-program O0007: calls nested too deeply") reported = true;
      for (std::size_t i = 0; i < b->InstructionCount(); ++i)
        if (auto* sub = dynamic_cast<CGCInstructionSub*>(b->InstructionAt(i)))
          if (sub->Child()) scan(*sub->Child());
    }
  };
  scan(*m_program);
  EXPECT_TRUE(reported);
}

TEST_F(Calls, MacroCallSetsArgumentsAsLocals) {
  // #24 is X, #26 is Z in the macro's argument table.
  Write("O9010.cnc", "G01 X#24 Z#26\nM99\n");
  ParseIn(m_dir, u"G65 P9010 X4 Z-2\nG01 Y3\n");
  EXPECT_TRUE(Messages().empty());
  ExpectPoint(EndOfLine(1), 4, 3, -2);
}

TEST_F(Calls, ModalMacroRunsAfterEveryMoveUntilCancelled) {
  Write("O9020.cnc", "G91 G01 Z-2\nZ2\nG90\nM99\n");
  ParseIn(m_dir, u"G66 P9020\nG00 X10 Y0\nX20\nG67\nX30\n");
  EXPECT_TRUE(Messages().empty());
  PathGroups* paths = m_program->GetCutterPath(false);
  auto listOf = [&](int line) -> const CPathList* {
    for (std::size_t i = 0; i < m_program->Blocks().size() && i < paths->size(); ++i)
      if (m_program->Blocks()[i] == BlockOfLine(line)) return &(*paths)[i];
    return nullptr;
  };
  // The move, then the macro's two feed moves down and up at the move's end.
  for (int line : {1, 2}) {
    const CPathList* list = listOf(line);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 3u);
    const double x = line == 1 ? 10 : 20;
    ExpectPoint((*list)[1]->Point(0), x, 0, 0);
    ExpectPoint((*list)[1]->Point(1), x, 0, -2);
    ExpectPoint((*list)[2]->Point(1), x, 0, 0);
  }
  const CPathList* after = listOf(4);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->size(), 1u);
  ExpectPoint(EndOfLine(4), 30, 0, 0);
}

}  // namespace
}  // namespace quillet::test
