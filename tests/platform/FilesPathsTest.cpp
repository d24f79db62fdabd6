// Paths and whole files: the resolution of the relative paths the system
// writes with backslashes and mixed case, reading that never creates,
// text-mode line ends both ways without doubling a CR, and atomic
// replacement that leaves the old file whole when the write fails and keeps
// the file's permissions and links.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <string>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "tests/platform/PlatformTestUtil.h"
#include "tests/support/OrdinaryUser.h"

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

using quillet::test::RunAsOrdinaryUser;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A save writes the file that is there, as the user set it up: a file the
// user may not write stays as it is, a link stays a link, permissions and
// hard links stay, and a folder without room for a temporary file gets an
// in-place rewrite. Each case runs as an ordinary user.
TEST(WriteAtomic, KeepsPermissionsLinksAndRefusesWhatTheUserMayNotWrite) {
  struct Case {
    const char* name;
    mode_t fileMode;      // of "real.nc" before the write
    mode_t folderMode;    // of the folder holding it
    const char* writeTo;  // the name written: the file, a link to it, or a hard link
    bool written;         // reported as written
  };
  const Case cases[] = {
      {"read-only file", 0444, 0777, "real.nc", false},
      {"symbolic link", 0640, 0777, "link.nc", true},
      {"link in another folder", 0604, 0777, "other/up.nc", true},
      {"hard link", 0600, 0777, "hard.nc", true},
      {"permissions kept past the umask", 0666, 0777, "real.nc", true},
      {"folder without room for a temporary", 0666, 0555, "real.nc", true},
      {"read-only file in such a folder", 0444, 0555, "real.nc", false},
  };
  const std::string old = "O1\r\nG1 X1\r\nM30\r\n", fresh = "O1\r\nG1 X2\r\nM30\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plattest::ScratchFolder tmp;
    const std::string dir = tmp.File("work"), real = dir + "/real.nc";
    plattest::WriteBytes(real, old);
    ASSERT_EQ(::symlink("real.nc", (dir + "/link.nc").c_str()), 0);
    ASSERT_EQ(::link(real.c_str(), (dir + "/hard.nc").c_str()), 0);
    plattest::WriteBytes(dir + "/other/keep", "");
    ASSERT_EQ(::symlink("../real.nc", (dir + "/other/up.nc").c_str()), 0);
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 0755), 0);
    if (::geteuid() == 0) {  // the files belong to the user who writes them
      for (const char* name : {"", "/real.nc", "/other", "/other/keep"})
        ASSERT_EQ(::chown((dir + name).c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::chmod((dir + "/other").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(real.c_str(), c.fileMode), 0);
    ASSERT_EQ(::chmod(dir.c_str(), c.folderMode), 0);
    const std::string target = dir + "/" + c.writeTo;
    std::string error;
    const bool written = RunAsOrdinaryUser(
        [&](std::string* why) {
          ::umask(022);
          return plat::WriteFileAtomic(target, fresh, false, why);
        },
        &error);
    ::chmod(dir.c_str(), 0755);
    EXPECT_EQ(written, c.written) << error;
    EXPECT_EQ(error.empty(), c.written) << error;
    EXPECT_EQ(plattest::ReadBytes(real), c.written ? fresh : old);
    EXPECT_EQ(plattest::ReadBytes(dir + "/hard.nc"), c.written ? fresh : old);  // still one file
    EXPECT_EQ(ModeOf(real), c.fileMode);
    struct stat st {};
    EXPECT_EQ(::lstat((dir + "/link.nc").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(::lstat((dir + "/other/up.nc").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(plattest::Entries(dir), 4);  // real, link, hard link, other: no temporary
  }
}

}  // namespace
