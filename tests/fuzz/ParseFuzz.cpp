// Fuzz target of the parse pipeline: an input is an NC program (one byte a
// character, as the code page reads a file) that goes through the Code_
// interface the way the viewer drives it: lexed for display, parsed with
// sub-program files beside it, its path built, one block highlighted and
// the program simulated. Any crash, sanitizer report, leak or exception out
// of an export is a finding.
//
// The executed-block budget is lowered so that an endless loop ends in
// milliseconds rather than after twenty million blocks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mod_gcode/program/Program.h"
#include "mod_gcode/export/Quillet.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace {

namespace fs = std::filesystem;

int OnCommand(int*, short*, double*, double*, double*, double*, double*, double*, double*, double*, double*, double*,
              double*, double*, double*) {
  return 1;
}
void OnMessage(char16_t*, int*, int*, char16_t*) {}
void OnTool(unsigned char*, double*, double*, double*) {}

// Sub-programs the inputs may call (M98 P1000, G65 P9010, G66 P1 ...).
const char* const kSubPrograms[][2] = {
    {"O1000.cnc", "G91 G01 X1 Y1 F100\nM99\n"},
    {"O1001.cnc", "G91 G01 X1\nM98 P1001 L3\nM99\n"},
    {"O9010.cnc", "#100=#24+#26\nG01 X#24 Z#26 F100\nM99\n"},
    {"O0001.cnc", "G91 G00 Z-1\nG01 Z1 F50\nM99\n"},
};

std::string g_folder;

void Start() {
  // A private copy of the shipped tables: a program may change variables,
  // and the library writes changed tables back.
  char pattern[] = "/tmp/quillet_fuzz_XXXXXX";
  const char* made = ::mkdtemp(pattern);
  if (!made) std::abort();
  g_folder = made;
  const fs::path shipped = fs::path(plat::ExeDir()) / "fanuc";
  fs::copy(shipped, fs::path(g_folder) / "fanuc", fs::copy_options::recursive);
  for (const auto& sub : kSubPrograms) std::ofstream(fs::path(g_folder) / sub[0], std::ios::binary) << sub[1];
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, OnCommand, OnMessage, 0, OnTool, &language);
  std::u16string folder = plat::Utf8ToWide(g_folder), system = u"fanuc";
  Code_SwitchData(folder.data(), system.data());
  std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  quillet::CGCProgram::SetExecutedBlockLimit(10000);
  std::atexit([] {
    Code_Uninitialize();
    std::error_code ec;
    fs::remove_all(g_folder, ec);
  });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) text.push_back(static_cast<char16_t>(data[i] ? data[i] : u' '));
  Code_Analyze(text.data());
  int start = 0;
  double x = 0, y = 0, z = 0;
  std::u16string folder = plat::Utf8ToWide(g_folder), name = u"O1234";
  Code_ParsingFromBuffer(&start, text.data(), folder.data(), name.data(), &x, &y, &z);
  if (quillet::PathGroups* paths = Code_CutterPath()) {
    unsigned block = paths->empty() ? 0 : static_cast<unsigned>(size % paths->size());
    Code_SelBlock(&block);
  }
  Code_CutterPath_Commonded();
  Code_AutoRun();
  return 0;
}
