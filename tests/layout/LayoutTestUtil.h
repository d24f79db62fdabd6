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

// UTF-16 in either byte order, with or without the byte order mark, every LF
// of `text` written as `lineEnd`.
inline std::string Utf16Bytes(const std::u16string& text, bool bigEndian, bool mark, const std::u16string& lineEnd) {
  std::string out = mark ? (bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2)) : std::string();
  auto put = [&](char16_t c) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    bigEndian ? (out += hi, out += lo) : (out += lo, out += hi);
  };
  for (char16_t c : text) {
    if (c != u'\n') put(c);
    else
      for (char16_t e : lineEnd) put(e);
  }
  return out;
}

// UTF-16LE with FF FE, as the viewer writes: every LF of `text` becomes CR LF.
inline std::string Utf16File(const std::u16string& text) { return Utf16Bytes(text, false, true, u"\r\n"); }

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
