// Loading a large program: Create keeps the text and defers the lexing; the
// table it builds later is the one an immediate analysis gives. (Load speed
// is measured by the benchmark, not here.)
#include <algorithm>
#include <string>

#include "BufferTestUtil.h"
#include "mod_gcode/GCCode/CodeBuffer.h"
#include "platform/Numbers.h"

namespace quillet::test {
namespace {

constexpr int kLines = 100000;

// "N<i> G01 X<a>.<b> Y-<c>.<d> Z-1.5 F1200" lines with CR LF, about 30 bytes each.
std::string BigProgram(int lines) {
  std::string text = "O1234\r\n";
  text.reserve(static_cast<std::size_t>(lines) * 40);
  for (int i = 1; i < lines; ++i) {
    text += "N" + std::to_string(i) + " G01 X" + std::to_string(i % 500) + "." + std::to_string(i % 997) +
            " Y-" + std::to_string(i % 313) + "." + std::to_string(i % 89) + " F1200\r\n";
  }
  return text;
}

TEST(LargeLoad, DeferredAnalysisGivesTheEagerTable) {
  ScratchFolder dir;
  std::string file = dir.File("big.nc");
  WriteBytes(file, BigProgram(kLines));
  std::u16string path = Wide(file);

  CCodeBuffer buffer;
  ASSERT_EQ(buffer.Create(path.c_str(), u"O0000", 1), 'O');
  ASSERT_NE(buffer.GetText(), nullptr);

  // The text ends with a line end, so the table has one more, empty, line.
  EXPECT_EQ(buffer.LineCount(), kLines + 1);
  EXPECT_EQ(buffer.GetItem(1, 0), u"N1");
  EXPECT_EQ(buffer.GetItem(1, 2), u"X1.1");
  EXPECT_EQ(buffer.GetItem(kLines - 1, 3), u"Y-" + Wide(std::to_string((kLines - 1) % 313)) + u"." +
                                                Wide(std::to_string((kLines - 1) % 89)));
  CCodeAnalyzer eager;
  const CodeItemTable* expected = eager.Analyze(buffer.GetText());
  ASSERT_NE(expected, nullptr);
  const CodeItemTable* lazy = buffer.GetTable();
  ASSERT_NE(lazy, nullptr);
  EXPECT_TRUE(*lazy == *expected);
}

}  // namespace
}  // namespace quillet::test
