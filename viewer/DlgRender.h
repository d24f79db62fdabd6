// CDlgRender: the view window on the left of the main window. It holds the
// 3D view, starts and shuts down the library, and runs the load pipeline:
//
//   OpenFile / ParseText (interface thread)
//     -> waits for (and stops the simulation of) the previous loader
//     -> clears the command store and the main window's lists
//     -> runs CDlgLoading modally while a loader thread
//          sets the dialog as the library's window, parses the program,
//          takes "tickets" to fetch the tool path and hand it to the view,
//          and simulates it (the command callback fills the command store)
//     -> the dialog closes on 4028 (or when the loader ends without it)
//     -> the code page gets the text, the title the path.
//
// The loader holds the library lock for its whole run; the interface
// thread's library calls (block highlight) are refused while it does,
// including during the simulation that goes on after the dialog closed.
#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "viewer/DlgLoading.h"
#include "viewer/render/RenderView.h"

class QMenu;

namespace ravik {

class CRavikDlg;

// Memory and loads.
//
// Before a program is loaded its size is compared with the memory the
// process can still have; a program that would not fit is loaded only when
// the user says so. Running out of memory during a load ends the load: the
// view and the command list of that load are emptied, and a message says
// what happened once the loader has ended.

// What a load takes per byte of program text (file bytes, or characters of
// a text parsed from the editor) at its peak, beyond the window's own
// start-up, measured with app_load_bench on the surfacing programs of
// 400,000 and 1,000,000 lines: resident memory 26.9 and 21.6 bytes, address
// space 78.4 and 48.8 bytes (the allocator's per-thread arenas and the
// threads' stacks are address space that is reserved, hardly used, and the
// same for every size; they weigh most in small programs, which fit anyway).
inline constexpr std::uint64_t kLoadBytesPerTextByte = 22;
inline constexpr std::uint64_t kLoadAddressBytesPerTextByte = 50;
// The memory the process can still have: MemAvailable of /proc/meminfo, and
// no more than its address-space limit leaves. Tests may set a value (0: the
// system's again), which then stands for both.
std::uint64_t AvailableMemoryBytes();
void SetAvailableMemoryForTests(std::uint64_t bytes);

// Bytes an editor document takes per character of a large program text (its
// characters, blocks and line layouts; see CXRichEdit).
inline constexpr std::uint64_t kEditorBytesPerChar = 16;

// Where tests make the next load run out of memory (once).
enum class LoadStage { None, Read, Text, Parse, PathCopy };
void InjectLoadAllocationFailure(LoadStage stage);

// Why the file at `path` cannot be read (the system's text), or an empty
// text when its first byte can be read.
QString UnreadableReason(const QString& path);

// The view with "tickets" around painting: a paint that cannot have the
// lock within a short wait keeps the last picture and tries again soon.
class ViewWidget : public RenderView {
  Q_OBJECT

 public:
  explicit ViewWidget(QWidget* parent = nullptr);
  int deferredPaints() const { return m_deferred; }

 protected:
  void paintGL() override;

 private:
  int m_deferred = 0;
};

class CDlgRender : public QWidget {
  Q_OBJECT

 public:
  // Context menu and command ids.
  enum : int {
    kCmdOpen = 1000,
    kCmdOpenNcFile = 1001,
    kCmdXY = 1003,
    kCmdXZ = 1004,
    kCmdYZ = 1005,
    kCmdRefresh = 1006
  };

  CDlgRender(CRavikDlg* main, QWidget* parent);
  ~CDlgRender() override;

  // Starts the library (callbacks, data tables, code rules).
  void OnInitDialog();
  // Stops and joins the loader, then shuts the library down. Idempotent.
  void Shutdown();

  // Loads the file at the current path (nothing when it is empty).
  void OpenFile();
  // Parses `text` with the folder and name of the current path.
  void ParseText(const QString& text);
  // A file chosen elsewhere (a file list): opened without turning the view
  // by the mouse movement that follows.
  void OpenPath(const QString& path);
  // The open-file dialog, then OpenFile. False when cancelled or refused.
  bool OnOpenNcFile();

  // Writes NC text to `path` (asking for a path when it is empty; the chosen
  // path is stored back). Returns true when the file was written.
  bool SaveFile(QString& path, const QString& text);
  bool SaveAs(const QString& text);

  // Highlights one block of the tool path; false when the library is busy
  // (a loader runs) or nothing was loaded.
  bool HighlightBlock(unsigned line);

  void ViewXY();
  void ViewXZ();
  void ViewYZ();
  void OnMenuCommand(int id);
  // The context menu (items carry their command id as data).
  QMenu* BuildContextMenu(QWidget* parent);

  const QString& currentPath() const { return m_path; }
  void setCurrentPath(const QString& path) { m_path = m_shownPath = path; }
  ViewWidget* view() const { return m_view; }
  bool loaderRunning() const { return m_thread.joinable(); }
  bool loadInProgress() const { return m_inLoad; }
  // Waits for the loader thread; with `stop` its simulation ends after the
  // current block.
  void WaitLoaders(bool stop);
  // The progress messages of the last load, in arrival order (4025 once per run).
  const std::vector<unsigned>& lastProgressLog() const { return m_lastLog; }
  // The window handle the library was given for the last load.
  int lastProgressHandle() const { return m_lastHandle; }
  // The progress dialog of the load in progress (null otherwise).
  CDlgLoading* loadingDialog() const { return m_loading; }
  // Asks whether to load a program of `textBytes` when it looks too large
  // for the available memory; true to go on (also when it fits).
  bool ConfirmLoadSize(std::uint64_t textBytes, const QString& name);
  // Whether the last load ran out of memory.
  bool lastLoadOutOfMemory() const { return m_lastOutOfMemory; }
  // The editor had no memory for the document of the text it was given: the
  // load is undone like one that ran out of memory on its way.
  void OnEditorOutOfMemory();

 signals:
  // The loader thread of a load has ended (simulation included).
  void loadFinished();
  // The progress dialog of a load has closed.
  void progressClosed();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // False when no load could start.
  bool RunLoad(int mode, const QString& text);
  void LoadWorker(unsigned serial, int mode, int handle, std::u16string path, QString text);
  void OnLoaderEnded(unsigned serial);
  // OpenFile once the file is known to be readable.
  void LoadFile();
  // Lets go of the program of the library, the view, the lists, the editor,
  // the path and the title: after a failure that reached what was shown.
  void ShowNothing();
  // Parses the editor's `text` again after a load that failed once the
  // program drawn was let go; a failure of this parse shows no program.
  void RedrawShownProgram(const QString& text);
  // Lets go of the program of the library, the view and the lists.
  void DropProgram();
  void ReportOutOfMemory();
  void ReportUnreadable(const QString& path, const QString& why);
  // The file at `path` may be loaded (its size against the memory).
  bool ConfirmFileSize(const QString& path);

  CRavikDlg* m_main;
  ViewWidget* m_view;
  QString m_path;
  QString m_shownPath;  // the path of the program the editor shows
  bool m_initialised = false;
  bool m_shutDown = false;
  bool m_inLoad = false;
  int m_loadMode = 0;  // of the last load: 1 a file, 0 the editor's text
  std::thread m_thread;
  unsigned m_loadSerial = 0;
  QPointer<CDlgLoading> m_loading;
  std::vector<unsigned> m_lastLog;
  int m_lastHandle = 0;
  std::atomic<bool> m_outOfMemory{false};  // set by the loader
  bool m_lastOutOfMemory = false;

  // The program text the loader read (mode 1), handed to the code page.
  std::mutex m_textMutex;
  QString m_loadedText;
  plat::LineEnds m_loadedLineEnds;  // of the file the loader read
  plat::LineEnds m_lineEnds;        // of the file the editor shows, for its saves
  bool m_hasLoadedText = false;
  // Why the loader could not read the file ("\n": no memory to read it).
  QString m_readError;
};

}  // namespace ravik
