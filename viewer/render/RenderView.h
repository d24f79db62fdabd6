// RenderView: the window of the 3D tool-path view, a QOpenGLWidget holding
// the scene (CRenderScene). It makes its context current around every scene
// call, turns Qt's mouse input into MouseEvent, and takes new tool paths from
// the loader thread.
//
// Interface for the window that owns it:
//
//   RenderView* view = new RenderView(parent);   // compatibility profile
//   view->scene().SetShaderPaths(...)            // optional; defaults to
//                                                // "vertexShader.glsl" and
//                                                // "fragmentShader.glsl" beside
//                                                // the executable
//
//   Loader thread (or the interface thread), holding the library's path lock:
//     view->loaderUpload(*Code_CutterPath());     // copies the path; returns
//     release the lock                            // when the library's memory
//                                                 // is no longer needed
//   The copy (and, where the platform allows OpenGL on other threads, the
//   upload into buffers through a second context that shares with the
//   view's) happens inside the call; the view adopts the result on the
//   interface thread, fits the projection to it and repaints, then emits
//   uploadApplied(). Called on the interface thread it does everything at
//   once. Before the view has a context the path waits for it.
//
//   Block highlight (interface thread, holding the path lock):
//     view->highlight(*Code_SelBlock(&line));
//   The library recolours polylines in place; only the styles are read again
//   and the draw batches formed anew, nothing is uploaded again. When the
//   polylines no longer match the drawn ones the path is copied and uploaded
//   in full, without fitting.
//
//   Standard views: setStandardView(StandardView::XY / XZ / YZ).
//
//   suppressNextDrag(): the next mouse move is not taken as a left-button
//   drag (for a file opened by a double click).
//
// Whoever owns the view joins its loader thread before destroying the view.
#pragma once
#include <QOpenGLWidget>
#include <QSurfaceFormat>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "viewer/render/RenderScene.h"

class QOffscreenSurface;
class QOpenGLContext;

namespace ravik {

class RenderView : public QOpenGLWidget {
  Q_OBJECT

 public:
  explicit RenderView(QWidget* parent = nullptr);
  ~RenderView() override;

  // Version 2.1 compatibility profile, depth 24, stencil 8, no multisampling
  // (picking reads depth back from the framebuffer).
  static QSurfaceFormat DefaultFormat();

  CRenderScene& scene() { return m_scene; }

  // Any thread; see the header comment.
  void loaderUpload(const quillet::PathGroups& groups, bool fit = true);
  // Interface thread; see the header comment. False when nothing was drawn
  // yet to restyle and the path was taken in full instead.
  bool highlight(const quillet::PathGroups& groups);

  void setStandardView(StandardView view);
  void suppressNextDrag() { m_suppressDrag = true; }

  // Whether loaders upload on their own thread through the shared context;
  // on by default where the platform supports it. Off, they only copy the
  // path and the interface thread uploads it.
  void setThreadedUpload(bool on) { m_threadedWanted = on; }
  bool threadedUpload() const;
  // How batches are formed for later paths (tests and benchmark).
  void setBatchMode(BatchMode mode) { m_batchMode = mode; }
  // Before the first show: always use the fixed pipeline.
  void setPreferFixedPipeline(bool prefer) { m_scene.SetPreferFixedPipeline(prefer); }
  bool glReady() const { return m_glReady; }

 signals:
  // A path handed to loaderUpload is now what the view draws.
  void uploadApplied();
  // After the scene handled a mouse event.
  void sceneMouseEvent(int type, int flags, double x, double y);

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  struct Pending {
    std::unique_ptr<CRenderData> data;
    GpuBuffers buffers;
    bool fit = true;
  };
  void sendMouse(const MouseEvent& event);
  void applyPending();
  // Takes the pending path into the scene and deletes replaced uploads; the
  // view's context must be current. True when a path was taken.
  bool adoptPending();
  void releaseGl();
  void createLoaderContext();
  void destroyLoaderContext();
  void storePending(std::unique_ptr<Pending> pending);

  CRenderScene m_scene;
  bool m_glReady = false;
  bool m_suppressDrag = false;
  std::atomic<bool> m_threadedWanted{true};
  std::atomic<BatchMode> m_batchMode{BatchMode::Batched};
  std::atomic<bool> m_usesBuffers{false};

  // The loader's context, sharing with the view's, parked with no thread
  // affinity between uploads; the mutex serialises its users.
  std::mutex m_loaderMutex;
  QOpenGLContext* m_loaderContext = nullptr;
  QOffscreenSurface* m_loaderSurface = nullptr;

  std::mutex m_pendingMutex;
  std::unique_ptr<Pending> m_pending;
  std::vector<GpuBuffers> m_orphans;  // uploaded, then replaced before adoption

  QObject* m_contextWatcher = nullptr;
};

}  // namespace ravik
