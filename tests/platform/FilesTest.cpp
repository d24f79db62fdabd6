// Whole-file reading and writing: reading never creates, text-mode line ends
// both ways without doubling a CR, and atomic replacement that leaves the old
// file whole when the write fails.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/Files.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

namespace fs = std::filesystem;

TEST(ReadFile, MissingFileOrFolderGivesNothingAndCreatesNothing) {
  plattest::ScratchFolder tmp;
  EXPECT_FALSE(plat::ReadFileBytes(tmp.File("missing.dat")).has_value());
  EXPECT_FALSE(plat::ReadTextFile(tmp.File("sub/missing.txt")).has_value());
  EXPECT_FALSE(plat::ReadFileBytes(tmp.Path()).has_value());  // a folder is no file
  EXPECT_TRUE(plattest::ListFolder(tmp.Path()).empty());
  EXPECT_FALSE(plat::FileExists(tmp.File("missing.dat")));
  EXPECT_FALSE(plat::FileExists(tmp.Path()));
  EXPECT_TRUE(plat::IsDirectory(tmp.Path()));
}

TEST(ReadFile, BytesAreReadUnchangedIncludingZerosAndLargeFiles) {
  plattest::ScratchFolder tmp;
  std::string bytes("a\0b\r\n\xFF", 6);
  plattest::WriteBytes(tmp.File("raw.bin"), bytes);
  EXPECT_EQ(plat::ReadFileBytes(tmp.File("raw.bin")), bytes);

  std::string big(300000, 'x');
  for (std::size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>(i % 251);
  plattest::WriteBytes(tmp.File("big.bin"), big);
  EXPECT_EQ(plat::ReadFileBytes(tmp.File("big.bin")), big);

  plattest::WriteBytes(tmp.File("empty.txt"), "");
  auto empty = plat::ReadTextFile(tmp.File("empty.txt"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(ReadFile, TextModeTurnsCrLfIntoLfOnly) {
  plattest::ScratchFolder tmp;
  plattest::WriteBytes(tmp.File("t.txt"), "a\r\nb\r\r\nc\n\rd\re\r");
  // CR CR LF keeps its first CR; a lone CR and a trailing CR stay.
  EXPECT_EQ(plat::ReadTextFile(tmp.File("t.txt")), std::string("a\nb\r\nc\n\rd\re\r"));
}

TEST(LineEnds, ToCrLfNeverDoublesACrAndFromCrLfUndoesIt) {
  EXPECT_EQ(plat::ToCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(plat::ToCrLf("\n\n"), "\r\n\r\n");
  EXPECT_EQ(plat::ToCrLf("x\ry"), "x\ry");
  EXPECT_EQ(plat::ToCrLf(""), "");
  EXPECT_EQ(plat::ToCrLf(plat::ToCrLf("p\nq\n")), "p\r\nq\r\n");
  EXPECT_EQ(plat::FromCrLf("p\r\nq\r\n"), "p\nq\n");
  EXPECT_EQ(plat::FromCrLf(plat::ToCrLf("G01\nX1\n\nM30")), "G01\nX1\n\nM30");
}

TEST(WriteAtomic, CreatesFoldersAndReplacesWithoutLeavingTemporaries) {
  plattest::ScratchFolder tmp;
  const std::string path = tmp.File("fanuc/sub/offset.dat");
  std::string error;
  ASSERT_TRUE(plat::WriteFileAtomic(path, "first", true, &error)) << error;
  EXPECT_EQ(plattest::ReadBytes(path), "first");
  ASSERT_TRUE(plat::WriteFileAtomic(path, std::string("\0second", 7)));
  EXPECT_EQ(plattest::ReadBytes(path), std::string("\0second", 7));
  ASSERT_TRUE(plat::WriteFileAtomic(path, ""));
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(plattest::ListFolder(tmp.File("fanuc/sub")), std::vector<std::string>{"offset.dat"});
}

TEST(WriteAtomic, KeepsThePermissionsOfTheReplacedFile) {
  plattest::ScratchFolder tmp;
  const std::string path = tmp.File("vars.txt");
  plattest::WriteBytes(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(plat::WriteFileAtomic(path, "new"));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(WriteAtomic, RefusedTargetsReportFailureAndChangeNothing) {
  plattest::ScratchFolder tmp;
  std::string error;
  // The target is a folder.
  fs::create_directories(tmp.File("folder"));
  EXPECT_FALSE(plat::WriteFileAtomic(tmp.File("folder"), "x", true, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(tmp.File("folder")));
  // A file stands where a folder of the path would have to be.
  plattest::WriteBytes(tmp.File("plain"), "keep");
  error.clear();
  EXPECT_FALSE(plat::WriteFileAtomic(tmp.File("plain/sub/x.dat"), "x", true, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(plattest::ReadBytes(tmp.File("plain")), "keep");
  // Missing folders without permission to create them.
  EXPECT_FALSE(plat::WriteFileAtomic(tmp.File("new/x.dat"), "x", false));
  EXPECT_FALSE(fs::exists(tmp.File("new")));
  EXPECT_EQ(plattest::ListFolder(tmp.Path()), (std::vector<std::string>{"folder", "plain"}));
}

// Lowers the file-size limit of this process for one scope; writes beyond it
// fail with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ok_ = ::getrlimit(RLIMIT_FSIZE, &old_) == 0;
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    ok_ = ok_ && ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  bool ok_ = false;
  void (*oldHandler_)(int) = SIG_DFL;
};

TEST(WriteAtomic, AFailedWriteLeavesTheOldFileWhole) {
  plattest::ScratchFolder tmp;
  const std::string path = tmp.File("offset.dat");
  const std::string old(2000, 'o');
  plattest::WriteBytes(path, old);
  std::string error;
  bool written = true;
  {
    FileSizeLimit limit(1024);
    ASSERT_TRUE(limit.ok());
    written = plat::WriteFileAtomic(path, std::string(12832, 'n'), true, &error);
  }
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(plattest::ReadBytes(path), old);
  EXPECT_EQ(plattest::ListFolder(tmp.Path()), std::vector<std::string>{"offset.dat"});
}

TEST(WriteAtomic, ReadersSeeEitherTheOldOrTheNewFileNeverAMixture) {
  plattest::ScratchFolder tmp;
  const std::string path = tmp.File("table.dat");
  const std::string a(200000, 'A'), b(150000, 'B');
  ASSERT_TRUE(plat::WriteFileAtomic(path, a));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread reader([&] {
    while (!stop.load()) {
      auto got = plat::ReadFileBytes(path);
      if (!got || (*got != a && *got != b)) ++torn;
      ++reads;
    }
  });
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(plat::WriteFileAtomic(path, i % 2 ? a : b));
  while (reads.load() < 20) std::this_thread::yield();
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

TEST(CreateFolders, NestedExistingAndBlocked) {
  plattest::ScratchFolder tmp;
  EXPECT_TRUE(plat::CreateFolders(tmp.File("a/b/c")));
  EXPECT_TRUE(fs::is_directory(tmp.File("a/b/c")));
  EXPECT_TRUE(plat::CreateFolders(tmp.File("a/b/c")));  // already there
  EXPECT_TRUE(plat::CreateFolders(tmp.File("a/b/c/")));
  plattest::WriteBytes(tmp.File("a/file"), "x");
  EXPECT_FALSE(plat::CreateFolders(tmp.File("a/file")));
  EXPECT_FALSE(plat::CreateFolders(tmp.File("a/file/deeper")));
  EXPECT_EQ(plattest::ReadBytes(tmp.File("a/file")), "x");
}

}  // namespace
