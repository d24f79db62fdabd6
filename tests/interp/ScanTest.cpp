// Reading one line: letters, numbers, comments, statements and the words
// that wait for the line's motion.
#include "InterpFixture.h"

namespace quillet::test {
namespace {

using Scan = InterpTest;

TEST_F(Scan, LowerCaseLettersReadAsUpperCase) {
  Parse(u"g1 x10 y5 z-2\n");
  ExpectPoint(EndOfLine(0), 10, 5, -2);
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(0))->GetKind(), kKindLine);
}

TEST_F(Scan, CommentsAndBlockEndHideTheRestOfTheLine) {
  Parse(u"N10 G01 X5 (Y9 RAPID)\nX1; Y2\nM06 (TOOL 5)\n");
  ExpectPoint(EndOfLine(0), 5, 0, 0);
  EXPECT_EQ(BlockOfLine(0)->GetSequenceNumber(), 10);
  ExpectPoint(EndOfLine(1), 1, 0, 0);
  // The tool number is not read from the comment.
  EXPECT_EQ(m_program->GetT(), 0);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(Scan, AddressWordsBeforeTheMotionCodeWaitForIt) {
  Parse(u"X3 Y4 G01 Z-1\n");
  ExpectPoint(EndOfLine(0), 3, 4, -1);
}

TEST_F(Scan, WordsWaitingForAMotionFollowTheLinesPlane) {
  // Y and Z come before G18 in the line; they must still land on the Y and
  // Z axes of the ZX-plane move.
  Parse(u"G01 X1 Y2 Z3\nY5 Z7 G18 X9\n");
  ExpectPoint(EndOfLine(1), 9, 5, 7);
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(1))->GetPlaneCode(), 1);
}

TEST_F(Scan, PlaneChangeBetweenMovesKeepsTheMachinePosition) {
  Parse(u"G17 G01 X1 Y2 Z3\nG18 G01 X4\nG19 G01 Y6\nG17 Z8\n");
  ExpectPoint(EndOfLine(1), 4, 2, 3);
  ExpectPoint(EndOfLine(2), 4, 6, 3);
  ExpectPoint(EndOfLine(3), 4, 6, 8);
}

TEST_F(Scan, LetterFollowedByBlankIsAnUnknownKeyword) {
  Parse(u"G 1\nX 10\n");
  auto m = Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0], u"Syntax error : G  : identifier not found");
  EXPECT_EQ(m[1], u"error :X  : Invalid macro instruction.");
}

TEST_F(Scan, GotoJumpsToTheLastLineWithThatNumber) {
  Parse(u"GOTO 20\nN20 G01 X1\nN20 G01 X2\nG01 Y3\n");
  // Line 1 is jumped over: the first N20 is replaced by the later one.
  EXPECT_EQ(BlockOfLine(1), nullptr);
  ExpectPoint(EndOfLine(2), 2, 0, 0);
  ExpectPoint(EndOfLine(3), 2, 3, 0);
}

TEST_F(Scan, GotoWithoutTargetOrWithAnotherWordIsReported) {
  Parse(u"GOTO\nGOTO (10)\nGOSUB 5\n");
  auto m = Messages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0], u"Syntax error : Sequence number not found");
  EXPECT_EQ(m[1], u"Syntax error : Sequence number not found");
  EXPECT_EQ(m[2], u"Syntax error : GOSUB : identifier not found");
}

TEST_F(Scan, EndlessJumpStopsAtTheBlockLimit) {
  CGCProgram::SetExecutedBlockLimit(500);
  Parse(u"N10 G01 X1\nGOTO 10\n");
  EXPECT_EQ(m_program->Blocks().size(), 500u);
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find(u"Program stopped: more than 500 blocks executed"), std::u16string::npos);
}

TEST_F(Scan, ProgramEndStopsTheParse) {
  Parse(u"G00 X1\nM30\nG00 X5\n%\n");
  EXPECT_EQ(BlockOfLine(2), nullptr);
  EXPECT_TRUE(BlockOfLine(1)->IsEndOfProgram());
  Parse(u"G00 X1\nM02\nG00 X5\n");
  EXPECT_EQ(BlockOfLine(2), nullptr);
}

TEST_F(Scan, OverlongNumberIsRefusedNotCut) {
  Parse(u"X1234567890123456789012345\n");
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind(u"Number too long", 0), 0u);
}

TEST_F(Scan, LongNumberWithinTheLimitKeepsAllItsDigits) {
  Parse(u"G01 X12345.678901234\n");
  EXPECT_NEAR(EndOfLine(0).x, 12345.678901234, 1e-9);
}

TEST_F(Scan, BracketWordIsAnExpressionWithoutAVariable) {
  Parse(u"G01 X[1+2] Y[2*[3-1]]\n");
  ExpectPoint(EndOfLine(0), 3, 4, 0);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(Scan, CodeWordTakesItsNumberFromAVariable) {
  Parse(u"G#1 X5\n");
  // #1 is 0 in a fresh frame: G00.
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(0))->GetKind(), kKindRapid);
  Parse(u"G#9999 X5\n");
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], u"error : variable #9999 does not exist");
}

}  // namespace
}  // namespace quillet::test
