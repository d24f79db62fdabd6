// The two renderers of the tool path behind one interface: `CRenderHiVer` on
// the programmable pipeline (a GLSL program, one vertex array object, a vertex
// buffer and an index buffer) and `CRenderLowVer` on the fixed pipeline
// (matrices loaded with glLoadMatrixf, vertex arrays read from the view's own
// copy of the path).
//
// Every call that touches OpenGL needs the view's context current. This
// header exposes no OpenGL types, so that it can be included beside Qt's
// OpenGL headers; the OpenGL code itself lives in translation units that
// include GLEW.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "viewer/render/Matrix.h"
#include "viewer/render/RenderData.h"

namespace ravik {

// Buffer objects holding one uploaded path (0 = none).
struct GpuBuffers {
  unsigned vertexBuffer = 0;
  unsigned indexBuffer = 0;
  bool empty() const { return vertexBuffer == 0 && indexBuffer == 0; }
};

// Uploads `data` into two new buffer objects of the current context (which
// may be a context sharing with the view's) and waits until the upload is
// complete. Empty data gives no buffers.
GpuBuffers UploadBuffers(const CRenderData& data);
// Deletes buffers made by UploadBuffers (current context sharing them).
void DeleteBuffers(GpuBuffers& buffers);

// Base of the GL object wrappers: the object's name, 0 when none.
class CBufferData {
 public:
  virtual ~CBufferData() = default;
  virtual void Create() {}
  virtual void Bind() {}
  virtual void Unbind() {}
  virtual void Delete() {}
  unsigned name = 0;
};

class CVao : public CBufferData {
 public:
  void Create() override;
  void Bind() override;
  void Unbind() override;
  void Delete() override;
};

class CVbo : public CBufferData {
 public:
  void Create() override;
  void Bind() override;
  void Unbind() override;
  void Delete() override;
};

// The index buffer beside the vertex buffer (GL_ELEMENT_ARRAY_BUFFER).
class CIbo : public CBufferData {
 public:
  void Create() override;
  void Bind() override;
  void Unbind() override;
  void Delete() override;
};

class CShaderProgram {
 public:
  ~CShaderProgram();
  // Compiles the shader source of the file at `path`; a missing file or a
  // compile error writes the log to the trace output and adds nothing.
  bool AddShaderFile(const std::string& path, unsigned type);
  // Links the shaders added so far; on failure the log goes to the trace
  // output, the program object is deleted and 0 is returned.
  unsigned Link();
  void Delete();

  unsigned handle = 0;
  std::vector<unsigned> shaders;
};

class CRender {
 public:
  virtual ~CRender() = default;

  virtual void Init() {}
  // Returns false when the pipeline cannot draw with the given shaders.
  virtual bool LoadShaders(const std::string& /*vertexPath*/, const std::string& /*fragmentPath*/) {
    return true;
  }
  virtual void Release() {}
  // Takes the data; uploads it where the renderer draws from buffers. Returns
  // the larger of the x and y extents of the last non-empty data.
  virtual float SetRenderData(std::unique_ptr<CRenderData> data);
  // Takes data whose buffers were uploaded through a sharing context.
  virtual float AdoptUploaded(std::unique_ptr<CRenderData> data, GpuBuffers buffers);
  virtual void SetAttribLayout(int /*components*/, int /*stride*/, int /*positionOffset*/,
                               int /*normalOffset*/) {}
  virtual void CreateBuffers() {}
  virtual void Render(const CMatrix4& /*modelView*/, const CMatrix4& /*projection*/) {}
  virtual void DrawPaths() {}
  // Whether the renderer draws from buffer objects (so that a loader may
  // upload them on its own context).
  virtual bool UsesBuffers() const { return false; }
  virtual bool IsProgrammable() const { return false; }

  // New styles for the same polylines (block highlight): only the batches are
  // formed again. False when `groups` no longer matches the data.
  bool Restyle(const quillet::PathGroups& groups);
  // Gives up the data (kept by the scene while its context is rebuilt).
  std::unique_ptr<CRenderData> TakeData() { return std::move(data); }
  const CRenderData* renderData() const { return data.get(); }

  bool smoothing = false;
  std::unique_ptr<CRenderData> data;
  float dx = 0.f, dy = 0.f, dz = 0.f;

 protected:
  // Records the extents of non-empty data; returns max(dx, dy).
  float TakeExtents(const CRenderData& d);
  // Applies a batch's line width or point size and stipple.
  static void ApplyBatchState(const DrawBatch& batch);
  void ApplySmoothing() const;
};

class CRenderHiVer : public CRender {
 public:
  ~CRenderHiVer() override;
  void Init() override;
  bool LoadShaders(const std::string& vertexPath, const std::string& fragmentPath) override;
  void Release() override;
  float SetRenderData(std::unique_ptr<CRenderData> data) override;
  float AdoptUploaded(std::unique_ptr<CRenderData> data, GpuBuffers buffers) override;
  void SetAttribLayout(int components, int stride, int positionOffset, int normalOffset) override;
  void CreateBuffers() override;
  void Render(const CMatrix4& modelView, const CMatrix4& projection) override;
  void DrawPaths() override;
  bool UsesBuffers() const override { return true; }
  bool IsProgrammable() const override { return true; }

  CShaderProgram program;
  CVao vao;
  CVbo vbo;
  CIbo ibo;
  int positionLocation = -1;
  int normalLocation = -1;

 private:
  // Points the vertex array object at the current buffers.
  void BindLayout();
  // A negative normal offset: the normal is the constant (0, 1, 0).
  int m_components = 3, m_stride = CRenderData::kStrideBytes, m_positionOffset = 0,
      m_normalOffset = -1;
  bool m_layoutSet = false;
  int m_projectionLocation = -1, m_modelViewLocation = -1, m_colourLocation = -1;
};

class CRenderLowVer : public CRender {
 public:
  float SetRenderData(std::unique_ptr<CRenderData> data) override;
  void Render(const CMatrix4& modelView, const CMatrix4& projection) override;
  void DrawPaths() override;
};

}  // namespace ravik
