// State that lives as long as the library is loaded: the host callbacks, the
// five path styles, the data and rule tables, the current program, the
// block-skip switch and the host window.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "mod_gcode/tables/CodeRule.h"
#include "mod_gcode/tables/DataTables.h"
#include "mod_gcode/geometry/PathRecords.h"
#include "mod_gcode/export/Quillet.h"

namespace quillet {

class CGCProgramPath;
class CScriptLibrary;

enum PathStyleIndex { kStyleFeed = 0, kStyleRapid = 1, kStyleRefReturn = 2, kStyleCompensation = 3, kStyleArc = 4 };

struct CLibraryState {
  CodeCommandCallback command = nullptr;
  CodeMessageCallback message = nullptr;
  CodeToolCallback tool = nullptr;
  CPathStyle styles[5];
  char skip = 0;
  int hostWindow = 0;
  CDataTables tables;
  std::u16string systemName;
  std::unique_ptr<CCodeRuleTable> mainRules;
  std::unique_ptr<CCodeRuleTable> macroRules;
  CCodeTips tips;
  // The canned-cycle scripts (CScriptLibrary::Instance); programs hold
  // pointers into them, so they go with the library's last program.
  std::shared_ptr<const CScriptLibrary> scripts;
  // Counts every replacement of the tables, so a program knows whether the
  // tables it was given still exist.
  unsigned tablesGeneration = 0;
};

// The one library state.
CLibraryState& Lib();

// Sets the five styles to the library's values.
void InitPathStyles(CLibraryState& state);

// Messages to the host window: send waits for the handler, post does not.
void SendToHost(unsigned message, std::uintptr_t wParam);
void PostToHost(unsigned message, std::uintptr_t wParam);
// Whether a host window is set (progress messages cost nothing without one).
bool HostWindowSet();

// Asks the host for a tool's offsets; zeros without a callback.
void AskToolOffsets(int tool, double& first, double& second, double& third);

}  // namespace quillet
