#include "mod_gcode/export/LibraryState.h"

#include "platform/Host.h"

namespace quillet {

CLibraryState& Lib() {
  static CLibraryState* state = new CLibraryState();  // lives until the process ends
  return *state;
}

void InitPathStyles(CLibraryState& s) {
  auto set = [](CPathStyle& st, float r, float g, float b, float a, float width, short pattern) {
    st = CPathStyle();
    st.r = r;
    st.g = g;
    st.b = b;
    st.a = a;
    st.width = width;
    st.kind = 3;
    st.pattern = pattern;
  };
  set(s.styles[kStyleFeed], 0.f, 1.f, 0.f, 1.f, 1.5f, -1);
  set(s.styles[kStyleRapid], 0.f, 1.f, 1.f, 1.f, 1.0f, 0);
  set(s.styles[kStyleRefReturn], 0.8f, 0.f, 0.8f, 1.f, 1.2f, 3);
  set(s.styles[kStyleCompensation], 1.f, 0.f, 0.f, 1.f, 1.0f, -1);
  set(s.styles[kStyleArc], 1.f, 1.f, 0.f, 1.f, 1.5f, -1);
}

void SendToHost(unsigned message, std::uintptr_t wParam) { plat::SendTo(Lib().hostWindow, message, wParam, 0); }

void PostToHost(unsigned message, std::uintptr_t wParam) { plat::PostTo(Lib().hostWindow, message, wParam, 0); }

bool HostWindowSet() { return Lib().hostWindow != 0; }

void AskToolOffsets(int tool, double& first, double& second, double& third) {
  first = second = third = 0.0;
  CodeToolCallback cb = Lib().tool;
  if (!cb) return;
  unsigned char t = static_cast<unsigned char>(tool & 0xFF);
  cb(&t, &first, &second, &third);
}

}  // namespace quillet
