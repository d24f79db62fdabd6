// Paths and whole files: the resolution of the relative paths the system
// writes with backslashes and mixed case, reading that never creates,
// text-mode line ends both ways without doubling a CR, and atomic
// replacement that leaves the old file whole when the write fails.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

TEST(ResolvePath, BackslashesAndCaseAreResolvedPerComponent) {
  plattest::ScratchFolder tmp;
  const std::string root = tmp.Path();
  plattest::WriteBytes(root + "/CodeRule/Fanuc.CMT", "rules");
  plattest::WriteBytes(root + "/data/exact.txt", "lower");
  plattest::WriteBytes(root + "/DATA/upper.txt", "upper");
  plattest::WriteBytes(root + "/\xC3\x84rger/\xC3\x96l.txt", "oil");
  const std::pair<std::string, std::string> rows[] = {
      {"coderule\\fanuc.cmt", "/CodeRule/Fanuc.CMT"},
      {"CODERULE/\\.\\FANUC.cmt", "/CodeRule/Fanuc.CMT"},          // doubled separators and "."
      {"data\\exact.txt", "/data/exact.txt"},                        // an exact name wins
      {"coderule\\New Folder\\Fanuc.CMT", "/CodeRule/New Folder/Fanuc.CMT"},  // missing: as written
      {"\xC3\x84rger\\\xC3\x96l.txt", "/\xC3\x84rger/\xC3\x96l.txt"},
      {"\xC3\xA4rger", "/\xC3\xA4rger"},  // case folding is ASCII only
  };
  for (const auto& [path, real] : rows) EXPECT_EQ(plat::ResolvePath(path, root + "/"), root + real) << path;
  // An absolute path ignores the base.
  EXPECT_EQ(plat::ResolvePath(root + "\\CODERULE\\fanuc.cmt", "/elsewhere"), root + "/CodeRule/Fanuc.CMT");

  plat::SetExeDirOverride(root + "//");
  EXPECT_EQ(plat::ExePath(u"CODERULE\\FANUC.CMT"), root + "/CodeRule/Fanuc.CMT");
  plat::SetExeDirOverride("");
}

TEST(TextFiles, MissingFilesAreNotCreatedAndLineEndsConvertBothWays) {
  plattest::ScratchFolder tmp;
  EXPECT_FALSE(plat::ReadFileBytes(tmp.File("missing.dat")).has_value());
  EXPECT_FALSE(plat::ReadTextFile(tmp.File("sub/missing.txt")).has_value());
  EXPECT_FALSE(plat::ReadFileBytes(tmp.Path()).has_value());  // a folder is no file
  EXPECT_EQ(plattest::Entries(tmp.Path()), 0);
  plattest::WriteBytes(tmp.File("t.txt"), "a\r\nb\r\r\nc\n\rd\re\r");
  // CR CR LF keeps its first CR; a lone CR and a trailing CR stay.
  EXPECT_EQ(plat::ReadTextFile(tmp.File("t.txt")), std::string("a\nb\r\nc\n\rd\re\r"));
  // Written as text, LF becomes CR LF without doubling a CR.
  EXPECT_EQ(plat::ToCrLf("a\nb\r\nc\n\n"), "a\r\nb\r\nc\r\n\r\n");
  EXPECT_EQ(plat::ToCrLf(plat::ToCrLf("p\nq\n")), "p\r\nq\r\n");
}

TEST(WriteAtomic, CreatesFoldersKeepsPermissionsAndLeavesNoTemporaries) {
  plattest::ScratchFolder tmp;
  const std::string path = tmp.File("fanuc/sub/offset.dat");
  ASSERT_TRUE(plat::WriteFileAtomic(path, "first"));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(plat::WriteFileAtomic(path, std::string("\0second", 7)));
  EXPECT_EQ(plattest::ReadBytes(path), std::string("\0second", 7));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(plattest::Entries(tmp.File("fanuc/sub")), 1);  // no temporary left
}

TEST(WriteAtomic, FailedWritesAreReportedAndLeaveTheOldFileWhole) {
  plattest::ScratchFolder tmp;
  const std::string path = tmp.File("offset.dat");
  const std::string old(2000, 'o');
  plattest::WriteBytes(path, old);
  plattest::WriteBytes(tmp.File("folder/x"), "");
  EXPECT_FALSE(plat::WriteFileAtomic(tmp.File("folder"), "x"));
  EXPECT_FALSE(plat::WriteFileAtomic(path + "/sub/x.dat", "x"));          // a file where a folder must be
  EXPECT_FALSE(plat::WriteFileAtomic(tmp.File("new/x.dat"), "x", false));  // folders not to be created
  // A file-size limit makes writes beyond it fail with EFBIG (SIGXFSZ ignored).
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  std::string error;
  const bool written = plat::WriteFileAtomic(path, std::string(12832, 'n'), true, &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(plattest::ReadBytes(path), old);
  EXPECT_EQ(plattest::Entries(tmp.Path()), 2);  // "folder" and "offset.dat", no temporary
}

}  // namespace
