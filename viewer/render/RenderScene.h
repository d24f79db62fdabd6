// The 3D view's engine: the renderer chosen at start-up, the projection,
// view and model matrices, the camera, mouse handling, picking and the text
// overlay. The window that shows it (RenderView) owns the OpenGL contexts and
// makes its context current around every call that touches OpenGL
// (Initialize, SetClearColor, Render, SetRenderData, AdoptUploaded, Restyle,
// HandleMouseEvent, PickPoint, Uninitialize).
//
// Sizes and mouse positions are in device pixels, y counting downwards.
//
// Drawing order decides which line shows where lines cross, as in a window
// without a depth buffer: depth is written but the test always passes
// (GL_ALWAYS), so the last line drawn wins while picking can still read a
// depth back. Depth clamping (where the driver has it) keeps zoomed-in paths
// from being cut off by the near and far planes.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "viewer/render/Camera.h"
#include "viewer/render/Matrix.h"
#include "viewer/render/Render.h"
#include "viewer/render/RenderData.h"

namespace ravik {

// One mouse event as the window reports it.
struct MouseEvent {
  enum Type : int { kMove = 0, kButtonDown = 1, kWheel = 2 };
  enum Flags : int { kLeftButton = 1, kMiddleButton = 4 };
  int type = kMove;
  int flags = 0;
  int wheelDelta = 0;
  double x = 0.0;  // device pixels from the left
  double y = 0.0;  // device pixels from the top
};

// The cursor the window should show after an event.
enum class CursorShape { Unchanged, Hand, Cross };

enum class StandardView { XY, XZ, YZ };

// Bitmap-font text drawn over the picture (display lists, one per character
// code below 128).
class CTextOverlay {
 public:
  struct TextItem {
    CPoint3d position;
    std::string text;
  };
  void BuildFont();
  void AddText(const CPoint3d& position, std::string text);
  // Draws every item; the raster positions are normalised device coordinates.
  void Draw();
  void Release();

  unsigned listBase = 0;
  float r = 1.f, g = 1.f, b = 1.f;
  std::vector<TextItem> items;
};

class CRenderScene {
 public:
  CRenderScene(const CPoint3d& eye, const CPoint3d& target, const CPoint3d& up, float depth);
  virtual ~CRenderScene();
  CRenderScene(const CRenderScene&) = delete;
  CRenderScene& operator=(const CRenderScene&) = delete;

  // Starts GLEW, writes the GL information to the trace output, chooses the
  // renderer and loads the shaders (a missing or broken shader falls back to
  // the fixed pipeline). Data kept from an earlier context is uploaded again.
  virtual bool Initialize(int width, int height);
  virtual void SetClearColor(float r, float g, float b, float a);
  virtual void Render();
  // Releases every GL object (context current); the path data is kept for a
  // later Initialize.
  void Uninitialize();

  // Hands a new path to the renderer. With `fit`, the projection is fitted
  // to it and pan and zoom are reset. Returns the renderer's extent.
  float SetRenderData(bool fit, std::unique_ptr<CRenderData> data);
  // The same for data whose buffers a loader context already uploaded.
  float AdoptUploaded(bool fit, std::unique_ptr<CRenderData> data, GpuBuffers buffers);
  // New styles for the polylines drawn now (block highlight); see
  // CRenderData::Restyle. False when `groups` does not match the data.
  bool Restyle(const quillet::PathGroups& groups);

  void Resize(int width, int height);
  void UpdateProjection(int width, double halfSize, int height);
  CursorShape HandleMouseEvent(const MouseEvent& event);
  // The view-space point under a window position (x and y used).
  CPoint3d PickPoint(double x, double y);
  void ResetView();
  void SetStandardView(StandardView view);

  // Before Initialize: always use the fixed pipeline (tests, benchmark).
  void SetPreferFixedPipeline(bool prefer) { m_preferFixed = prefer; }
  void SetShaderPaths(std::string vertexPath, std::string fragmentPath);
  const std::string& vertexShaderPath() const { return m_vertexShaderPath; }
  const std::string& fragmentShaderPath() const { return m_fragmentShaderPath; }

  // Called when the picture needs repainting.
  std::function<void()> invalidate;

  CRender* render() const { return m_render.get(); }
  CCamera& camera() { return m_camera; }
  const CCamera& camera() const { return m_camera; }
  const CMatrix4& projection() const { return m_projection; }
  const CMatrix4& view() const { return m_view; }
  const CMatrix4& model() const { return m_model; }
  const Viewport& viewport() const { return m_viewport; }
  const CPoint3d& eye() const { return m_eye; }
  const CPoint3d& target() const { return m_target; }
  const CPoint3d& up() const { return m_up; }
  float depth() const { return m_depth; }
  CTextOverlay& overlay() { return m_overlay; }
  // The GL information written at start-up.
  const std::string& glInfo() const { return m_glInfo; }

 private:
  void Invalidate();
  void LogGlInfo();
  void ChooseRenderer();
  float FitTo(bool fit, float extent);

  Viewport m_viewport;
  std::unique_ptr<CRender> m_render;
  CPoint3d m_eye, m_target, m_up;
  float m_fixedHalfSize = 0.f;
  float m_depth = 10000.f;
  bool m_fixedSize = false;
  CTextOverlay m_overlay;
  CMatrix4 m_projection, m_view, m_model;
  std::string m_vertexShaderPath, m_fragmentShaderPath;
  int m_halfWidth = 0, m_halfHeight = 0;
  CCamera m_camera;

  bool m_preferFixed = false;
  bool m_depthClamp = false;
  float m_clear[4] = {0.f, 0.f, 0.f, 1.f};
  std::string m_glInfo;
  // Path data kept while the context is rebuilt.
  std::unique_ptr<CRenderData> m_keptData;
};

}  // namespace ravik
