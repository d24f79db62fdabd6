#include "viewer/DlgRender.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "mod_gcode/export/Quillet.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/Threads.h"
#include "viewer/CommandStore.h"
#include "viewer/CrashHandler.h"
#include "viewer/DlgLoading.h"
#include "viewer/Language.h"
#include "viewer/Locks.h"
#include "viewer/PageBase.h"
#include "viewer/RavikDlg.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/EditCtrls.h"

namespace ravik {
namespace {

// How long a paint waits for "tickets" before it keeps the last picture.
constexpr std::chrono::milliseconds kPaintWait(15);
constexpr int kRepaintRetryMs = 30;

// A language text, or the English default when the language file lacks it.
QString Text(const char* key, const char* english) {
  QString s = GetLangString(QString::fromLatin1(key));
  return s.isEmpty() ? QString::fromUtf8(english) : s;
}

// NC text as it goes to a file: CR LF line ends (a CR already before a LF
// is kept, never doubled).
std::atomic<std::uint64_t> g_availableForTests{0};
std::atomic<LoadStage> g_failStage{LoadStage::None};

// Throws as an allocation would when a test made this stage fail, once: the
// memory ran out at that point, and the next load may find it again.
void FailPoint(LoadStage stage) {
  LoadStage armed = stage;
  if (stage != LoadStage::None && g_failStage.compare_exchange_strong(armed, LoadStage::None)) throw std::bad_alloc();
}

std::uint64_t MemAvailable() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (!meminfo.open(QIODevice::ReadOnly)) return 0;
  for (QByteArray line = meminfo.readLine(); !line.isEmpty(); line = meminfo.readLine()) {
    if (line.startsWith("MemAvailable:")) return line.mid(13).trimmed().split(' ').value(0).toULongLong() * 1024;
  }
  return 0;
}

// Bytes the address-space limit still allows (none when unlimited).
std::uint64_t AddressSpaceLeft() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  const std::uint64_t used = plat::AddressSpaceBytes();
  return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

QString Megabytes(std::uint64_t bytes) { return QString::number((bytes + (1 << 19)) >> 20); }

// Every failed allocation of the process passes here (the new handler), also
// those that the library catches and turns into a block message or a null
// result: a load during which one failed did not happen.
std::atomic<bool> g_allocationFailed{false};
void OnAllocationFailure() {
  g_allocationFailed.store(true, std::memory_order_relaxed);
  throw std::bad_alloc();
}

// Address space held back while nothing failed, and given up when a load
// runs out of memory, so that the message about it can still be laid out
// and painted before the failed load's memory has gone back.
constexpr std::size_t kReserveBytes = std::size_t{32} << 20;
void* g_reserve = nullptr;
void TakeReserve() {
  if (g_reserve) return;
  void* p = ::mmap(nullptr, kReserveBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  g_reserve = p == MAP_FAILED ? nullptr : p;
}
void GiveUpReserve() {
  if (g_reserve) ::munmap(g_reserve, kReserveBytes);
  g_reserve = nullptr;
}

// The raster paint engine fills large areas on the threads of the global
// thread pool and waits for them. A pool thread that cannot be created when
// the address space has run out never runs its part, and the paint waits for
// ever: so the pool's threads are all started here, and kept.
void StartPaintThreads() {
  QThreadPool* pool = QThreadPool::globalInstance();
  pool->setExpiryTimeout(-1);
  const int n = pool->maxThreadCount();
  auto started = std::make_shared<QSemaphore>(), release = std::make_shared<QSemaphore>();
  for (int i = 0; i < n; ++i)
    pool->start([started, release] {
      started->release();
      release->acquire();  // each waits until all have started: n threads
    });
  started->acquire(n);
  release->release(n);
}

// While the library shuts down, its messages (a data table whose changes
// could not be saved) are collected here to be shown in a message box: the
// message list closes with the window.
std::atomic<QStringList*> g_closingMessages{nullptr};

// The library's message callback.
void LibraryMessage(char16_t* programName, int* line, int* sequenceNumber, char16_t* text) {
  if (QStringList* closing = g_closingMessages.load()) {
    closing->push_back(FromU16(text));
    return;
  }
  AppendMessageRow(programName, line, sequenceNumber, text);
}

}  // namespace

QString UnreadableReason(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  // Without waiting: a pipe with no writer is not a program to read.
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
  char byte = 0;
  const ssize_t n = ::read(fd, &byte, 1);
  const int error = errno;
  ::close(fd);
  return n < 0 ? QString::fromLocal8Bit(std::strerror(error)) : QString();
}

std::uint64_t AvailableMemoryBytes() {
  if (const std::uint64_t set = g_availableForTests.load()) return set;
  const std::uint64_t system = MemAvailable();
  return std::min(system == 0 ? UINT64_MAX : system, AddressSpaceLeft());
}

void SetAvailableMemoryForTests(std::uint64_t bytes) { g_availableForTests.store(bytes); }

void InjectLoadAllocationFailure(LoadStage stage) { g_failStage.store(stage); }

// ------------------------------------------------------------ view widget

ViewWidget::ViewWidget(QWidget* parent) : RenderView(parent) {
  // A skipped paint keeps the framebuffer's last picture.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
}

void ViewWidget::paintGL() {
  std::unique_lock lock(Tickets(), std::defer_lock);
  if (!lock.try_lock_for(kPaintWait)) {
    ++m_deferred;
    QTimer::singleShot(kRepaintRetryMs, this, [this] { update(); });
    return;
  }
  RenderView::paintGL();
}

// ------------------------------------------------------------ view window

CDlgRender::CDlgRender(CRavikDlg* main, QWidget* parent) : QWidget(parent), m_main(main) {
  m_view = new ViewWidget(this);
  m_view->setObjectName(QStringLiteral("view"));
  m_view->setFocusPolicy(Qt::ClickFocus);
  setFocusPolicy(Qt::ClickFocus);
}

CDlgRender::~CDlgRender() { Shutdown(); }

void CDlgRender::OnInitDialog() {
  if (m_initialised) return;
  std::set_new_handler(&OnAllocationFailure);
  StartPaintThreads();
  TakeReserve();
  std::lock_guard lib(LibraryMutex());
  short mode = 1;
  int language = LanguageFlag();
  Code_Initialize(&mode, &AppendCommandRecord, &LibraryMessage, 0, &GetToolOffsets, &language);
  std::u16string folder = plat::Utf8ToWide(plat::ExeDir());
  std::u16string system = u"fanuc";
  Code_SwitchData(folder.data(), system.data());
  std::u16string mainRules = u"coderule\\fanuc.cmt";
  std::u16string macroRules = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  m_initialised = true;
}

void CDlgRender::Shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  WaitLoaders(true);
  if (m_initialised) {
    QStringList lost;
    {
      std::lock_guard lib(LibraryMutex());
      g_closingMessages.store(&lost);
      Code_Uninitialize();  // writes back the data tables
      g_closingMessages.store(nullptr);
    }
    if (!lost.isEmpty())
      Ui().Message(this, QStringLiteral("Ravik"),
                   Text("TABLES_NOT_SAVED", "Changes to the data tables were lost:") + QLatin1Char('\n') +
                       lost.join(QLatin1Char('\n')),
                   UiSeam::Icon::Warning);
  }
  SetSimulationStop(false);
}

void CDlgRender::WaitLoaders(bool stop) {
  if (!m_thread.joinable()) return;
  if (stop) SetSimulationStop(true);
  m_thread.join();  // the loader never waits for this thread, so this ends
  SetSimulationStop(false);
}

void CDlgRender::OpenFile() {
  if (m_path.isEmpty()) return;
  // A file that cannot be read changes nothing: this is said before anything
  // of the program shown is let go.
  if (const QString why = UnreadableReason(m_path); !why.isEmpty()) {
    ReportUnreadable(m_path, why);
    m_path = m_shownPath;
    return;
  }
  try {
    LoadFile();
  } catch (const std::bad_alloc&) {
    // The interface thread had no memory for the text (the editor's copy, or
    // its document): nothing of this load, nor of the last one, is shown.
    ShowNothing();
    ReportOutOfMemory();
  }
}

void CDlgRender::LoadFile() {
  // A new file replaces the editor's text. A large one is let go before the
  // load, so that its document and the new program are never held at once;
  // its plain text is kept to be put back should the load not happen.
  QString shelved;
  if (m_main && m_main->codePage()) {
    try {
      QString shown = m_main->GetCodeText();
      if (shown.size() >= CXRichEdit::kBackgroundBytes) {
        shelved = std::move(shown);
        m_main->SetCodeText(QString());
      }
    } catch (const std::bad_alloc&) {
      // No memory to copy the text out: it is let go, and a load that does
      // not happen leaves the editor empty, without a path or title.
      m_main->SetCodeText(QString());
      m_shownPath.clear();
      m_lineEnds = plat::LineEnds{};
      m_main->setWindowTitle(m_main->TitleText());
    }
  }
  const bool ran = RunLoad(1, QString());
  QString text;
  bool has = false;
  QString readError;
  {
    std::lock_guard lock(m_textMutex);
    has = m_hasLoadedText;
    text = std::move(m_loadedText);
    if (has) m_lineEnds = std::move(m_loadedLineEnds);
    m_loadedText.clear();
    m_hasLoadedText = false;
    readError.swap(m_readError);
  }
  if (!ran || m_lastOutOfMemory || !readError.isEmpty()) {
    // The load did not happen: the editor, its path and the title stay.
    m_path = m_shownPath;
    if (!shelved.isNull() && m_main) m_main->SetCodeText(shelved);
    // The load let go of the program drawn before it read the file; the
    // editor's text is drawn again, so that the view, the lists and the
    // commands show the program the editor and the title name.
    if (ran && m_main) RedrawShownProgram(shelved.isNull() ? m_main->GetCodeText() : shelved);
    return;
  }
  shelved = QString();
  m_shownPath = m_path;
  if (!m_main) return;
#ifdef __GLIBC__
  // The last program's document, program and path are gone by now; their
  // pages go back to the system before the new document is built.
  malloc_trim(0);
#endif
  if (has) {
    // A document for a large text takes about kEditorBytesPerChar for each
    // character; one that cannot have it is not begun (the text engine does
    // not recover from an allocation that fails half way).
    if (text.size() >= CXRichEdit::kBackgroundBytes &&
        static_cast<std::uint64_t>(text.size()) * kEditorBytesPerChar > AvailableMemoryBytes())
      throw std::bad_alloc();
    m_main->SetCodeText(text);
  }
  m_main->SetTitlePath(m_path);
}

void CDlgRender::RedrawShownProgram(const QString& text) {
  if (text.isEmpty()) return;
  const bool outOfMemory = m_lastOutOfMemory;
  try {
    RunLoad(0, text);
    // The progress dialog closes when the simulation begins; the redraw's
    // worker is waited for here, so that the lists are whole when this
    // returns and its end does not report over the load that failed.
    if (m_thread.joinable()) m_thread.join();
    if (m_outOfMemory.exchange(false)) {
      DropProgram();
      m_lastOutOfMemory = true;
    }
  } catch (const std::bad_alloc&) {
    DropProgram();
    m_lastOutOfMemory = true;
  }
  // The load that failed stays the one reported.
  m_lastOutOfMemory = m_lastOutOfMemory || outOfMemory;
}

void CDlgRender::ShowNothing() {
  DropProgram();
  m_path = m_shownPath = QString();
  m_lineEnds = plat::LineEnds{};
  if (m_main) {
    m_main->SetCodeText(QString());
    m_main->setWindowTitle(m_main->TitleText());
  }
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

void CDlgRender::DropProgram() {
  // Whatever still runs of the load ends before its program is let go.
  WaitLoaders(true);
  {
    std::lock_guard lib(LibraryMutex());
    int startLine = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    std::u16string none;
    Code_ParsingFromBuffer(&startLine, nullptr, none.data(), none.data(), &x, &y, &z);
  }
  {
    std::lock_guard tickets(Tickets());
    m_view->loaderUpload(quillet::PathGroups{});
  }
  ClearCommandRecords();
  {
    std::lock_guard lock(m_textMutex);
    m_loadedText = QString();
    m_hasLoadedText = false;
  }
  if (m_main) m_main->ClearLists();
}

void CDlgRender::OnEditorOutOfMemory() {
  if (m_inLoad) return;  // the load in progress replaces the text anyway
  ShowNothing();
  ReportOutOfMemory();
}

void CDlgRender::ReportOutOfMemory() {
  m_lastOutOfMemory = true;
  GiveUpReserve();
  Ui().Message(this, QStringLiteral("Ravik"),
               Text("LOAD_NO_MEMORY",
                    "The memory ran out while the program was loading, and the load was stopped. "
                    "The program is too large for the memory of this computer."),
               UiSeam::Icon::Error);
  TakeReserve();
}

void CDlgRender::ReportUnreadable(const QString& path, const QString& why) {
  Ui().Message(this, QStringLiteral("Ravik"),
               Text("LOAD_UNREADABLE", "The file %1 could not be read: %2\nThe program shown stays as it was.")
                   .arg(path, why),
               UiSeam::Icon::Error);
}

void CDlgRender::ParseText(const QString& text) {
  if (!ConfirmLoadSize(static_cast<std::uint64_t>(text.size()), QFileInfo(m_path).fileName())) return;
  try {
    RunLoad(0, text);
  } catch (const std::bad_alloc&) {
    // The editor's text is the user's and stays; nothing of the parse does.
    DropProgram();
    ReportOutOfMemory();
  }
}

void CDlgRender::OpenPath(const QString& path) {
  if (m_inLoad || (m_main && !m_main->ConfirmDiscardEdits())) return;
  if (!ConfirmFileSize(path)) return;
  m_view->suppressNextDrag();
  m_path = path;
  OpenFile();
}

bool CDlgRender::OnOpenNcFile() {
  if (m_inLoad || (m_main && !m_main->ConfirmDiscardEdits())) return false;
  const QString chosen = Ui().OpenFileName(nullptr, NcFileFilter());
  if (chosen.isEmpty()) return false;
  if (!ConfirmFileSize(chosen)) return false;
  m_view->suppressNextDrag();
  m_path = chosen;
  OpenFile();
  return true;
}

bool CDlgRender::ConfirmFileSize(const QString& path) {
  const qint64 size = QFileInfo(path).size();
  return ConfirmLoadSize(size > 0 ? static_cast<std::uint64_t>(size) : 0, QFileInfo(path).fileName());
}

bool CDlgRender::ConfirmLoadSize(std::uint64_t textBytes, const QString& name) {
  // The load must fit in the memory and in the address space (a limit on
  // it counts what is reserved as well as what is used).
  std::uint64_t need = textBytes * kLoadBytesPerTextByte;
  std::uint64_t available = 0;
  if (const std::uint64_t set = g_availableForTests.load()) {
    available = set;
  } else {
    const std::uint64_t system = MemAvailable();
    available = system == 0 ? UINT64_MAX : system;
    const std::uint64_t needAddress = textBytes * kLoadAddressBytesPerTextByte;
    const std::uint64_t addressLeft = AddressSpaceLeft();
    if (need <= available && needAddress > addressLeft) {
      need = needAddress;
      available = addressLeft;
    }
  }
  if (need <= available) return true;
  const QString question = Text("LOAD_TOO_LARGE",
                                "The program %1 (%2 MB) needs about %3 MB of memory to open, but only %4 MB "
                                "are available. Opening it may fail or make the computer very slow.\n"
                                "Open it anyway?")
                               .arg(name, Megabytes(textBytes), Megabytes(need), Megabytes(available));
  return Ui().Question(this, QStringLiteral("Ravik"), question, false) == UiSeam::Answer::Yes;
}

bool CDlgRender::RunLoad(int mode, const QString& text) {
  if (m_inLoad || m_shutDown || !m_initialised) return false;
  m_inLoad = true;
  m_loadMode = mode;
  // The load is over when this returns, also by an exception.
  struct EndLoad {
    CDlgRender* self;
    ~EndLoad() {
      self->m_loading = nullptr;
      self->m_inLoad = false;
    }
  } endLoad{this};
  WaitLoaders(true);
  ClearCommandRecords();
  if (m_main) m_main->ClearLists();
  // The path the load draws has no highlighted block.
  if (m_main && m_main->codePage()) m_main->codePage()->ClearSelectedLine();
  {
    // The last program is let go before the next one is read, not while it
    // is: a parse without text only replaces the library's program.
    std::lock_guard lib(LibraryMutex());
    int startLine = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    std::u16string none;
    Code_ParsingFromBuffer(&startLine, nullptr, none.data(), none.data(), &x, &y, &z);
  }
#ifdef __GLIBC__
  // What the last program held goes back to the system before the next one
  // is read, not only to the allocator's free lists.
  malloc_trim(0);
#endif
  SetSimulationStop(false);
  {
    std::lock_guard lock(m_textMutex);
    m_loadedText.clear();
    m_hasLoadedText = false;
    m_readError.clear();
  }
  CDlgLoading dialog(this);
  m_loading = &dialog;
  m_lastHandle = dialog.Handle();
  m_outOfMemory = false;
  m_lastOutOfMemory = false;
  // The text is handed over as it is: the library reads it in place.
  try {
    m_thread = std::thread(&CDlgRender::LoadWorker, this, ++m_loadSerial, mode, dialog.Handle(), ToU16(m_path), text);
  } catch (const std::system_error&) {
    throw std::bad_alloc();  // no memory for the thread's stack
  }
  dialog.exec();
  m_lastLog = dialog.Target()->Log();
  m_loading = nullptr;
  m_inLoad = false;
  emit progressClosed();
  return true;
}

void CDlgRender::LoadWorker(unsigned serial, int mode, int handle, std::u16string path, QString text) {
  InstallThreadSignalStack();  // a stack overflow in the library still writes the dump
  g_allocationFailed.store(false, std::memory_order_relaxed);
  {
    std::lock_guard lib(LibraryMutex());
    Code_SetHWnd(&handle);
    char skip = 1;
    Code_Skip(&skip);
    int buffer = 0;
    int startLine = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    bool parsed = true;
    // Running out of memory ends the load after the step that failed (also
    // when the library caught the failure and went on); what the load made
    // so far is dropped so that the viewer can go on.
    bool failed = false;
    bool unreadable = false;
    auto step = [&](LoadStage stage, auto&& work) {
      if (failed) return;
      try {
        FailPoint(stage);
        work();
      } catch (const std::bad_alloc&) {
        failed = true;
      }
      if (g_allocationFailed.load(std::memory_order_relaxed)) failed = true;
    };
    if (mode == 1) {
      char setPath = 1;
      step(LoadStage::Read, [&] { Code_CreateBuffer(&buffer, path.data(), nullptr, &setPath); });
      const char16_t* code = failed ? nullptr : Code_GetCodeStr(&buffer);
      if (!code) {
        // Nothing was read: the file cannot be read (it became so after it
        // was looked at), there was no memory to read it, or it is empty.
        QString why;
        try {
          why = UnreadableReason(FromU16(path));
        } catch (const std::bad_alloc&) {
          failed = true;
        }
        if (!why.isEmpty() || failed) {
          unreadable = true;
          std::lock_guard lock(m_textMutex);
          m_readError = why.isEmpty() ? QStringLiteral("\n") : why;  // "\n": no memory to read it
        }
      }
      if (!unreadable) {
        step(LoadStage::Text, [&] {
          auto ends = plat::ReadLineEnds(QFile::encodeName(FromU16(path)).toStdString());
          text = FromU16(code);
          std::lock_guard lock(m_textMutex);
          m_loadedLineEnds = ends ? std::move(*ends) : plat::LineEnds{};
          m_loadedText = text;  // shared: the editor shows the text the program is parsed from
          m_hasLoadedText = true;
        });
      }
      std::u16string folder, name;
      step(LoadStage::None, [&] {
        folder = plat::WView(Code_GetFolder(&buffer));
        name = plat::WView(Code_GetNCName(&buffer));
      });
      // The program is parsed from the viewer's copy, which this thread holds
      // to its end; the buffer's own copy of a large program is not kept.
      Code_ClearBuffer(&buffer);
      if (unreadable) {
        parsed = false;
      } else {
        step(LoadStage::Parse, [&] {
          auto* parsed16 = code ? const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16())) : nullptr;
          Code_ParsingFromBuffer(&startLine, parsed16, folder.data(), name.data(), &x, &y, &z);
        });
      }
    } else if (mode == 0) {
      step(LoadStage::Parse, [&] {
        Code_SetFolder(&buffer, path.data());
        std::u16string folder(plat::WView(Code_GetFolder(&buffer)));
        std::u16string name(plat::WView(Code_GetNCName(&buffer)));
        // The library only reads the text.
        auto* code = const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16()));
        Code_ParsingFromBuffer(&startLine, code, folder.data(), name.data(), &x, &y, &z);
      });
    } else {
      parsed = false;
    }
    if (parsed && !failed) {
      std::lock_guard tickets(Tickets());
      step(LoadStage::PathCopy, [&] {
        if (quillet::PathGroups* groups = Code_CutterPath()) m_view->loaderUpload(*groups);
      });
    }
    if (parsed && !failed) {
      step(LoadStage::None, [&] { Code_AutoRun(); });
      if (CommandsRanOutOfMemory()) failed = true;
    }
    if (failed || unreadable) {
      // Nothing of the load stays: no program in the library, an empty path
      // in the view, no records, no text.
      text = QString();
      {
        std::lock_guard lock(m_textMutex);
        m_loadedText = QString();
        m_hasLoadedText = false;
      }
      int none = 0;
      std::u16string empty;
      try {
        Code_ParsingFromBuffer(&none, nullptr, empty.data(), empty.data(), &x, &y, &z);
      } catch (const std::bad_alloc&) {
      }
      {
        std::lock_guard tickets(Tickets());
        m_view->loaderUpload(quillet::PathGroups{});
      }
      ClearCommandRecords();
#ifdef __GLIBC__
      malloc_trim(0);
#endif
      if (failed) m_outOfMemory = true;
    }
    int none = 0;
    Code_SetHWnd(&none);
  }
  QMetaObject::invokeMethod(this, [this, serial] { OnLoaderEnded(serial); }, Qt::QueuedConnection);
}

void CDlgRender::OnLoaderEnded(unsigned serial) {
  // A loader that was already joined (stopped for a new load) reports nothing.
  if (serial != m_loadSerial || !m_thread.joinable()) return;
  m_thread.join();
  // The dialog closes even when the library never posted 4028.
  if (m_loading) m_loading->OnLoadDone();
  m_lastOutOfMemory = m_outOfMemory.exchange(false);
  QString readError;
  {
    std::lock_guard lock(m_textMutex);
    readError = m_readError;
  }
  emit loadFinished();
  if (!readError.isEmpty()) {
    ReportUnreadable(m_path, readError == QLatin1String("\n")
                                 ? Text("LOAD_NO_MEMORY_TO_READ", "there is not enough memory to read it")
                                 : readError);
  } else if (m_lastOutOfMemory) {
    // A simulation that failed after the editor took the text of the file
    // opened: the text goes too, unless the user has begun to edit it. (A
    // text parsed from the editor is the user's and stays.)
    if (!m_inLoad && m_loadMode == 1 && !(m_main && m_main->codePage() && m_main->codePage()->IsModified()))
      ShowNothing();
    ReportOutOfMemory();
  }
}

bool CDlgRender::SaveFile(QString& path, const QString& text) {
  if (path.isEmpty()) {
    const QString chosen = Ui().SaveFileName(nullptr, NcFileFilter());
    if (chosen.isEmpty()) return false;
    path = chosen;
  }
  // The editor's lines end with LF; each is written with the line end the
  // opened file had there, and its zero bytes come back.
  std::u16string wide = ToU16(text);
  if (m_lineEnds.zeroBytes) std::replace(wide.begin(), wide.end(), plat::kZeroByteShown, u'\0');
  std::size_t replaced = 0;
  const std::string bytes = plat::ApplyLineEnds(plat::WideToAnsiString(wide, &replaced), m_lineEnds);
  if (replaced > 0) {
    QString q = Text("SAVE_LOSSY",
                     "%1 character(s) of the program cannot be written in the code page %2 "
                     "and would be saved as '?'.\nSave anyway?")
                    .arg(replaced)
                    .arg(QString::fromStdString(plat::SystemCodePage()));
    if (Ui().Question(this, QStringLiteral("Ravik"), q, false) != UiSeam::Answer::Yes) return false;
  }
  std::string error;
  const std::string target = QFile::encodeName(path).toStdString();
  if (!plat::WriteFileAtomic(target, bytes, false, &error)) {
    Ui().Message(this, QStringLiteral("Ravik"),
                 Text("SAVE_FAILED", "The file %1 could not be saved:\n%2")
                     .arg(path, QString::fromStdString(error)),
                 UiSeam::Icon::Error);
    return false;
  }
  // Later saves compare with the lines just written (a file of one kind of
  // line end stays of that kind).
  if (!m_lineEnds.each.empty()) m_lineEnds = plat::ReadLineEnds(target).value_or(m_lineEnds);
  return true;
}

bool CDlgRender::SaveAs(const QString& text) {
  QString chosen = Ui().SaveFileName(nullptr, NcFileFilter());
  if (chosen.isEmpty()) return false;
  return SaveFile(chosen, text);
}

bool CDlgRender::HighlightBlock(unsigned line) {
  bool done = false;
  WithLibrary([&] {
    std::unique_lock tickets(Tickets(), std::defer_lock);
    if (!tickets.try_lock_for(std::chrono::milliseconds(200))) return;
    if (quillet::PathGroups* groups = Code_SelBlock(&line)) {
      m_view->highlight(*groups);
      done = true;
    }
  });
  return done;
}

void CDlgRender::ViewXY() { m_view->setStandardView(StandardView::XY); }
void CDlgRender::ViewXZ() { m_view->setStandardView(StandardView::XZ); }
void CDlgRender::ViewYZ() { m_view->setStandardView(StandardView::YZ); }

void CDlgRender::OnMenuCommand(int id) {
  switch (id) {
    case kCmdOpen:
    case kCmdOpenNcFile:
      OnOpenNcFile();
      break;
    case kCmdRefresh:
      if (m_main) ParseText(m_main->GetCodeText());
      break;
    case kCmdXY:
      ViewXY();
      break;
    case kCmdXZ:
      ViewXZ();
      break;
    case kCmdYZ:
      ViewYZ();
      break;
    default:
      break;
  }
}

QMenu* CDlgRender::BuildContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  auto add = [&](int id, const QString& english, const QString& chinese) {
    QAction* a = menu->addAction(Tr(english, chinese));
    a->setData(id);
  };
  add(kCmdOpenNcFile, QStringLiteral("Open NC file"), QStringLiteral("打开程序"));
  add(kCmdRefresh, QStringLiteral("Refresh"), QStringLiteral("刷新程序"));
  add(kCmdXY, QStringLiteral("X-Y"), QStringLiteral("X-Y"));
  add(kCmdXZ, QStringLiteral("X-Z"), QStringLiteral("X-Z"));
  add(kCmdYZ, QStringLiteral("Y-Z"), QStringLiteral("Y-Z"));
  return menu;
}

void CDlgRender::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = BuildContextMenu(this);
  QAction* chosen = menu->exec(event->globalPos());
  const int id = chosen ? chosen->data().toInt() : 0;
  delete menu;
  if (id != 0) OnMenuCommand(id);
}

void CDlgRender::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();  // the view never closes itself
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void CDlgRender::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_view->setGeometry(rect());
}

}  // namespace ravik
