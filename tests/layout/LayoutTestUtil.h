// Helpers of the layout tests: layout files written byte by byte, a dialog
// seam that records messages, and a folder that stands in for the
// executable's folder.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "viewer/UiSeam.h"

namespace layouttest {

namespace fs = std::filesystem;

// UTF-16LE with FF FE; every LF of `text` becomes CR LF.
inline std::string Utf16File(const std::u16string& text) {
  std::string bytes("\xFF\xFE", 2);
  for (char16_t c : text) {
    if (c == u'\n') bytes.append("\r\0", 2);
    bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  }
  return bytes;
}

inline std::string ReadBytes(const fs::path& p) { return plat::ReadFileBytes(p.string()).value_or(""); }

inline void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class RecordingSeam : public ravik::UiSeam {
 public:
  void Message(QWidget*, const QString&, const QString& text, Icon) override { texts.push_back(text); }
  Answer Question(QWidget*, const QString&, const QString&, bool) override { return Answer::No; }
  QString OpenFileName(QWidget*, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  QString FolderName(QWidget*, const QString& start) override {
    lastStart = start;
    return folder;
  }
  std::vector<QString> texts;
  QString folder, lastStart;
};

// A fresh folder that is the executable's folder while the object lives.
class ExeFolder {
 public:
  explicit ExeFolder(const std::string& tag) {
    dir = fs::temp_directory_path() / ("ravik_layout_" + std::to_string(getpid()) + "_" + tag);
    fs::remove_all(dir);
    fs::create_directories(dir);
    plat::SetExeDirOverride(dir.string());
  }
  ~ExeFolder() {
    plat::SetExeDirOverride("");
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void Layout(const std::string& name, const std::u16string& text) const { WriteBytes(dir / name, Utf16File(text)); }
  fs::path dir;
};

}  // namespace layouttest
