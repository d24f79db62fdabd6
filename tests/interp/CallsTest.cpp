// Sub-program calls through files in the program's folder.
#include <filesystem>
#include <fstream>
#include <functional>

#include "ProgramFixture.h"
#include "mod_gcode/instructions/Calls.h"

namespace quillet::test {
namespace {

class Calls : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    std::filesystem::create_directories(m_dir);
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(m_dir + "/" + name, std::ios::binary) << text;
  }
  std::size_t PolylinesOfLine(int line) {
    const CPathList* list = ListOfLine(*m_program->GetCutterPath(false), line);
    return list ? list->size() : 0;
  }
  std::string m_dir = s_folder + "/progs";
};

// "M98 P<number>" may hold the repeat count before the four digits.
TEST(SubProgramCall, SplitsNumberAndRepeatCount) {
  const std::tuple<std::u16string, std::u16string, int> cases[] = {{u"1234", u"1234", 1},  {u"21234", u"1234", 2},
                                                                   {u"12", u"0012", 1},    {u"1234L3", u"1234", 3},
                                                                   {u"P1234", u"1234", 1}, {u"00001234", u"1234", 0}};
  for (auto [text, number, count] : cases) {
    int n = -1;
    SplitSubProgramCall(text, n);
    EXPECT_EQ(text, number);
    EXPECT_EQ(n, count);
  }
}

TEST_F(Calls, SubProgramRunsInPlaceAndTheCallerContinuesFromItsEnd) {
  Write("O1000.cnc", "G91 G01 X1 Y2\nM99\n");
  ParseIn(m_dir, u"G90 G00 X10 Y10\nM98 P1000 L2 (CALL L9)\nG00 Z5\n");
  EXPECT_TRUE(Messages().empty());
  // Two incremental steps of (1, 2); then the caller's Z move starts there.
  ExpectPoint(EndOfLine(2), 12, 14, 5);
  // The children's moves join the caller's path list of the call block.
  EXPECT_EQ(PolylinesOfLine(1), 2u);
}

TEST_F(Calls, MissingSubProgramIsReportedAndNotCreated) {
  ParseIn(m_dir, u"M98 P4321\n");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Sub-program O4321 not found"});
  EXPECT_FALSE(std::filesystem::exists(m_dir + "/O4321.cnc"));
}

TEST_F(Calls, SelfCallingSubProgramStopsAtTheNestingBound) {
  Write("O0007.cnc", "G91 G01 X1\nM98 P7\nM99\n");
  ParseIn(m_dir, u"M98 P7\n");
  const std::u16string bound = u"Sub-program O0007: calls nested too deeply";
  std::function<bool(const CGCProgram&)> reported = [&](const CGCProgram& p) {
    for (CGCBlock* b : p.Blocks()) {
      const auto* m = b->GetMessagesIfAny();
      if (m && std::find(m->begin(), m->end(), bound) != m->end()) return true;
      for (std::size_t i = 0; i < b->InstructionCount(); ++i)
        if (auto* sub = dynamic_cast<CGCInstructionSub*>(b->InstructionAt(i)); sub && sub->Child())
          if (reported(*sub->Child())) return true;
    }
    return false;
  };
  EXPECT_TRUE(reported(*m_program));
}

}  // namespace
}  // namespace quillet::test
