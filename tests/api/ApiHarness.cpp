#include "tests/api/ApiHarness.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Host.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace apitest {

void HostLog::Clear() {
  records.clear();
  messages.clear();
  toolQueries.clear();
  alerts.clear();
  toolThird.clear();
  toolThirdDefault = 0.0;
  answer = nullptr;
  std::lock_guard<std::mutex> lock(windowLock);
  window.clear();
}

std::vector<WindowMessage> HostLog::Window() {
  std::lock_guard<std::mutex> lock(windowLock);
  return window;
}

HostLog& Log() {
  static HostLog log;
  return log;
}

int CommandCallback(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp,
                    double* zp, double* i, double* j, double* k, double* r, double* p, double* q,
                    double* feed) {
  Record rec;
  rec.line = *line;
  rec.kind = *kind;
  rec.value = {*xv, *yv, *zv};
  rec.position = {*xp, *yp, *zp};
  rec.i = *i;
  rec.j = *j;
  rec.k = *k;
  rec.r = *r;
  rec.p = *p;
  rec.q = *q;
  rec.feed = *feed;
  HostLog& log = Log();
  log.records.push_back(rec);
  return log.answer ? log.answer(rec) : 1;
}

void MessageCallback(char16_t* program, int* line, int* sequence, char16_t* text) {
  Message m;
  if (program) m.program = program;
  m.line = line ? *line : -1;
  m.sequence = sequence ? *sequence : -1;
  if (text) m.text = text;
  Log().messages.push_back(m);
}

void ToolCallback(unsigned char* tool, double* first, double* second, double* third) {
  HostLog& log = Log();
  const int t = *tool;
  log.toolQueries.push_back(t);
  *first = 0.0;
  *second = 0.0;
  auto it = log.toolThird.find(t);
  *third = it != log.toolThird.end() ? it->second : log.toolThirdDefault;
}

std::u16string W(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

std::string A(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::string ProgramPath(const std::string& name) { return std::string(QUILLET_API_PROGRAMS) + "/" + name; }

std::u16string ProgramText(const std::string& name) {
  std::ifstream in(ProgramPath(name), std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing program " << name;
  std::stringstream ss;
  ss << in.rdbuf();
  return W(ss.str());
}

::testing::AssertionResult HasStyle(const CPathPolyline* poly, const StyleValues& s) {
  if (!poly) return ::testing::AssertionFailure() << "no polyline";
  const quillet::CPathStyle& st = poly->m_style;
  if (st.r == s.r && st.g == s.g && st.b == s.b && st.a == s.a && st.width == s.width && st.pattern == s.pattern &&
      st.kind == 3)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "style is colour " << st.r << "," << st.g << "," << st.b << "," << st.a
                                       << " width " << st.width << " pattern " << st.pattern << " kind " << st.kind
                                       << "; expected colour " << s.r << "," << s.g << "," << s.b << "," << s.a
                                       << " width " << s.width << " pattern " << s.pattern << " kind 3";
}

::testing::AssertionResult Near(const CPoint3d& a, const CPoint3d& e, double tol) {
  if (std::fabs(a.x - e.x) <= tol && std::fabs(a.y - e.y) <= tol && std::fabs(a.z - e.z) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") is not (" << e.x << ", "
                                       << e.y << ", " << e.z << ") within " << tol;
}

namespace {

class RecordingWindow : public plat::MessageTarget {
 public:
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t) override {
    std::lock_guard<std::mutex> lock(Log().windowLock);
    Log().window.push_back({message, wParam, false});
    return 0;
  }
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t) override {
    std::lock_guard<std::mutex> lock(Log().windowLock);
    Log().window.push_back({message, wParam, true});
  }
};

}  // namespace

void ApiTest::SetUp() {
  Code_Uninitialize();
  Log().Clear();
  plat::SetAlertSink([](const std::u16string& text, const std::u16string&) { Log().alerts.push_back(text); });

  char pattern[] = "/tmp/quillet_api_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dataRoot = pattern;
  fs::copy(fs::path(plat::ExeDir()) / "fanuc", fs::path(dataRoot) / "fanuc", fs::copy_options::recursive);

  windowHandle = plat::RegisterTarget(std::make_shared<RecordingWindow>());
  StartLibrary();
}

void ApiTest::StartLibrary() {
  short mode = 1;
  int language = 1;
  ASSERT_EQ(Code_Initialize(&mode, CommandCallback, MessageCallback, 0, ToolCallback, &language), 1);
  std::u16string folder = W(dataRoot);
  std::u16string system = u"fanuc";
  ASSERT_EQ(Code_SwitchData(folder.data(), system.data()), 0);
  std::u16string mainRules = u"coderule\\fanuc.cmt";
  std::u16string macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  Code_SetHWnd(&windowHandle);
  char skip = 0;
  Code_Skip(&skip);
}

void ApiTest::TearDown() {
  Code_Uninitialize();
  char skip = 0;
  Code_Skip(&skip);
  plat::ReleaseTarget(windowHandle);
  plat::SetAlertSink({});
  std::error_code ec;
  if (!dataRoot.empty()) fs::remove_all(dataRoot, ec);
}

void ApiTest::ParseOnly(std::u16string_view text, CPoint3d start, int startLine) {
  std::u16string t(text);
  std::u16string folder = W(QUILLET_API_PROGRAMS);
  std::u16string name = u"O1234";
  Code_ParsingFromBuffer(&startLine, t.data(), folder.data(), name.data(), &start.x, &start.y, &start.z);
}

PathGroups* ApiTest::Parse(std::u16string_view text, CPoint3d start, int startLine) {
  ParseOnly(text, start, startLine);
  return Code_CutterPath();
}

PathGroups* ApiTest::ParseProgram(const std::string& name, CPoint3d start) {
  return Parse(ProgramText(name), start);
}

std::vector<Record> ApiTest::Simulate() {
  Log().records.clear();
  Code_AutoRun();
  return Log().records;
}

const CPathPolyline* ApiTest::OnlyPolyline(const PathGroups* paths, int line) {
  if (!paths) {
    ADD_FAILURE() << "no path lists";
    return nullptr;
  }
  const std::size_t list = static_cast<std::size_t>(line) + 1;
  if (list >= paths->size()) {
    ADD_FAILURE() << "no list for line " << line << " (" << paths->size() << " lists)";
    return nullptr;
  }
  const CPathList& l = (*paths)[list];
  if (l.size() != 1) {
    ADD_FAILURE() << "line " << line << " has " << l.size() << " polylines, expected 1";
    return nullptr;
  }
  return l[0];
}

void ApiTest::SetCell(unsigned kind, int row, int col, double value) { Code_SetData(&kind, &row, &col, &value); }

double ApiTest::Cell(unsigned kind, int row, int col) { return Code_GetDataValue(&kind, &row, &col); }

void ApiTest::SetWorkOffset(int row, CPoint3d offset) {
  SetCell(1, row, 0, offset.x);
  SetCell(1, row, 1, offset.y);
  SetCell(1, row, 2, offset.z);
}

std::vector<Record> Motions(const std::vector<Record>& records) {
  std::vector<Record> out;
  for (const Record& r : records)
    if (r.kind >= 1 && r.kind <= 4) out.push_back(r);
  return out;
}

std::vector<Record> OfKind(const std::vector<Record>& records, short kind) {
  std::vector<Record> out;
  for (const Record& r : records)
    if (r.kind == kind) out.push_back(r);
  return out;
}

}  // namespace apitest
