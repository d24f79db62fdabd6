// The executable's folder and its test override, and the resolution of the
// relative paths the system writes with backslashes and mixed case.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

namespace fs = std::filesystem;

// A tree of mixed-case names:
//   CodeRule/Fanuc.CMT, CodeRule/G81.txt, data/exact.txt, DATA/upper.txt,
//   Ärger/Öl.txt
class PathTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root = tmp.Path();
    fs::create_directories(root + "/CodeRule");
    plattest::WriteBytes(root + "/CodeRule/Fanuc.CMT", "rules");
    plattest::WriteBytes(root + "/CodeRule/G81.txt", "script");
    fs::create_directories(root + "/data");
    fs::create_directories(root + "/DATA");
    plattest::WriteBytes(root + "/data/exact.txt", "lower");
    plattest::WriteBytes(root + "/DATA/upper.txt", "upper");
    fs::create_directories(root + "/\xC3\x84rger");
    plattest::WriteBytes(root + "/\xC3\x84rger/\xC3\x96l.txt", "oil");
  }
  void TearDown() override { plat::SetExeDirOverride(""); }

  plattest::ScratchFolder tmp;
  std::string root;
};

TEST_F(PathTree, BackslashesAndCaseAreResolvedPerComponent) {
  EXPECT_EQ(plat::ResolvePath("coderule\\fanuc.cmt", root), root + "/CodeRule/Fanuc.CMT");
  EXPECT_EQ(plat::ResolvePath("CODERULE/g81.TXT", root), root + "/CodeRule/G81.txt");
  EXPECT_EQ(plat::ResolvePath(u"coderule\\FANUC.cmt", root), root + "/CodeRule/Fanuc.CMT");
  // Doubled separators and "." components change nothing.
  EXPECT_EQ(plat::ResolvePath("coderule\\\\.\\fanuc.cmt", root), root + "/CodeRule/Fanuc.CMT");
  // A base given with a trailing separator.
  EXPECT_EQ(plat::ResolvePath("coderule\\fanuc.cmt", root + "/"), root + "/CodeRule/Fanuc.CMT");
}

TEST_F(PathTree, AnExactNameWinsOverACaseInsensitiveMatch) {
  EXPECT_EQ(plat::ResolvePath("data\\exact.txt", root), root + "/data/exact.txt");
  EXPECT_EQ(plat::ResolvePath("DATA\\upper.txt", root), root + "/DATA/upper.txt");
}

TEST_F(PathTree, MissingComponentsAreKeptAsWritten) {
  EXPECT_EQ(plat::ResolvePath("coderule\\New Folder\\Fanuc.CMT", root), root + "/CodeRule/New Folder/Fanuc.CMT");
  EXPECT_EQ(plat::ResolvePath("CodeRule\\missing.TXT", root), root + "/CodeRule/missing.TXT");
  EXPECT_EQ(plat::ResolvePath("Nowhere\\coderule", root), root + "/Nowhere/coderule");
}

TEST_F(PathTree, AbsolutePathsIgnoreTheBase) {
  std::string winStyle = root + "\\CODERULE\\fanuc.cmt";
  EXPECT_EQ(plat::ResolvePath(winStyle, "/elsewhere"), root + "/CodeRule/Fanuc.CMT");
}

TEST_F(PathTree, ParentComponentsAndUtf16Names) {
  EXPECT_EQ(plat::ResolvePath("CodeRule\\..\\coderule\\fanuc.cmt", root), root + "/CodeRule/../CodeRule/Fanuc.CMT");
  EXPECT_EQ(plat::ResolvePath(u"\u00C4rger\\\u00D6l.txt", root), root + "/\xC3\x84rger/\xC3\x96l.txt");
  // Case folding is ASCII only: a different non-ASCII letter case is a miss.
  EXPECT_EQ(plat::ResolvePath(u"\u00E4rger", root), root + "/\xC3\xA4rger");
}

TEST_F(PathTree, ExeDirOverrideAndExePath) {
  plat::SetExeDirOverride(root + "//");
  EXPECT_EQ(plat::ExeDir(), root);
  EXPECT_EQ(plat::ExePath("coderule\\fanuc.cmt"), root + "/CodeRule/Fanuc.CMT");
  EXPECT_EQ(plat::ExePath(u"CODERULE\\G81.TXT"), root + "/CodeRule/G81.txt");
  // An empty base also means the executable's folder.
  EXPECT_EQ(plat::ResolvePath("coderule", ""), root + "/CodeRule");
}

TEST(ExeDir, RealFolderHoldsThisProgram) {
  plat::SetExeDirOverride("");
  const std::string dir = plat::ExeDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '/');
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  EXPECT_EQ(dir, fs::path(self).parent_path().string());
  // The build copies the data files beside the executables.
  EXPECT_TRUE(fs::exists(plat::ExePath("coderule\\fanuc.cmt")));
}

TEST(PathParts, MixedSeparators) {
  EXPECT_EQ(plat::FileNamePart("a\\b/c.txt"), "c.txt");
  EXPECT_EQ(plat::FolderPart("a\\b/c.txt"), "a\\b");
  EXPECT_EQ(plat::FileNamePart("c.txt"), "c.txt");
  EXPECT_EQ(plat::FolderPart("c.txt"), "");
  EXPECT_EQ(plat::FileNamePart("dir\\"), "");
}

}  // namespace
