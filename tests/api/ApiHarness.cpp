#include "tests/api/ApiHarness.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Host.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace apitest {

HostLog& Log() {
  static HostLog log;
  return log;
}

int CommandCallback(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp, double* zp,
                    double* i, double* j, double* k, double* r, double* p, double* q, double* feed) {
  const Record rec{*line, *kind, {*xv, *yv, *zv}, {*xp, *yp, *zp}, *i, *j, *k, *r, *p, *q, *feed};
  Log().records.push_back(rec);
  return Log().answer ? Log().answer(rec) : 1;
}

void MessageCallback(char16_t* program, int* line, int* sequence, char16_t* text) {
  Log().messages.push_back({program ? program : u"", line ? *line : -1, sequence ? *sequence : -1, text ? text : u""});
}

void ToolCallback(unsigned char* tool, double* first, double* second, double* third) {
  Log().toolQueries.push_back(*tool);
  *first = *second = 0.0;
  auto it = Log().toolThird.find(*tool);
  *third = it != Log().toolThird.end() ? it->second : 0.0;
}

std::u16string W(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string ProgramPath(const std::string& name) { return std::string(QUILLET_API_PROGRAMS) + "/" + name; }

std::u16string ProgramText(const std::string& name) {
  const std::string bytes = Bytes(ProgramPath(name));
  EXPECT_FALSE(bytes.empty()) << "missing program " << name;
  return W(bytes);
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

double DoubleAt(const std::string& bytes, std::size_t index) {
  double v = NAN;
  if ((index + 1) * 8 <= bytes.size()) std::memcpy(&v, bytes.data() + index * 8, 8);
  return v;
}

::testing::AssertionResult HasStyle(const CPathPolyline* poly, const StyleValues& s) {
  if (!poly) return ::testing::AssertionFailure() << "no polyline";
  const quillet::CPathStyle& st = poly->Style();
  if (st.r == s.r && st.g == s.g && st.b == s.b && st.a == s.a && st.width == s.width && st.pattern == s.pattern &&
      st.kind == 3)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "style " << st.r << st.g << st.b << st.a << " " << st.width << " "
                                       << st.pattern;
}

::testing::AssertionResult Near(const CPoint3d& a, const CPoint3d& e, double tol) {
  if (std::fabs(a.x - e.x) <= tol && std::fabs(a.y - e.y) <= tol && std::fabs(a.z - e.z) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") is not (" << e.x << ", " << e.y
                                       << ", " << e.z << ")";
}

namespace {

class RecordingWindow : public plat::MessageTarget {
 public:
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t) override {
    Log().window.push_back({message, wParam, false});
    return 0;
  }
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t) override {
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
  // The tables as shipped (the copies beside the executable change when a
  // viewer or another test writes its tables back).
  fs::copy(fs::path(QUILLET_SHIPPED_DATA) / "fanuc", fs::path(dataRoot) / "fanuc", fs::copy_options::recursive);
  windowHandle = plat::RegisterTarget(std::make_shared<RecordingWindow>());
  StartLibrary();
}

void ApiTest::StartLibrary() {
  short mode = 1;
  int language = 1;
  ASSERT_EQ(Code_Initialize(&mode, CommandCallback, MessageCallback, 0, ToolCallback, &language), 1);
  ASSERT_EQ(SwitchData(dataRoot), 0);
  std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  Code_SetHWnd(&windowHandle);
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

int ApiTest::SwitchData(const std::string& folder) {
  std::u16string f = W(folder), system = u"fanuc";
  return Code_SwitchData(f.data(), system.data());
}

void ApiTest::ParseOnly(std::u16string_view text, CPoint3d start, int startLine) {
  std::u16string t(text), folder = W(QUILLET_API_PROGRAMS), name = u"O1234";
  Code_ParsingFromBuffer(&startLine, t.data(), folder.data(), name.data(), &start.x, &start.y, &start.z);
}

PathGroups* ApiTest::Parse(std::u16string_view text, CPoint3d start, int startLine) {
  ParseOnly(text, start, startLine);
  return Code_CutterPath();
}

PathGroups* ApiTest::ParseIn(const std::string& folder, std::u16string text) {
  std::u16string dir = W(folder), name = u"O1234";
  int startLine = 0;
  CPoint3d start;
  Code_ParsingFromBuffer(&startLine, text.data(), dir.data(), name.data(), &start.x, &start.y, &start.z);
  return Code_CutterPath();
}

std::vector<Record> ApiTest::Simulate() {
  Log().records.clear();
  Code_AutoRun();
  return Log().records;
}

const CPathPolyline* ApiTest::OnlyPolyline(const PathGroups* paths, int line) {
  const std::size_t list = static_cast<std::size_t>(line) + 1;
  if (!paths || list >= paths->size() || (*paths)[list].size() != 1) {
    ADD_FAILURE() << "line " << line << " has no single polyline";
    return nullptr;
  }
  return (*paths)[list][0];
}

CPoint3d ApiTest::End(const PathGroups* paths, int line) {
  const CPathPolyline* p = OnlyPolyline(paths, line);
  return p && p->PointCount() > 0 ? p->Point(p->PointCount() - 1) : CPoint3d{NAN, NAN, NAN};
}

std::vector<Record> OfKind(const std::vector<Record>& records, short first, short last) {
  std::vector<Record> out;
  for (const Record& r : records)
    if (r.kind >= first && r.kind <= std::max(first, last)) out.push_back(r);
  return out;
}

std::vector<CPoint3d> PointsOf(const PathGroups* paths, int line) {
  std::vector<CPoint3d> out;
  const std::size_t list = static_cast<std::size_t>(line) + 1;
  if (!paths || list >= paths->size()) return out;
  for (const CPathPolyline* p : (*paths)[list])
    for (int i = 0; i < p->PointCount(); ++i) out.push_back(p->Point(i));
  return out;
}

CPoint3d LastPoint(const PathGroups* paths, int line) {
  const std::vector<CPoint3d> pts = PointsOf(paths, line);
  return pts.empty() ? CPoint3d{NAN, NAN, NAN} : pts.back();
}

bool Contains(const std::vector<CPoint3d>& points, const CPoint3d& p) {
  for (const CPoint3d& q : points)
    if (Near(q, p, 1e-9)) return true;
  return false;
}

std::vector<Record> MovesOfLine(const std::vector<Record>& records, int line, short first, short last) {
  std::vector<Record> out;
  for (const Record& r : OfKind(records, first, last))
    if (r.line == line) out.push_back(r);
  return out;
}

std::string LineEndTest::Folder() {
  const std::string dir = dataRoot + "/programs";
  std::filesystem::create_directories(dir);
  return dir;
}

void LineEndTest::WriteProgram(const std::string& name, const std::string& text) {
  std::ofstream(Folder() + "/" + name, std::ios::binary) << text;
}

}  // namespace apitest
