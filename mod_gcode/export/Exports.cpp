// The Code_ interface. Every export checks its arguments and the state it
// needs; a call out of order or with bad arguments returns the failure value
// and changes nothing.
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <mutex>
#include <set>

#include "mod_gcode/text/CodeAnalyzer.h"
#include "mod_gcode/text/CodeBuffer.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/instructions/Script.h"
#include "mod_gcode/export/LibraryState.h"
#include "mod_gcode/export/Quillet.h"
#include "platform/Host.h"
#include "platform/Numbers.h"
#include "platform/Text.h"
#include "platform/Threads.h"

using namespace quillet;

namespace {

// The program of the last parse, and the thread that deletes its predecessor.
CGCProgramPath* g_program = nullptr;
std::unique_ptr<CDestructThread> g_destruct;
// Arrays handed out by Code_GetCurPZ and not yet given back.
std::set<double*> g_partZeroArrays;

// Returned texts live here until the same export is called again.
char16_t* Hold(std::u16string& slot, std::u16string_view text) {
  slot.assign(text);
  return slot.data();
}

CData* Table(const unsigned* kind) { return kind ? Lib().tables.ByKind(*kind) : nullptr; }

// Deletes the current program at once, after the previous deletion ended.
void DeleteProgramNow() {
  delete g_program;
  g_program = nullptr;
}

// Hands the current program to a new destruction thread.
void RetireProgram() {
  if (!g_program) return;
  g_destruct.reset();  // waits for the previous deletion
  g_destruct = std::make_unique<CDestructThread>(g_program);
  g_program = nullptr;
  g_destruct->Start();
}

CGCProgramPath* NewProgram(std::u16string_view folder, std::u16string_view name) {
  const CCodeRuleTable* main = Lib().mainRules.get();
  const CCodeRuleEntry* g00 = nullptr;
  if (main) {
    const CCodeRuleEntry& e = main->FindByCode(u"G00");
    if (!e.IsEmpty()) g00 = &e;
  }
  auto p = std::make_unique<CGCProgramPath>(g00, folder, name);
  CDataTables& t = Lib().tables;
  p->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
  return p.release();
}

// Runs a parse of the current program. A parse that could not even keep a
// block with its reason (memory ran out at once) leaves no program: the
// path exports then give their failure result.
template <class F>
void ParseOrDrop(F&& parse) {
  try {
    parse();
  } catch (...) {
    DeleteProgramNow();
    throw;
  }
}

CCodeBuffer* Buffer(const int* id) { return id ? GetCodeBuffer(*id) : nullptr; }

// The handler of every export's function-try-block: no exception leaves the
// library. The exception is traced and the export gives its failure result.
// Nothing is left half-changed: each export replaces state only with objects
// that are complete (a parse that fails on the way keeps what it parsed and
// says so in a block message).
void Escaped() noexcept {
  const char* what = "unknown exception";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    what = "out of memory";
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  try {
    if (plat::TraceEnabled()) plat::Trace(std::string("e:1; export failed: ") + what + "\n");
  } catch (...) {
  }
}

template <class R>
R Escaped(R failure) noexcept {
  Escaped();
  return failure;
}

// The failure result of exports that hand out a text.
char16_t* EmptyText() {
  static char16_t empty[1] = {};
  return empty;
}

// The table an edit export hands back: none when the edit could not be saved
// whole to the buffer's file (the edit itself stays in the buffer).
CodeItemTable* EditResult(CodeItemTable* table, int saved) {
  return (saved == kCodeWriteFailed || saved == kCodeWriteLossy) ? nullptr : table;
}

// Writes back the data tables that changed. A changed table that could not
// be written is told to the host as a message naming its file (program name
// the file's name, line and N number 0), as the loss of the user's values
// must not pass unseen. False when one was not written.
bool StoreTables() {
  CLibraryState& s = Lib();
  const std::vector<CDataTables::NotStored> lost = s.tables.StoreAll();
  for (const CDataTables::NotStored& t : lost) {
    const std::u16string path = plat::Utf8ToWide(t.path);
    std::u16string name = path.substr(path.find_last_of(u"\\/") + 1);
    std::u16string text = u"The changed values of this table were not saved: the file " + path;
    text += t.notReadWhole ? u" was not read exactly as it is written (another encoding, a zero byte or a line that "
                             u"is not a value and a kind), so it is kept as it is"
                           : u" could not be written";
    plat::Trace("e:1; data table not saved: " + t.path + (t.notReadWhole ? " (not read whole)\n" : " (write failed)\n"));
    if (CodeMessageCallback cb = s.message) {
      int line = 0, sequence = 0;
      cb(name.data(), &line, &sequence, text.data());
    }
  }
  return lost.empty();
}

}  // namespace

// ------------------------------------------------------------- life cycle

QUILLET_API short Code_Initialize(short* mode, CodeCommandCallback command, CodeMessageCallback message, int reserved,
                                  CodeToolCallback tool, int* language) try {
  (void)reserved;
  CLibraryState& s = Lib();
  s.command = command;
  s.message = message;
  s.tool = tool;
  InitPathStyles(s);
  if (CCodeBuffer* b = GetCodeBuffer(1)) b->Reset(u"O0000", u"M30");
  s.tips.Load(language ? *language : 1);
  try {
    CScriptLibrary::Instance();
  } catch (const std::bad_alloc&) {
    // Read at the first canned cycle instead.
  }
  return mode ? *mode : 0;
} catch (...) {
  return Escaped<short>({});
}

QUILLET_API void Code_Uninitialize(void) try {
  CLibraryState& s = Lib();
  StoreTables();
  s.tables = CDataTables();
  ++s.tablesGeneration;
  s.mainRules.reset();
  s.macroRules.reset();
  DeleteProgramNow();
  g_destruct.reset();
  s.scripts.reset();
} catch (...) {
  Escaped();
}

QUILLET_API void Code_SetHWnd(int* window) try {
  if (window) Lib().hostWindow = *window;
} catch (...) {
  Escaped();
}

QUILLET_API void Code_Skip(char* flag) try {
  if (flag) Lib().skip = *flag;
} catch (...) {
  Escaped();
}

// ------------------------------------------------------- dialect and tables

QUILLET_API void Code_SwitchRule(char16_t* mainRuleFile, char16_t* macroRuleFile) try {
  if (!mainRuleFile || !macroRuleFile) return;
  CLibraryState& s = Lib();
  // Both tables are read before either replaces its predecessor: a read
  // that fails on the way leaves the tables in use as they were.
  auto main = std::make_unique<CCodeRuleTable>();
  main->Load(plat::WView(mainRuleFile));
  auto macro = std::make_unique<CCodeRuleTable>();
  macro->Load(plat::WView(macroRuleFile));
  // The current program keeps pointers into the main table; it is done
  // parsing, but a new table must not be mixed with it.
  RetireProgram();
  s.mainRules = std::move(main);
  s.macroRules = std::move(macro);
} catch (...) {
  Escaped();
}

QUILLET_API int Code_SwitchData(char16_t* folder, char16_t* systemName) try {
  if (!folder || !systemName) return -1;
  std::u16string_view name = plat::WView(systemName);
  if (name.size() > 31) return -1;
  CLibraryState& s = Lib();
  // A program parsed with the old tables must not reach them once deleted.
  RetireProgram();
  const bool stored = StoreTables();
  // The new tables are read whole before they replace the old ones (which
  // are stored by now): a read that fails on the way leaves the old ones.
  CDataTables next;
  next.Create(plat::WView(folder), name);
  std::u16string nextName(name);
  s.tables = std::move(next);
  ++s.tablesGeneration;
  s.systemName.swap(nextName);
  return stored ? 0 : 1;
} catch (...) {
  return Escaped(-1);
}

QUILLET_API char16_t* Code_GetCurSysName(void) try {
  static std::u16string text;
  return Hold(text, Lib().systemName);
} catch (...) {
  return Escaped(EmptyText());
}

QUILLET_API int Code_ShowCodeRule(CodeRuleCallback callback) try {
  const CCodeRuleTable* main = Lib().mainRules.get();
  if (!callback || !main) return 0;
  int index = 0;
  for (const CCodeRuleEntry& e : main->Entries()) {
    std::u16string name = e.m_codename, func = e.m_codefunc, address = e.m_address;
    std::u16string group = plat::FormatIntW(e.m_groupNumber);
    std::u16string global = plat::FormatIntW(e.m_globalNumber);
    std::u16string movable = plat::FormatIntW(e.m_movable);
    int i = index++;
    callback(&i, name.data(), func.data(), group.data(), global.data(), address.data(), movable.data());
  }
  return 0;
} catch (...) {
  return Escaped<int>({});
}

// ------------------------------------------------------- parsing and path

QUILLET_API void* Code_Parsing(char16_t* path, double* x, double* y, double* z) try {
  if (!path || !x || !y || !z) return nullptr;
  DeleteProgramNow();
  // The program knows its folder (its sub-programs are found there) and its
  // file name (its messages name it).
  std::u16string_view p = plat::WView(path);
  std::size_t sep = p.find_last_of(u"\\/");
  std::u16string_view folder = sep == std::u16string_view::npos ? std::u16string_view() : p.substr(0, sep);
  g_program = NewProgram(folder, sep == std::u16string_view::npos ? p : p.substr(sep + 1));
  ParseOrDrop([&] { g_program->ParseFile(p, CPoint3d(*x, *y, *z)); });
  return nullptr;
} catch (...) {
  return Escaped<void*>({});
}

QUILLET_API void Code_ParsingFromBuffer(int* startLine, char16_t* text, char16_t* folder, char16_t* programName,
                                        double* x, double* y, double* z) try {
  if (!startLine || !x || !y || !z) return;
  SendToHost(WM_CODE_PARSESTART, 0);
  RetireProgram();
  g_program = NewProgram(plat::WView(folder), plat::WView(programName));
  if (text) ParseOrDrop([&] { g_program->ParseText(*startLine, text, plat::WLen(text), CPoint3d(*x, *y, *z)); });
} catch (...) {
  Escaped();
}

QUILLET_API PathGroups* Code_CutterPath(void) try {
  if (!g_program) return nullptr;
  return g_program->GetCutterPath(true);
} catch (...) {
  return Escaped<PathGroups*>({});
}

QUILLET_API PathGroups* Code_CutterPath_Commonded(void) try {
  if (!g_program) return nullptr;
  return g_program->GetCommandedPath();
} catch (...) {
  return Escaped<PathGroups*>({});
}

QUILLET_API void Code_AutoRun(void) try {
  if (!g_program) return;
  g_program->AutoRun();
  // The record that closes a simulation.
  if (CodeCommandCallback cb = Lib().command) {
    int line = 0;
    short kind = 15;
    double v[12] = {0, 0, 0, -100.0, 0, 0, 0, 0, 0, 0, 0, 0};
    double feed = 0.0;
    cb(&line, &kind, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &feed);
  }
} catch (...) {
  Escaped();
}

QUILLET_API PathGroups* Code_SelBlock(unsigned* blockIndex) try {
  if (!g_program || !blockIndex) return nullptr;
  // An index at or past the end clears the highlight.
  return g_program->SelectBlock(*blockIndex);
} catch (...) {
  return Escaped<PathGroups*>({});
}

QUILLET_API void Code_ResetProg(void*) {}

QUILLET_API CodeItemTable* Code_Analyze(char16_t* text) try {
  return SharedCodeAnalyzer().Analyze(plat::WView(text));
} catch (...) {
  return Escaped<CodeItemTable*>({});
}

// ------------------------------------------------------------ state queries

QUILLET_API short Code_GetCurH(void) try { return g_program ? g_program->GetH() : 0; } catch (...) {
  return Escaped<short>({});
}

QUILLET_API short Code_GetCurD(void) try { return g_program ? g_program->GetD() : 0; } catch (...) {
  return Escaped<short>({});
}

QUILLET_API double* Code_GetCurPZ(void) try {
  CDataCoordSystem* coord = Lib().tables.coord.get();
  if (!coord) {
    plat::Alert(u"Data of part zero lost!", u"Error");
    return nullptr;
  }
  CPoint3d p = coord->GetCurrent();
  double* a = new double[3]{p.x, p.y, p.z};
  g_partZeroArrays.insert(a);
  return a;
} catch (...) {
  return Escaped<double*>({});
}

QUILLET_API void Code_FreeIt(void* array) try {
  auto* a = static_cast<double*>(array);
  auto it = g_partZeroArrays.find(a);
  if (it == g_partZeroArrays.end()) return;  // null or not ours
  g_partZeroArrays.erase(it);
  delete[] a;
} catch (...) {
  Escaped();
}

// -------------------------------------------------------------- data tables

QUILLET_API void Code_GetDataCount(unsigned* kind, int* rows, int* cols) try {
  CData* t = Table(kind);
  if (!t || !rows || !cols) return;
  *rows = t->Rows();
  *cols = t->Cols();
} catch (...) {
  Escaped();
}

QUILLET_API double Code_GetDataValue(unsigned* kind, int* row, int* col) try {
  CData* t = Table(kind);
  if (!t || !row || !col) return 0.0;
  return t->GetValue(*row, *col);
} catch (...) {
  return Escaped<double>({});
}

QUILLET_API char16_t* Code_GetDataStr(unsigned* kind, int* row, int* col) try {
  static std::u16string text;
  CData* t = Table(kind);
  if (!t || !row || !col) return Hold(text, u"");
  if (*kind == 3 && *row >= 0 && *row <= CGCProgram::kLastLocal) return Hold(text, g_program ? g_program->GetLocalText(*row) : u"");
  return Hold(text, t->GetValueText(*row, *col));
} catch (...) {
  return Escaped(EmptyText());
}

QUILLET_API char16_t* Code_GetDataType(unsigned* kind, int* row, int* col) try {
  static std::u16string text;
  CData* t = Table(kind);
  if (!t || !row || !col) return Hold(text, u"");
  return Hold(text, t->GetTypeText(*row, *col));
} catch (...) {
  return Escaped(EmptyText());
}

QUILLET_API void Code_SetDataValue(unsigned* kind, int* row, int* col, double* value) try {
  CData* t = Table(kind);
  if (!t || !row || !col || !value) return;
  t->SetValue(*row, *col, *value);
} catch (...) {
  Escaped();
}

QUILLET_API void Code_SetData(unsigned* kind, int* row, int* col, double* value) try {
  Code_SetDataValue(kind, row, col, value);
} catch (...) {
  Escaped();
}

QUILLET_API double Code_AddDataValue(unsigned* kind, int* row, int* col, double* delta) try {
  CData* t = Table(kind);
  if (!t || !row || !col || !delta) return 0.0;
  double v = t->GetValue(*row, *col) + *delta;
  if (!t->SetValue(*row, *col, v)) return 0.0;
  return v;
} catch (...) {
  return Escaped<double>({});
}

// ---------------------------------------------------------------- buffers

QUILLET_API int Code_CreateBuffer(int* id, char16_t* path, char16_t* defaultText, char* setPath) try {
  CCodeBuffer* b = Buffer(id);
  if (!b) return 0;
  return b->Create(path ? path : u"", defaultText, setPath && *setPath);
} catch (...) {
  return Escaped<int>({});
}

QUILLET_API void Code_CreateBufferFromString(int* id, char16_t* path, char16_t* text) try {
  CCodeBuffer* b = Buffer(id);
  if (!b) return;
  b->Reset(text ? text : u"", u"");
  if (path) b->SetPath(path);
} catch (...) {
  Escaped();
}

QUILLET_API void Code_ClearBuffer(int* id) try {
  if (CCodeBuffer* b = Buffer(id)) b->Clear();
} catch (...) {
  Escaped();
}

QUILLET_API void Code_ResetBuffer(int* id) try {
  if (CCodeBuffer* b = Buffer(id)) b->Reset(u"O0000", u"M30");
} catch (...) {
  Escaped();
}

QUILLET_API char16_t* Code_GetCodeStr(int* id) try {
  CCodeBuffer* b = Buffer(id);
  return b ? const_cast<char16_t*>(b->GetText()) : nullptr;
} catch (...) {
  return Escaped<char16_t*>({});
}

QUILLET_API char16_t* Code_GetNCName(int* id) try {
  CCodeBuffer* b = Buffer(id);
  return b ? const_cast<char16_t*>(b->GetName()) : nullptr;
} catch (...) {
  return Escaped<char16_t*>({});
}

QUILLET_API char16_t* Code_GetFolder(int* id) try {
  CCodeBuffer* b = Buffer(id);
  return b ? const_cast<char16_t*>(b->GetFolder()) : nullptr;
} catch (...) {
  return Escaped<char16_t*>({});
}

QUILLET_API void Code_SetFolder(int* id, char16_t* path) try {
  CCodeBuffer* b = Buffer(id);
  if (b && path) b->SetPath(path);
} catch (...) {
  Escaped();
}

QUILLET_API CodeItemTable* Code_EditInsert(int* id, char16_t* text, int* line, int* col) try {
  CCodeBuffer* b = Buffer(id);
  if (!b || !text || !line || !col) return nullptr;
  int saved = kCodeWriteNothing;
  CodeItemTable* table = b->Insert(plat::WView(text), *line, *col, &saved);
  return EditResult(table, saved);
} catch (...) {
  return Escaped<CodeItemTable*>({});
}

QUILLET_API CodeItemTable* Code_EditReplace(int* id, char16_t* text, int* line, int* col) try {
  CCodeBuffer* b = Buffer(id);
  if (!b || !text || !line || !col) return nullptr;
  int saved = kCodeWriteNothing;
  CodeItemTable* table = b->Replace(plat::WView(text), *line, *col, &saved);
  return EditResult(table, saved);
} catch (...) {
  return Escaped<CodeItemTable*>({});
}

QUILLET_API CodeItemTable* Code_EditDelete(int* id, int* line, int* col) try {
  CCodeBuffer* b = Buffer(id);
  if (!b || !line || !col) return nullptr;
  int saved = kCodeWriteNothing;
  CodeItemTable* table = b->Delete(*line, *col, &saved);
  return EditResult(table, saved);
} catch (...) {
  return Escaped<CodeItemTable*>({});
}

QUILLET_API CodeItemTable* Code_GetFormatedStr(int* id) try {
  CCodeBuffer* b = Buffer(id);
  return b ? b->GetTable() : nullptr;
} catch (...) {
  return Escaped<CodeItemTable*>({});
}

QUILLET_API int Code_BufferLineCount(int* id) try {
  CCodeBuffer* b = Buffer(id);
  return b ? b->LineCount() : 0;
} catch (...) {
  return Escaped<int>({});
}

QUILLET_API int Code_BufferColCount(int* id, int* line) try {
  CCodeBuffer* b = Buffer(id);
  return b && line ? b->ColCount(*line) : 0;
} catch (...) {
  return Escaped<int>({});
}

QUILLET_API char16_t* Code_BufferItemStr(int* id, int* line, int* col) try {
  CCodeBuffer* b = Buffer(id);
  if (!b || !line || !col) return nullptr;
  return const_cast<char16_t*>(b->ItemStr(*line, *col));
} catch (...) {
  return Escaped<char16_t*>({});
}

QUILLET_API int Code_WriteBuffer(int* id, char16_t* path) try {
  CCodeBuffer* b = Buffer(id);
  if (!b || !path) return -1;
  return b->WriteTo(plat::WView(path));
} catch (...) {
  return Escaped(-1);
}

// -------------------------------------------------------------- code tips

QUILLET_API char16_t* Code_GetCodeTip(char16_t* code) try {
  return const_cast<char16_t*>(Lib().tips.GetTip(plat::WView(code)).c_str());
} catch (...) {
  return Escaped(EmptyText());
}

QUILLET_API char16_t* Code_GetCodeFmt(char16_t* code) try {
  return const_cast<char16_t*>(Lib().tips.GetFmt(plat::WView(code)).c_str());
} catch (...) {
  return Escaped(EmptyText());
}
