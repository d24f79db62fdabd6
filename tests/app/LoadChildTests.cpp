// The main window in a child process (ravik_load_child): opening a file that
// cannot be read, as an ordinary user, and loads that run out of a real
// address-space limit. What the child shows after each open is compared with
// what it showed before: never a half-loaded program, never a file saved
// over that it did not read.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/core/SurfaceProgram.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "tests/support/OrdinaryUser.h"

namespace fs = std::filesystem;

namespace {

// What the child printed after one open (or after a save, `opened` "saved",
// or as it closes, "closing").
struct Shown {
  std::string opened;
  std::vector<std::string> questions, messages;
  std::map<std::string, std::string> fields;  // path, title, text, commands, vertices
  std::string operator[](const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? "<none>" : it->second;
  }
  long Number(const std::string& key) const { return std::atol((*this)[key].c_str()); }
};

struct ChildRun {
  int status = 0;
  std::string out;
  std::vector<Shown> shown;
};

// Runs the child on a copy of the executable's folder with `args`; a child
// that has not ended after `seconds` is ended by an alarm.
ChildRun RunLoadChild(const std::vector<std::string>& args, unsigned seconds = 120) {
  ChildRun r;
  int pipefd[2];
  EXPECT_EQ(pipe(pipefd), 0);
  const std::string exeDir = plat::ExeDir();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    close(pipefd[1]);
    std::vector<char*> argv{const_cast<char*>(LOAD_CHILD), const_cast<char*>(exeDir.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    alarm(seconds);  // kept across exec: a hung child ends
    execv(LOAD_CHILD, argv.data());
    _exit(92);
  }
  close(pipefd[1]);
  char buf[4096];
  for (ssize_t n; (n = read(pipefd[0], buf, sizeof(buf))) > 0;) r.out.append(buf, static_cast<std::size_t>(n));
  close(pipefd[0]);
  waitpid(pid, &r.status, 0);
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    const auto space = line.find(' ');
    const std::string key = line.substr(0, space), value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "open" || key == "saved" || key == "closing") {
      r.shown.push_back(Shown{key == "open" ? value : key, {}, {}, {}});
    } else if (r.shown.empty()) {
      continue;
    } else if (key == "question") {
      r.shown.back().questions.push_back(value);
    } else if (key == "message") {
      r.shown.back().messages.push_back(value);
    } else {
      r.shown.back().fields[key] = value;
    }
  }
  return r;
}

bool EndedWell(const ChildRun& r) { return WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0; }

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class LoadChild : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ravik_child_files_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, static_cast<fs::perms>(0755));
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

// A file the viewer cannot read is reported by name and reason; the program
// shown before (or none), its path and the title stay, and a save that
// follows never writes over the file that was not read.
TEST_F(LoadChild, AFileThatCannotBeReadIsReportedAndNeverSavedOver) {
  struct Case {
    const char* name;
    bool asUser;        // opened by an ordinary user
    bool folder;        // the name is a folder's
    mode_t mode;        // of the file
    bool openedBefore;  // a readable program is shown first
    const char* reason;
  };
  const Case cases[] = {
      {"write-only file", true, false, 0200, true, "Permission denied"},
      {"write-only file, nothing shown before", true, false, 0200, false, "Permission denied"},
      {"folder named like a program", false, true, 0755, true, "Is a directory"},
  };
  const std::string readable = "O1\r\nG01 X1. Y2.\r\nM30\r\n";
  const std::string secret = "O2\nG00 X5.\nM30\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path shown = dir / "shown.nc", closed = dir / "closed.nc";
    fs::remove_all(closed);
    std::ofstream(shown, std::ios::binary) << readable;
    if (c.folder) {
      fs::create_directories(closed);
    } else {
      std::ofstream(closed, std::ios::binary) << secret;
      fs::permissions(closed, static_cast<fs::perms>(c.mode));
    }
    if (::geteuid() == 0) {  // the files and their folder belong to the user who opens them
      for (const fs::path& p : {dir, shown, closed})
        ASSERT_EQ(::chown(p.c_str(), quillet::test::kOrdinaryUser, quillet::test::kOrdinaryUser), 0);
    }
    std::vector<std::string> args;
    if (c.asUser) args.push_back("--user");
    if (c.openedBefore) args.push_back(shown.string());
    args.insert(args.end(), {closed.string(), "--save"});
    const ChildRun r = RunLoadChild(args);
    ASSERT_TRUE(EndedWell(r)) << "status " << r.status << "\n" << r.out;
    ASSERT_EQ(r.shown.size(), c.openedBefore ? 4u : 3u) << r.out;
    const Shown& before = c.openedBefore ? r.shown[0] : Shown{};
    const Shown& after = r.shown[c.openedBefore ? 1 : 0];
    if (c.openedBefore) {
      EXPECT_EQ(before["path"], shown.string());
      EXPECT_EQ(before.Number("text"), static_cast<long>(readable.size() - 3)) << "the lines end with LF in the editor";
    }
    EXPECT_EQ(after.messages.size(), 1u) << r.out;
    const std::string message = after.messages.empty() ? "" : after.messages[0];
    EXPECT_NE(message.find(closed.string()), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_EQ(after["path"], c.openedBefore ? shown.string() : "");
    EXPECT_EQ(after["title"], c.openedBefore ? before["title"] : "Ravik G code viewer");
    EXPECT_EQ(after["text"], c.openedBefore ? before["text"] : "0");
    EXPECT_EQ(after["commands"], c.openedBefore ? before["commands"] : "0");
    EXPECT_EQ(after["vertices"], c.openedBefore ? before["vertices"] : "0");
    // The save goes to the program shown (or asks for a name, and none is
    // chosen): both files keep their bytes.
    EXPECT_TRUE(r.shown[r.shown.size() - 2].messages.empty()) << r.out;
    EXPECT_EQ(ReadAll(shown), readable);
    if (!c.folder) {
      EXPECT_EQ(ReadAll(closed), secret);
    }
    EXPECT_EQ(fs::is_directory(closed), c.folder);
  }
}

// Under a real address-space limit a load that needs more than the limit
// leaves room ends with one message, wherever the memory ran out (reading
// the file, parsing, the tool path, the simulation, the editor's document),
// and shows the previous program or none; the next, small program loads in
// full. The question before the load comes too: the size needed is known.
TEST_F(LoadChild, ALoadBeyondTheAddressSpaceLimitEndsWithAMessageAndTheNextLoadWorks) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the address sanitizer's allocator ends the process when an allocation fails";
#endif
  const fs::path big = dir / "big.nc", small = dir / "small.nc";
  {
    const std::string text = quillet::bench::MakeSurfacingProgram(400000);
    ASSERT_TRUE(plat::WriteFileAtomic(big.string(), text));
  }
  fs::copy_file(plat::ExePath("samples/contour_arcs.nc"), small);
  // Megabytes of address space left to the loads beyond what the window
  // took when it had shown the small program once: from too little to read
  // the file to about what the editor's document needs at the end.
  for (const char* budget : {"40", "120", "220"}) {
    SCOPED_TRACE(std::string("budget ") + budget + " MB");
    const ChildRun r =
        RunLoadChild({small.string(), "--limit", budget, big.string(), small.string(), big.string(), small.string()});
    ASSERT_TRUE(EndedWell(r)) << "status " << r.status << "\n" << r.out;
    ASSERT_EQ(r.shown.size(), 6u) << r.out;
    const Shown& first = r.shown[0];
    ASSERT_GT(first.Number("commands"), 100);
    ASSERT_GT(first.Number("vertices"), 100);
    for (int i : {1, 3}) {
      const Shown& failed = r.shown[i];
      const Shown& next = r.shown[i + 1];
      SCOPED_TRACE("load " + std::to_string(i + 1));
      ASSERT_EQ(failed.questions.size(), 1u) << "asked before a program too large for the limit\n" << r.out;
      EXPECT_NE(failed.questions[0].find("big.nc"), std::string::npos);
      ASSERT_EQ(failed.messages.size(), 1u) << r.out;
      const std::string& m = failed.messages[0];
      EXPECT_TRUE(m.find("memory ran out") != std::string::npos ||
                  (m.find(big.string()) != std::string::npos && m.find("not enough memory") != std::string::npos))
          << m;
      // The previous program or none: never the one that failed. The title,
      // editor, commands and view show the same one.
      if (failed["path"] == small.string()) {
        EXPECT_EQ(failed["title"], first["title"]);
        EXPECT_EQ(failed["text"], first["text"]);
        EXPECT_EQ(failed["commands"], first["commands"]);
        EXPECT_EQ(failed["vertices"], first["vertices"]);
      } else {
        EXPECT_EQ(failed["path"], "");
        EXPECT_EQ(failed["title"], "Ravik G code viewer");
        EXPECT_EQ(failed["text"], "0");
        EXPECT_EQ(failed["commands"], "0");
        EXPECT_EQ(failed["vertices"], "0");
      }
      // The small program loads in full after it.
      EXPECT_TRUE(next.messages.empty()) << r.out;
      EXPECT_EQ(next["path"], small.string());
      EXPECT_EQ(next["title"], first["title"]);
      EXPECT_EQ(next["text"], first["text"]);
      EXPECT_EQ(next["commands"], first["commands"]);
      EXPECT_EQ(next["vertices"], first["vertices"]);
    }
  }
}

}  // namespace
