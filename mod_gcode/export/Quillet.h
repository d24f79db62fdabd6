// The interface of the Quillet library: 45 plain functions whose names begin
// with Code_, the three host callbacks and the progress messages.
//
// Every argument crosses by pointer. Texts are zero-terminated UTF-16
// (char16_t). Texts and path lists returned here belong to the library; a
// returned text may be overwritten by the next call of the same function, so
// callers copy what they keep. Nothing here throws.
#pragma once

#include "mod_gcode/geometry/PathRecords.h"

#if defined(QUILLET_BUILDING_LIBRARY)
#define QUILLET_API extern "C" __attribute__((visibility("default")))
#else
#define QUILLET_API extern "C"
#endif

// Progress messages to the host window (WM_USER + 3000 ... + 3004).
enum : unsigned {
  WM_CODE_LINECOUNT = 4024,   // sent; wParam = lines from the start line to the end
  WM_CODE_LINEDONE = 4025,    // sent; wParam = index of the line just parsed
  WM_CODE_CUTTERPATH = 4026,  // sent at the start of Code_CutterPath
  WM_CODE_PARSESTART = 4027,  // sent first thing in Code_ParsingFromBuffer
  WM_CODE_AUTORUN = 4028      // posted at the start of each simulation run
};

// One simulated command: line index, kind, the X, Y, Z values, the X, Y, Z
// positions, the I, J, K, R, P, Q values and the feed. A zero result from the
// last instruction of a block stops the simulation after that block.
typedef int (*CodeCommandCallback)(int* line, short* kind, double* xValue, double* yValue,
                                   double* zValue, double* xPos, double* yPos, double* zPos,
                                   double* i, double* j, double* k, double* r, double* p,
                                   double* q, double* feed);
// One block message: program name, line number counted from 1, N number, text.
typedef void (*CodeMessageCallback)(char16_t* programName, int* line, int* sequenceNumber,
                                    char16_t* text);
// The host's offsets of a tool: the low eight bits of the tool number in,
// three numbers out (the third is added to Z).
typedef void (*CodeToolCallback)(unsigned char* tool, double* first, double* second, double* third);
// One rule entry for Code_ShowCodeRule.
typedef void (*CodeRuleCallback)(int* index, char16_t* codename, char16_t* codefunc,
                                 char16_t* group, char16_t* globalname, char16_t* address,
                                 char16_t* movable);

namespace quillet {
// Lines of display items of a lexed text (see Code_Analyze and the buffers).
class CodeItemTable;
}

// Life cycle
QUILLET_API short Code_Initialize(short* mode, CodeCommandCallback command, CodeMessageCallback message,
                                  int reserved, CodeToolCallback tool, int* language);
// Writes back the data tables that changed (as Code_SwitchData does) and
// frees what the library holds.
QUILLET_API void Code_Uninitialize(void);
QUILLET_API void Code_SetHWnd(int* window);
QUILLET_API void Code_Skip(char* flag);

// Dialect and tables
QUILLET_API void Code_SwitchRule(char16_t* mainRuleFile, char16_t* macroRuleFile);
// Writes back the data tables that changed and loads those of the system.
// Returns 0, or 1 when a changed table could not be written (its file
// exists but was not read exactly, or the write failed): each such table is
// told by a message (CodeMessageCallback) whose program name is its file's
// name and whose text names the file; line and N number are 0. The new
// tables are loaded either way. -1: bad arguments, nothing done.
QUILLET_API int Code_SwitchData(char16_t* folder, char16_t* systemName);
QUILLET_API char16_t* Code_GetCurSysName(void);
QUILLET_API int Code_ShowCodeRule(CodeRuleCallback callback);

// Parsing and path
QUILLET_API void* Code_Parsing(char16_t* path, double* x, double* y, double* z);
QUILLET_API void Code_ParsingFromBuffer(int* startLine, char16_t* text, char16_t* folder,
                                        char16_t* programName, double* x, double* y, double* z);
QUILLET_API quillet::PathGroups* Code_CutterPath(void);
QUILLET_API quillet::PathGroups* Code_CutterPath_Commonded(void);
QUILLET_API void Code_AutoRun(void);
QUILLET_API quillet::PathGroups* Code_SelBlock(unsigned* blockIndex);
QUILLET_API void Code_ResetProg(void* reserved);
QUILLET_API quillet::CodeItemTable* Code_Analyze(char16_t* text);

// State queries
QUILLET_API short Code_GetCurH(void);
QUILLET_API short Code_GetCurD(void);
QUILLET_API double* Code_GetCurPZ(void);
QUILLET_API void Code_FreeIt(void* array);

// Data tables: kind 0 tool offsets, 1 work coordinate systems, 2 parameters, 3 macro variables
QUILLET_API void Code_GetDataCount(unsigned* kind, int* rows, int* cols);
QUILLET_API double Code_GetDataValue(unsigned* kind, int* row, int* col);
QUILLET_API char16_t* Code_GetDataStr(unsigned* kind, int* row, int* col);
QUILLET_API char16_t* Code_GetDataType(unsigned* kind, int* row, int* col);
QUILLET_API void Code_SetDataValue(unsigned* kind, int* row, int* col, double* value);
QUILLET_API void Code_SetData(unsigned* kind, int* row, int* col, double* value);
QUILLET_API double Code_AddDataValue(unsigned* kind, int* row, int* col, double* delta);

// Text buffers (ids 0 and 1)
QUILLET_API int Code_CreateBuffer(int* id, char16_t* path, char16_t* defaultText, char* setPath);
QUILLET_API void Code_CreateBufferFromString(int* id, char16_t* path, char16_t* text);
QUILLET_API void Code_ClearBuffer(int* id);
QUILLET_API void Code_ResetBuffer(int* id);
QUILLET_API char16_t* Code_GetCodeStr(int* id);
QUILLET_API char16_t* Code_GetNCName(int* id);
QUILLET_API char16_t* Code_GetFolder(int* id);
QUILLET_API void Code_SetFolder(int* id, char16_t* path);
// The edits change the buffer's text at the cursor item and save it to the
// buffer's file; they return the table, or null when that save failed (the
// file stays as it was) or wrote characters the code page cannot hold as
// '?' (the file is written so), and null when the edit left the text empty
// (the file is emptied). The edit stays in the buffer; its table is had from
// Code_GetFormatedStr. Code_WriteBuffer returns 0 when written, 1 with
// nothing to write, 2 when the file could not be written (an old file stays
// whole) and 3 when characters were written as '?'.
QUILLET_API quillet::CodeItemTable* Code_EditInsert(int* id, char16_t* text, int* line, int* col);
QUILLET_API quillet::CodeItemTable* Code_EditReplace(int* id, char16_t* text, int* line, int* col);
QUILLET_API quillet::CodeItemTable* Code_EditDelete(int* id, int* line, int* col);
QUILLET_API quillet::CodeItemTable* Code_GetFormatedStr(int* id);
QUILLET_API int Code_BufferLineCount(int* id);
QUILLET_API int Code_BufferColCount(int* id, int* line);
QUILLET_API char16_t* Code_BufferItemStr(int* id, int* line, int* col);
QUILLET_API int Code_WriteBuffer(int* id, char16_t* path);

// Code tips
QUILLET_API char16_t* Code_GetCodeTip(char16_t* code);
QUILLET_API char16_t* Code_GetCodeFmt(char16_t* code);
