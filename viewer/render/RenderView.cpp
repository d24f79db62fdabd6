// Qt side of the view. No GLEW here: the scene and the renderers do all
// OpenGL calls in their own translation units.
#include "viewer/render/RenderView.h"

#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QThread>
#include <QWheelEvent>

#include "platform/Host.h"
#include "platform/Paths.h"

namespace ravik {

RenderView::RenderView(QWidget* parent)
    : QOpenGLWidget(parent),
      m_scene(CPoint3d(0, 0, 800), CPoint3d(0, 0, 0), CPoint3d(0, 1, 0), 10000.0f) {
  setFormat(DefaultFormat());
  m_scene.invalidate = [this] { update(); };
}

RenderView::~RenderView() {
  if (m_glReady) {
    makeCurrent();
    releaseGl();
    doneCurrent();
  }
  // The base class destroys the context next; nothing may call back into
  // this half-destroyed object then.
  delete m_contextWatcher;
  m_contextWatcher = nullptr;
  std::lock_guard lock(m_pendingMutex);
  m_pending.reset();
}

QSurfaceFormat RenderView::DefaultFormat() {
  QSurfaceFormat f;
  f.setRenderableType(QSurfaceFormat::OpenGL);
  f.setVersion(2, 1);
  f.setProfile(QSurfaceFormat::CompatibilityProfile);
  f.setDepthBufferSize(24);
  f.setStencilBufferSize(8);
  f.setSamples(0);
  return f;
}

bool RenderView::threadedUpload() const {
  return m_threadedWanted && m_loaderContext != nullptr;
}

void RenderView::initializeGL() {
  if (m_scene.vertexShaderPath().empty()) {
    m_scene.SetShaderPaths(plat::ExePath("vertexShader.glsl"), plat::ExePath("fragmentShader.glsl"));
  }
  const qreal dpr = devicePixelRatioF();
  m_scene.Initialize(static_cast<int>(width() * dpr), static_cast<int>(height() * dpr));
  m_scene.SetClearColor(0.f, 0.f, 0.f, 1.f);
  m_usesBuffers = m_scene.render() && m_scene.render()->UsesBuffers();

  // Released while the context is still current, before Qt deletes it (also
  // when the widget moves to another window and gets a new context). The
  // receiver is not the widget itself: such a connection may not fire then.
  delete m_contextWatcher;
  m_contextWatcher = new QObject;
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, m_contextWatcher, [this] {
    makeCurrent();
    releaseGl();
    doneCurrent();
  });
  createLoaderContext();
  m_glReady = true;
}

void RenderView::createLoaderContext() {
  if (!QOpenGLContext::supportsThreadedOpenGL()) {
    plat::Trace("OpenGL on other threads unsupported; paths are uploaded on the interface thread\n");
    return;
  }
  auto* surface = new QOffscreenSurface;
  surface->setFormat(context()->format());
  surface->create();
  auto* ctx = new QOpenGLContext;
  ctx->setFormat(context()->format());
  ctx->setShareContext(context());
  if (!surface->isValid() || !ctx->create() || !QOpenGLContext::areSharing(ctx, context())) {
    plat::Trace("No context sharing with the view; paths are uploaded on the interface thread\n");
    delete ctx;
    delete surface;
    return;
  }
  // Parked without thread affinity, so that a loader thread can take it.
  ctx->moveToThread(nullptr);
  std::lock_guard lock(m_loaderMutex);
  m_loaderContext = ctx;
  m_loaderSurface = surface;
}

void RenderView::destroyLoaderContext() {
  std::lock_guard lock(m_loaderMutex);  // waits for an upload in progress
  if (m_loaderContext) {
    m_loaderContext->moveToThread(QThread::currentThread());
    delete m_loaderContext;
    m_loaderContext = nullptr;
  }
  delete m_loaderSurface;
  m_loaderSurface = nullptr;
}

void RenderView::releaseGl() {
  if (!m_glReady) return;
  std::vector<GpuBuffers> orphans;
  {
    std::lock_guard lock(m_pendingMutex);
    orphans.swap(m_orphans);
    if (m_pending && !m_pending->buffers.empty()) orphans.push_back(m_pending->buffers);
    if (m_pending) m_pending->buffers = {};
  }
  for (GpuBuffers& b : orphans) DeleteBuffers(b);
  m_scene.Uninitialize();
  destroyLoaderContext();
  m_glReady = false;
}

void RenderView::resizeGL(int w, int h) {
  const qreal dpr = devicePixelRatioF();
  m_scene.Resize(static_cast<int>(w * dpr), static_cast<int>(h * dpr));
  // A path that arrived before the view had a size is fitted now.
  if (adoptPending()) emit uploadApplied();
}

void RenderView::paintGL() { m_scene.Render(); }

void RenderView::storePending(std::unique_ptr<Pending> pending) {
  std::lock_guard lock(m_pendingMutex);
  if (m_pending && !m_pending->buffers.empty()) m_orphans.push_back(m_pending->buffers);
  m_pending = std::move(pending);
}

void RenderView::loaderUpload(const quillet::PathGroups& groups, bool fit) {
  auto p = std::make_unique<Pending>();
  p->data = std::make_unique<CRenderData>(groups, m_batchMode);
  p->fit = fit;
  if (QThread::currentThread() == thread()) {
    storePending(std::move(p));
    applyPending();
    return;
  }
  if (m_threadedWanted && m_usesBuffers) {
    std::lock_guard lock(m_loaderMutex);
    if (m_loaderContext) {
      m_loaderContext->moveToThread(QThread::currentThread());
      if (m_loaderContext->makeCurrent(m_loaderSurface)) {
        p->buffers = UploadBuffers(*p->data);
        m_loaderContext->doneCurrent();
      }
      m_loaderContext->moveToThread(nullptr);
    }
  }
  storePending(std::move(p));
  QMetaObject::invokeMethod(this, [this] { applyPending(); }, Qt::QueuedConnection);
}

bool RenderView::adoptPending() {
  std::unique_ptr<Pending> p;
  std::vector<GpuBuffers> orphans;
  {
    std::lock_guard lock(m_pendingMutex);
    p = std::move(m_pending);
    orphans.swap(m_orphans);
  }
  for (GpuBuffers& b : orphans) DeleteBuffers(b);
  if (!p) return false;
  if (p->buffers.empty()) {
    m_scene.SetRenderData(p->fit, std::move(p->data));
  } else {
    m_scene.AdoptUploaded(p->fit, std::move(p->data), p->buffers);
  }
  return true;
}

void RenderView::applyPending() {
  if (!m_glReady) return;  // the first resizeGL takes it
  {
    std::lock_guard lock(m_pendingMutex);
    if (!m_pending && m_orphans.empty()) return;
  }
  makeCurrent();
  const bool adopted = adoptPending();
  doneCurrent();
  if (adopted) {
    update();
    emit uploadApplied();
  }
}

bool RenderView::highlight(const quillet::PathGroups& groups) {
  if (m_glReady && m_scene.Restyle(groups)) {
    update();
    return true;
  }
  loaderUpload(groups, false);
  return false;
}

void RenderView::setStandardView(StandardView view) {
  m_scene.SetStandardView(view);
  update();
}

void RenderView::sendMouse(const MouseEvent& event) {
  if (!m_glReady) return;
  makeCurrent();
  CursorShape cursor = m_scene.HandleMouseEvent(event);
  doneCurrent();
  if (cursor == CursorShape::Hand) setCursor(Qt::PointingHandCursor);
  if (cursor == CursorShape::Cross) setCursor(Qt::CrossCursor);
  emit sceneMouseEvent(event.type, event.flags, event.x, event.y);
}

void RenderView::mousePressEvent(QMouseEvent* e) {
  MouseEvent ev;
  ev.type = MouseEvent::kButtonDown;
  if (e->button() == Qt::LeftButton) {
    ev.flags = MouseEvent::kLeftButton;
    setFocus();
  } else if (e->button() == Qt::MiddleButton) {
    ev.flags = MouseEvent::kMiddleButton;
  } else {
    QOpenGLWidget::mousePressEvent(e);
    return;
  }
  const qreal dpr = devicePixelRatioF();
  ev.x = e->position().x() * dpr;
  ev.y = e->position().y() * dpr;
  sendMouse(ev);
}

void RenderView::mouseMoveEvent(QMouseEvent* e) {
  QOpenGLWidget::mouseMoveEvent(e);
  MouseEvent ev;
  ev.type = MouseEvent::kMove;
  if (e->buttons() == Qt::LeftButton && !m_suppressDrag) {
    ev.flags = MouseEvent::kLeftButton;
  } else if (e->buttons() == Qt::MiddleButton) {
    ev.flags = MouseEvent::kMiddleButton;
  }
  m_suppressDrag = false;
  const qreal dpr = devicePixelRatioF();
  ev.x = e->position().x() * dpr;
  ev.y = e->position().y() * dpr;
  sendMouse(ev);
}

// A drag ends when its last button is released: the cursor shows the arrow
// again.
void RenderView::mouseReleaseEvent(QMouseEvent* e) {
  QOpenGLWidget::mouseReleaseEvent(e);
  if (e->buttons() == Qt::NoButton) unsetCursor();
}

void RenderView::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  if (delta == 0) {  // a sideways scroll
    QOpenGLWidget::wheelEvent(e);
    return;
  }
  MouseEvent ev;
  ev.type = MouseEvent::kWheel;
  ev.wheelDelta = delta;
  const qreal dpr = devicePixelRatioF();
  ev.x = e->position().x() * dpr;
  ev.y = e->position().y() * dpr;
  sendMouse(ev);
  e->accept();
}

}  // namespace ravik
