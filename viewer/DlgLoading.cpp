#include "viewer/DlgLoading.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <climits>

#include "mod_gcode/export/Quillet.h"
#include "viewer/Language.h"
#include "viewer/Styling.h"

namespace ravik {

// ------------------------------------------------------------ target

void LoadingTarget::Record(unsigned message) {
  // Only the loader thread sends and posts, so m_last has one writer; the
  // lock is taken for the rare messages only, never per parsed line.
  if (message == WM_CODE_LINEDONE && m_last.load(std::memory_order_relaxed) == WM_CODE_LINEDONE) return;
  m_last.store(message, std::memory_order_relaxed);
  std::lock_guard lock(m_mutex);
  m_log.push_back(message);
}

void LoadingTarget::Notify(bool done) {
  std::lock_guard lock(m_mutex);
  if (!m_dialog) return;
  CDlgLoading* d = m_dialog;
  // Queued: the dialog is reached on its own thread; a dialog deleted before
  // the call runs drops it.
  if (done) {
    QMetaObject::invokeMethod(d, [d] { d->OnLoadDone(); }, Qt::QueuedConnection);
  } else {
    QMetaObject::invokeMethod(d, [d] { d->UpdateFromTarget(); }, Qt::QueuedConnection);
  }
}

std::intptr_t LoadingTarget::Send(unsigned message, std::uintptr_t wParam, std::intptr_t /*lParam*/) {
  switch (message) {
    case WM_CODE_LINEDONE:
      lineDone.store(static_cast<long long>(static_cast<std::intptr_t>(wParam)), std::memory_order_relaxed);
      Record(message);
      return 0;
    case WM_CODE_LINECOUNT:
      lineCount.store(static_cast<long long>(wParam), std::memory_order_relaxed);
      lineDone.store(-1, std::memory_order_relaxed);
      stage.store(message, std::memory_order_relaxed);
      break;
    case WM_CODE_CUTTERPATH:
    case WM_CODE_PARSESTART:
      stage.store(message, std::memory_order_relaxed);
      break;
    default:
      return 0;
  }
  stageSerial.fetch_add(1, std::memory_order_release);
  Record(message);
  Notify(false);
  return 0;
}

void LoadingTarget::Post(unsigned message, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {
  if (message != WM_CODE_AUTORUN) return;
  Record(message);
  Notify(true);
}

void LoadingTarget::Attach(CDlgLoading* dialog) {
  std::lock_guard lock(m_mutex);
  m_dialog = dialog;
}

void LoadingTarget::Detach() { Attach(nullptr); }

std::vector<unsigned> LoadingTarget::Log() const {
  std::lock_guard lock(m_mutex);
  return m_log;
}

// ------------------------------------------------------------ dialog

CDlgLoading::CDlgLoading(QWidget* parent) : QDialog(parent) {
  setModal(true);
  setWindowTitle(QStringLiteral("Ravik"));
  setWindowFlags((windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                 ~(Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint));
  resize(420, 110);

  m_stage = new QLabel(this);
  m_stage->setObjectName(QStringLiteral("stage"));
  m_stage->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_stage->setGeometry(12, 10, 396, 24);

  m_progress = new QProgressBar(this);
  m_progress->setProperty("ctrlId", 1013);
  m_progress->setTextVisible(false);
  m_progress->setRange(0, 1);
  m_progress->setValue(0);
  m_progress->setGeometry(12, 40, 396, 22);

  m_line = new QLabel(this);
  m_line->setProperty("ctrlId", 1014);
  m_line->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  m_line->setGeometry(12, 70, 196, 24);

  m_count = new QLabel(this);
  m_count->setProperty("ctrlId", 1015);
  m_count->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_count->setGeometry(210, 70, 198, 24);

  m_ok = new QPushButton(QStringLiteral("Button1"), this);
  m_ok->setAutoDefault(false);
  m_ok->setDefault(false);
  m_ok->hide();
  connect(m_ok, &QPushButton::clicked, this, [this] {
    m_done = true;
    accept();
  });

  StyleDialogChildren(this);

  m_target = std::make_shared<LoadingTarget>();
  m_target->Attach(this);
  m_handle = plat::RegisterTarget(m_target);

  // The line just parsed is shown a few dozen times a second, never per line.
  m_timer = new QTimer(this);
  m_timer->setInterval(30);
  connect(m_timer, &QTimer::timeout, this, &CDlgLoading::UpdateFromTarget);
  m_timer->start();
}

CDlgLoading::~CDlgLoading() {
  // Later messages of this load (the simulation of sub-programs posts 4028
  // again) go nowhere.
  m_target->Detach();
  plat::ReleaseTarget(m_handle);
}

void CDlgLoading::UpdateFromTarget() {
  const unsigned serial = m_target->stageSerial.load(std::memory_order_acquire);
  if (serial != m_shownSerial) {
    m_shownSerial = serial;
    const long long n = m_target->lineCount.load(std::memory_order_relaxed);
    switch (m_target->stage.load(std::memory_order_relaxed)) {
      case WM_CODE_LINECOUNT:
        m_progress->setRange(1, static_cast<int>(n < 1 ? 1 : (n > INT_MAX ? INT_MAX : n)));
        m_progress->setValue(1);
        m_stage->setText(GetLangString(QStringLiteral("DLL_LOADING_PARSINGPORG")));
        m_count->setText(QStringLiteral("/") + QString::number(n));
        m_shownLine = -2;
        break;
      case WM_CODE_CUTTERPATH:
        m_stage->setText(GetLangString(QStringLiteral("DLL_LOADING_GENTOOLPATH")));
        break;
      case WM_CODE_PARSESTART:
        m_stage->setText(GetLangString(QStringLiteral("DLL_LOADING_PROG")));
        break;
      default:
        break;
    }
  }
  const long long i = m_target->lineDone.load(std::memory_order_relaxed);
  if (i >= 0 && i != m_shownLine) {
    m_shownLine = i;
    const long long pos = i + 1;
    m_progress->setValue(static_cast<int>(pos > INT_MAX ? INT_MAX : pos));
    m_line->setText(QString::number(pos));
    ++m_progressSteps;
  }
}

void CDlgLoading::OnLoadDone() {
  if (m_done) return;
  UpdateFromTarget();
  m_timer->stop();
  m_ok->click();
}

void CDlgLoading::reject() {}

void CDlgLoading::keyPressEvent(QKeyEvent* event) { event->accept(); }

void CDlgLoading::closeEvent(QCloseEvent* event) {
  if (m_done) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

}  // namespace ravik
