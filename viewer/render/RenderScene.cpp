// OpenGL side of the scene. GLEW comes first and no Qt OpenGL header is
// included here.
#include <GL/glew.h>

#include "viewer/render/RenderScene.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/Host.h"
#include "viewer/render/Glyphs.h"

namespace ravik {

namespace {

std::string GlString(GLenum name) {
  const GLubyte* s = glGetString(name);
  return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

// Whether a space-separated extension list holds `token` as a whole word.
bool HasExtensionToken(std::string_view list, std::string_view token) {
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t end = list.find(' ', pos);
    if (end == std::string_view::npos) end = list.size();
    if (list.substr(pos, end - pos) == token) return true;
    pos = end + 1;
  }
  return false;
}

// The programmable renderer needs these entry points; a driver that claims
// the extensions but lacks one gets the fixed pipeline instead of a crash.
bool HasProgrammableEntryPoints() {
  return glCreateProgram && glCreateShader && glShaderSource && glCompileShader &&
         glGetShaderiv && glGetShaderInfoLog && glAttachShader && glDetachShader &&
         glLinkProgram && glGetProgramiv && glGetProgramInfoLog && glUseProgram &&
         glDeleteShader && glDeleteProgram && glBindAttribLocation && glGetAttribLocation &&
         glGetUniformLocation && glUniformMatrix4fv && glUniform4fv && glGenVertexArrays &&
         glBindVertexArray && glDeleteVertexArrays && glGenBuffers && glBindBuffer &&
         glBufferData && glDeleteBuffers && glEnableVertexAttribArray &&
         glDisableVertexAttribArray && glVertexAttribPointer;
}

}  // namespace

// --- text overlay -----------------------------------------------------------

void CTextOverlay::BuildFont() {
  Release();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  listBase = glGenLists(128);
  if (listBase == 0) return;
  auto build = [this](char c) {
    glNewList(listBase + static_cast<unsigned char>(c), GL_COMPILE);
    glBitmap(8, 13, 0.0f, 2.0f, 10.0f, 0.0f, GlyphBitmap(c));
    glEndList();
  };
  for (char c = 'A'; c <= 'Z'; ++c) build(c);
  build(' ');
  build('.');
}

void CTextOverlay::AddText(const CPoint3d& position, std::string text) {
  items.push_back({position, std::move(text)});
}

void CTextOverlay::Draw() {
  if (listBase == 0) return;
  glColor3f(r, g, b);
  for (const TextItem& item : items) {
    // Only codes below 128 have lists of this font.
    std::string codes;
    for (char c : item.text) {
      if (static_cast<unsigned char>(c) < 128) codes.push_back(c);
    }
    glRasterPos3f(static_cast<float>(item.position.x), static_cast<float>(item.position.y),
                  static_cast<float>(item.position.z));
    glPushAttrib(GL_LIST_BIT);
    glListBase(listBase);
    glCallLists(static_cast<GLsizei>(codes.size()), GL_UNSIGNED_BYTE, codes.data());
    glPopAttrib();
  }
  glFlush();
}

void CTextOverlay::Release() {
  if (listBase != 0) glDeleteLists(listBase, 128);
  listBase = 0;
}

// --- scene ------------------------------------------------------------------

CRenderScene::CRenderScene(const CPoint3d& eye, const CPoint3d& target, const CPoint3d& up,
                           float depth)
    : m_eye(eye), m_target(target), m_up(up), m_depth(depth) {
  ResetView();
}

CRenderScene::~CRenderScene() = default;

void CRenderScene::SetShaderPaths(std::string vertexPath, std::string fragmentPath) {
  m_vertexShaderPath = std::move(vertexPath);
  m_fragmentShaderPath = std::move(fragmentPath);
}

void CRenderScene::Invalidate() {
  if (invalidate) invalidate();
}

void CRenderScene::LogGlInfo() {
  glewExperimental = GL_TRUE;
  std::string text = "OpenGL Version:" + GlString(GL_VERSION) + "\n";
  std::string glsl = GlString(GL_SHADING_LANGUAGE_VERSION);
  if (!glsl.empty()) text += "GLSL Version:" + glsl + "\n";
  text += "OpenGL extensions:" + GlString(GL_EXTENSIONS) + "\n";
  GLenum err = glewInit();
  if (err != GLEW_OK) {
    text += "GLSL Error:";
    text += reinterpret_cast<const char*>(glewGetErrorString(err));
    text += "\n";
  }
  text += "Status: Using GLEW ";
  text += reinterpret_cast<const char*>(glewGetString(GLEW_VERSION));
  text += "\n";
  m_glInfo = text;
  plat::Trace(text);
}

void CRenderScene::ChooseRenderer() {
  std::string extensions = GlString(GL_EXTENSIONS);
  bool programmable = !m_preferFixed &&
                      HasExtensionToken(extensions, "GL_ARB_vertex_array_object") &&
                      GLEW_ARB_vertex_shader && GLEW_ARB_fragment_shader &&
                      HasProgrammableEntryPoints();
  if (programmable) {
    m_render = std::make_unique<CRenderHiVer>();
    m_render->Init();
    if (m_render->LoadShaders(m_vertexShaderPath, m_fragmentShaderPath)) return;
    plat::Trace("Shaders unusable; drawing with the fixed pipeline\n");
    m_render->Release();
  }
  m_render = std::make_unique<CRenderLowVer>();
  m_render->Init();
  m_render->LoadShaders(m_vertexShaderPath, m_fragmentShaderPath);
}

bool CRenderScene::Initialize(int width, int height) {
  LogGlInfo();
  m_halfWidth = static_cast<int>(width * 0.5);
  m_halfHeight = static_cast<int>(height * 0.5);
  m_depthClamp = GLEW_VERSION_3_2 || GLEW_ARB_depth_clamp;
  ChooseRenderer();
  m_render->SetAttribLayout(3, CRenderData::kStrideBytes, 0, -1);  // constant normal
  m_overlay.items.clear();
  m_overlay.BuildFont();
  m_overlay.r = 0.f;
  m_overlay.g = 1.f;
  m_overlay.b = 1.f;
  m_overlay.AddText({-1.0, 0.95, 0.0}, "DEVELOPED BY TOVREK");
  m_overlay.AddText({-1.0, 0.85, 0.0}, "RAVIK TOOL PATH VIEW");
  if (m_keptData) m_render->SetRenderData(std::move(m_keptData));
  return true;
}

void CRenderScene::SetClearColor(float r, float g, float b, float a) {
  m_clear[0] = r;
  m_clear[1] = g;
  m_clear[2] = b;
  m_clear[3] = a;
  glClearColor(r, g, b, a);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
}

void CRenderScene::Render() {
  glViewport(m_viewport.x, m_viewport.y, m_viewport.width, m_viewport.height);
  glClearColor(m_clear[0], m_clear[1], m_clear[2], m_clear[3]);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_ALWAYS);
  glDepthMask(GL_TRUE);
  if (m_depthClamp) glEnable(GL_DEPTH_CLAMP);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  CMatrix4 v;
  m_camera.Apply(v);
  if (m_render) m_render->Render(v, m_projection);
  // The overlay's positions are normalised device coordinates in both
  // pipelines.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  m_overlay.Draw();
}

void CRenderScene::Uninitialize() {
  // The camera holds no GL objects and keeps its place for a rebuilt context.
  m_overlay.Release();
  if (m_render) {
    m_keptData = m_render->TakeData();
    m_render->Release();
    m_render.reset();
  }
}

float CRenderScene::FitTo(bool fit, float extent) {
  if (!fit) return extent;
  double c = m_fixedSize ? m_fixedHalfSize : (extent != 0.f ? extent : 100.0);
  UpdateProjection(m_viewport.width, c, m_viewport.height);
  m_camera.pan = {};
  m_camera.zoom = 1.0f;
  return extent;
}

float CRenderScene::SetRenderData(bool fit, std::unique_ptr<CRenderData> data) {
  if (!m_render) {
    m_keptData = std::move(data);
    return 0.f;
  }
  float e = m_render->SetRenderData(std::move(data));
  Invalidate();
  return FitTo(fit, e);
}

float CRenderScene::AdoptUploaded(bool fit, std::unique_ptr<CRenderData> data,
                                  GpuBuffers buffers) {
  if (!m_render) {
    DeleteBuffers(buffers);
    m_keptData = std::move(data);
    return 0.f;
  }
  float e = m_render->AdoptUploaded(std::move(data), buffers);
  Invalidate();
  return FitTo(fit, e);
}

bool CRenderScene::Restyle(const quillet::PathGroups& groups) {
  bool ok = m_render && m_render->Restyle(groups);
  if (ok) Invalidate();
  return ok;
}

void CRenderScene::Resize(int width, int height) {
  m_halfWidth = static_cast<int>(width * 0.5);
  m_halfHeight = static_cast<int>(height * 0.5);
  glViewport(0, 0, width, height);
  UpdateProjection(width, 50.0, height);
}

void CRenderScene::UpdateProjection(int width, double c, int height) {
  m_viewport.x = 0;
  m_viewport.y = 0;
  m_viewport.width = width;
  m_viewport.height = height;
  m_projection.SetIdentity();
  // A window of no area keeps the identity projection.
  if (width > 0 && height > 0) {
    float fc = static_cast<float>(c);
    if (height < width) {
      float a = static_cast<float>(width) / static_cast<float>(height);
      m_projection.Ortho(-fc * a, fc * a, -fc, fc, m_depth, -m_depth);
      m_viewport.near = -m_depth;
      m_viewport.far = m_depth;
    } else {
      float a = static_cast<float>(height) / static_cast<float>(width);
      m_projection.Ortho(-fc, fc, -fc * a, fc * a, m_depth, -m_depth);
      m_viewport.near = m_depth;
      m_viewport.far = -m_depth;
    }
  }
  Invalidate();
}

CPoint3d CRenderScene::PickPoint(double x, double y) {
  float depth = 0.f;
  if (m_viewport.width > 0 && m_viewport.height > 0) {
    int px = std::clamp(static_cast<int>(x), 0, m_viewport.width - 1);
    int py = std::clamp(m_viewport.height - 1 - static_cast<int>(y), 0, m_viewport.height - 1);
    glReadPixels(px, py, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  }
  return CMatrix4::UnprojectPoint(m_model, m_view, m_projection, m_viewport, x, y, depth);
}

CursorShape CRenderScene::HandleMouseEvent(const MouseEvent& e) {
  CursorShape cursor = CursorShape::Unchanged;
  switch (e.type) {
    case MouseEvent::kMove:
      if (e.flags & MouseEvent::kLeftButton) {
        cursor = CursorShape::Hand;
        m_camera.Trackball(e.x, e.y);
      } else if (e.flags & MouseEvent::kMiddleButton) {
        cursor = CursorShape::Cross;
        CPoint3d p = PickPoint(e.x, e.y);
        m_camera.Pan(p.x, p.y);
      }
      break;
    case MouseEvent::kButtonDown:
      if (e.flags & MouseEvent::kMiddleButton) {
        cursor = CursorShape::Cross;
        CPoint3d p = PickPoint(e.x, e.y);
        m_camera.currentPoint.x = p.x;
        m_camera.currentPoint.y = p.y;
      } else {
        cursor = CursorShape::Hand;
        m_camera.currentPoint.x = e.x;
        m_camera.currentPoint.y = e.y;
      }
      m_camera.lastPoint = m_camera.currentPoint;
      break;
    case MouseEvent::kWheel:
      m_camera.ZoomStep(e.wheelDelta < 0 ? -1 : 1);
      break;
    default:
      break;
  }
  Invalidate();
  return cursor;
}

void CRenderScene::ResetView() {
  m_camera.Init(m_eye, m_up, m_target);
  m_model.SetIdentity();
  m_view.SetIdentity();
  m_camera.Apply(m_view);
  Invalidate();
}

void CRenderScene::SetStandardView(StandardView view) {
  ResetView();
  switch (view) {
    case StandardView::XY:
      break;
    case StandardView::XZ:
      m_camera.Rotate(90.f, 1.f, 0.f, 0.f);
      break;
    case StandardView::YZ:
      m_camera.Rotate(-90.f, 0.f, 1.f, 0.f);
      m_camera.Rotate(-180.f, 0.f, 1.f, 1.f);
      break;
  }
  Invalidate();
}

}  // namespace ravik
