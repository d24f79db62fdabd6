// OpenGL side of the renderers. GLEW comes first and no Qt OpenGL header is
// included here.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/Files.h"
#include "platform/Host.h"
#include "viewer/render/Render.h"

namespace ravik {

namespace {

const void* ByteOffset(std::size_t bytes) { return reinterpret_cast<const void*>(bytes); }

float UsableWidth(float width) { return (std::isfinite(width) && width > 0.0f) ? width : 1.0f; }

void DrawBatchArrays(const CRenderData& d, const DrawBatch& b, const void* indexBase) {
  const GLenum kind = static_cast<GLenum>(b.style.kind);
  switch (b.draw) {
    case BatchDraw::Single:
      glDrawArrays(kind, b.firstVertex, b.vertexCount);
      break;
    case BatchDraw::Pairs:
      glDrawArrays(GL_LINES, b.firstVertex, b.vertexCount);
      break;
    case BatchDraw::Lines:
      glDrawElements(GL_LINES, static_cast<GLsizei>(b.indexCount), GL_UNSIGNED_INT,
                     static_cast<const char*>(indexBase) + std::size_t{b.firstIndex} * 4);
      break;
    case BatchDraw::MultiDraw:
      if (glMultiDrawArrays) {
        glMultiDrawArrays(kind, d.firsts.data() + b.firstPolyline,
                          d.counts.data() + b.firstPolyline,
                          static_cast<GLsizei>(b.polylineCount));
      } else {
        for (std::uint32_t i = 0; i < b.polylineCount; ++i) {
          glDrawArrays(kind, d.firsts[b.firstPolyline + i], d.counts[b.firstPolyline + i]);
        }
      }
      break;
    case BatchDraw::Skip:
      break;
  }
}

}  // namespace

GpuBuffers UploadBuffers(const CRenderData& data) {
  GpuBuffers out;
  if (data.empty()) return out;
  glGenBuffers(1, &out.vertexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, out.vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data.vertices.size() * sizeof(float)),
               data.vertices.data(), GL_STATIC_DRAW);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  if (!data.indices.empty()) {
    glGenBuffers(1, &out.indexBuffer);
    // Bound as an array buffer here: no vertex array object is bound on a
    // loader context, and the binding point does not matter for the upload.
    glBindBuffer(GL_ARRAY_BUFFER, out.indexBuffer);
    glBufferData(GL_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(data.indices.size() * sizeof(std::uint32_t)),
                 data.indices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
  }
  glFinish();
  return out;
}

void DeleteBuffers(GpuBuffers& buffers) {
  if (buffers.vertexBuffer) glDeleteBuffers(1, &buffers.vertexBuffer);
  if (buffers.indexBuffer) glDeleteBuffers(1, &buffers.indexBuffer);
  buffers = {};
}

// --- GL object wrappers -----------------------------------------------------

void CVao::Create() { glGenVertexArrays(1, &name); }
void CVao::Bind() { glBindVertexArray(name); }
void CVao::Unbind() { glBindVertexArray(0); }
void CVao::Delete() {
  if (name != 0) glDeleteVertexArrays(1, &name);
  name = 0;
}

void CVbo::Create() { glGenBuffers(1, &name); }
void CVbo::Bind() { glBindBuffer(GL_ARRAY_BUFFER, name); }
void CVbo::Unbind() { glBindBuffer(GL_ARRAY_BUFFER, 0); }
void CVbo::Delete() {
  if (name != 0) glDeleteBuffers(1, &name);
  name = 0;
}

void CIbo::Create() { glGenBuffers(1, &name); }
void CIbo::Bind() { glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, name); }
void CIbo::Unbind() { glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0); }
void CIbo::Delete() {
  if (name != 0) glDeleteBuffers(1, &name);
  name = 0;
}

// --- shader program ---------------------------------------------------------

CShaderProgram::~CShaderProgram() {
  // The program is deleted by Delete() while the context is current; a
  // program still held here belongs to a context that is already gone.
}

bool CShaderProgram::AddShaderFile(const std::string& path, unsigned type) {
  std::optional<std::string> source = plat::ReadFileBytes(path);
  if (!source) {
    plat::Trace("Shader file cannot be read: " + path + "\n");
    return false;
  }
  GLuint shader = glCreateShader(type);
  if (shader == 0) return false;
  const GLchar* text = source->c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    std::string log(4096, '\0');
    GLsizei len = 0;
    glGetShaderInfoLog(shader, 4096, &len, log.data());
    log.resize(static_cast<std::size_t>(std::clamp(len, 0, 4096)));
    glDeleteShader(shader);
    plat::Trace("Shader compile failed: " + path + "\n" + log + "\n");
    return false;
  }
  glAttachShader(handle, shader);
  shaders.push_back(shader);
  return true;
}

unsigned CShaderProgram::Link() {
  if (handle == 0) return 0;
  glLinkProgram(handle);
  GLint ok = GL_FALSE;
  glGetProgramiv(handle, GL_LINK_STATUS, &ok);
  if (ok == GL_TRUE) return handle;
  std::string log(4096, '\0');
  GLsizei len = 0;
  glGetProgramInfoLog(handle, 4096, &len, log.data());
  log.resize(static_cast<std::size_t>(std::clamp(len, 0, 4096)));
  plat::Trace("Shader link failed:\n" + log + "\n");
  Delete();
  return 0;
}

void CShaderProgram::Delete() {
  for (unsigned s : shaders) {
    if (handle) glDetachShader(handle, s);
    glDeleteShader(s);
  }
  shaders.clear();
  if (handle > 0) glDeleteProgram(handle);
  handle = 0;
}

// --- base renderer ----------------------------------------------------------

float CRender::SetRenderData(std::unique_ptr<CRenderData> d) {
  data = std::move(d);
  if (data && !data->empty()) return TakeExtents(*data);
  return std::max(dx, dy);
}

float CRender::AdoptUploaded(std::unique_ptr<CRenderData> d, GpuBuffers buffers) {
  DeleteBuffers(buffers);
  return SetRenderData(std::move(d));
}

bool CRender::Restyle(const quillet::PathGroups& groups) {
  return data && data->Restyle(groups);
}

float CRender::TakeExtents(const CRenderData& d) {
  dx = static_cast<float>(d.maxX - d.minX);
  dy = static_cast<float>(d.maxY - d.minY);
  dz = static_cast<float>(d.maxZ - d.minZ);
  return std::max(dx, dy);
}

void CRender::ApplyBatchState(const DrawBatch& b) {
  if (b.style.kind == GL_POINTS) {
    glPointSize(UsableWidth(b.style.width));
  } else {
    glLineWidth(UsableWidth(b.style.width));
  }
  int pattern = StipplePattern(b.style.pattern);
  if (pattern < 0) {
    glDisable(GL_LINE_STIPPLE);
  } else {
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(1, static_cast<GLushort>(pattern));
  }
}

void CRender::ApplySmoothing() const {
  if (smoothing) {
    glEnable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_FASTEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
  }
}

// --- programmable pipeline --------------------------------------------------

CRenderHiVer::~CRenderHiVer() = default;

void CRenderHiVer::Init() { CreateBuffers(); }

void CRenderHiVer::CreateBuffers() {
  vao.Create();
  vbo.Create();
  ibo.Create();
}

bool CRenderHiVer::LoadShaders(const std::string& vertexPath, const std::string& fragmentPath) {
  program.Delete();
  program.handle = glCreateProgram();
  if (program.handle == 0) return false;
  bool ok = program.AddShaderFile(vertexPath, GL_VERTEX_SHADER);
  ok = program.AddShaderFile(fragmentPath, GL_FRAGMENT_SHADER) && ok;
  if (!ok) {
    program.Delete();
    return false;
  }
  // Attribute 0 is the position, as the fixed pipeline's vertex is.
  glBindAttribLocation(program.handle, 0, "vPosition");
  if (program.Link() == 0) return false;
  positionLocation = glGetAttribLocation(program.handle, "vPosition");
  normalLocation = glGetAttribLocation(program.handle, "vNormal");
  m_projectionLocation = glGetUniformLocation(program.handle, "Projection");
  m_modelViewLocation = glGetUniformLocation(program.handle, "ModelView");
  m_colourLocation = glGetUniformLocation(program.handle, "DiffuseProduct");
  if (positionLocation < 0 || m_projectionLocation < 0 || m_modelViewLocation < 0 ||
      m_colourLocation < 0) {
    plat::Trace("Shader program lacks vPosition, Projection, ModelView or DiffuseProduct\n");
    program.Delete();
    positionLocation = normalLocation = -1;
    return false;
  }
  if (m_layoutSet) BindLayout();
  return true;
}

void CRenderHiVer::SetAttribLayout(int components, int stride, int positionOffset,
                                   int normalOffset) {
  m_components = components;
  m_stride = stride;
  m_positionOffset = positionOffset;
  m_normalOffset = normalOffset;
  m_layoutSet = true;
  BindLayout();
}

void CRenderHiVer::BindLayout() {
  if (vao.name == 0) return;
  vao.Bind();
  vbo.Bind();
  if (positionLocation >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(positionLocation));
    glVertexAttribPointer(static_cast<GLuint>(positionLocation), m_components, GL_FLOAT, GL_FALSE,
                          m_stride, ByteOffset(static_cast<std::size_t>(m_positionOffset)));
  }
  if (normalLocation >= 0 && m_normalOffset >= 0) {
    glEnableVertexAttribArray(static_cast<GLuint>(normalLocation));
    glVertexAttribPointer(static_cast<GLuint>(normalLocation), m_components, GL_FLOAT, GL_FALSE,
                          m_stride, ByteOffset(static_cast<std::size_t>(m_normalOffset)));
  } else if (normalLocation >= 0) {
    // Every vertex of a line has the same normal.
    glDisableVertexAttribArray(static_cast<GLuint>(normalLocation));
    glVertexAttrib3f(static_cast<GLuint>(normalLocation), 0.0f, 1.0f, 0.0f);
  }
  // The element buffer binding is part of the vertex array object's state.
  ibo.Bind();
  vao.Unbind();
  vbo.Unbind();
  ibo.Unbind();
}

float CRenderHiVer::SetRenderData(std::unique_ptr<CRenderData> d) {
  data = std::move(d);
  if (!data || data->empty()) return std::max(dx, dy);
  vbo.Bind();
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(data->vertices.size() * sizeof(float)),
               data->vertices.data(), GL_STATIC_DRAW);
  vbo.Unbind();
  // Through the vertex array object, which holds the element binding.
  vao.Bind();
  ibo.Bind();
  glBufferData(GL_ELEMENT_ARRAY_BUFFER,
               static_cast<GLsizeiptr>(data->indices.size() * sizeof(std::uint32_t)),
               data->indices.empty() ? nullptr : data->indices.data(), GL_STATIC_DRAW);
  vao.Unbind();
  data->ReleaseHostArrays();  // the buffers hold them now
  return TakeExtents(*data);
}

float CRenderHiVer::AdoptUploaded(std::unique_ptr<CRenderData> d, GpuBuffers buffers) {
  if (!d || d->empty() || buffers.vertexBuffer == 0) {
    DeleteBuffers(buffers);
    return SetRenderData(std::move(d));
  }
  vbo.Delete();
  ibo.Delete();
  vbo.name = buffers.vertexBuffer;
  ibo.name = buffers.indexBuffer;
  if (ibo.name == 0) ibo.Create();
  data = std::move(d);
  data->ReleaseHostArrays();  // the buffers hold them now
  BindLayout();
  return TakeExtents(*data);
}

void CRenderHiVer::Render(const CMatrix4& modelView, const CMatrix4& projection) {
  if (program.handle == 0) return;
  glUseProgram(program.handle);
  glUniformMatrix4fv(m_projectionLocation, 1, GL_FALSE, projection.Data());
  glUniformMatrix4fv(m_modelViewLocation, 1, GL_FALSE, modelView.Data());
  vao.Bind();
  DrawPaths();
  vao.Unbind();
  glUseProgram(0);
}

void CRenderHiVer::DrawPaths() {
  ApplySmoothing();
  if (!data || data->empty()) return;
  for (const DrawBatch& b : data->batches) {
    if (b.draw == BatchDraw::Skip) continue;
    ApplyBatchState(b);
    const float colour[4] = {b.style.r, b.style.g, b.style.b, b.style.a};
    glUniform4fv(m_colourLocation, 1, colour);
    DrawBatchArrays(*data, b, nullptr);  // indices come from the bound element buffer
  }
  glDisable(GL_LINE_STIPPLE);
}

void CRenderHiVer::Release() {
  glUseProgram(0);
  if (vao.name != 0) {
    vao.Bind();
    if (positionLocation >= 0) glDisableVertexAttribArray(static_cast<GLuint>(positionLocation));
    if (normalLocation >= 0) glDisableVertexAttribArray(static_cast<GLuint>(normalLocation));
    vao.Unbind();
  }
  positionLocation = normalLocation = -1;
  vbo.Delete();
  ibo.Delete();
  vao.Delete();
  program.Delete();
}

// --- fixed pipeline ---------------------------------------------------------

float CRenderLowVer::SetRenderData(std::unique_ptr<CRenderData> d) {
  return CRender::SetRenderData(std::move(d));
}

void CRenderLowVer::Render(const CMatrix4& modelView, const CMatrix4& projection) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glLoadMatrixf(projection.Data());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glLoadMatrixf(modelView.Data());
  DrawPaths();
}

void CRenderLowVer::DrawPaths() {
  ApplySmoothing();
  if (!data || data->empty()) return;
  // Vertex arrays read from the view's own memory, not from buffer objects.
  if (glBindBuffer) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, CRenderData::kStrideBytes, data->vertices.data());
  for (const DrawBatch& b : data->batches) {
    if (b.draw == BatchDraw::Skip) continue;
    ApplyBatchState(b);
    glColor4f(b.style.r, b.style.g, b.style.b, b.style.a);
    DrawBatchArrays(*data, b, data->indices.data());
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisable(GL_LINE_STIPPLE);
}

}  // namespace ravik
