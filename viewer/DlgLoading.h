// CDlgLoading: the modal progress dialog of one load. While it is shown the
// library reports to it through a message target (see LoadingTarget): the
// stage (4027 program, 4024 line count, 4026 tool path), the line just
// parsed (4025) and the start of the simulation (4028), which closes it.
//
// The library calls the target on the loader thread. The target never waits
// for the interface thread: it stores what it is told (atomics; 4025 comes
// once per line and costs a store) and a timer of the dialog shows it.
#pragma once
#include <QDialog>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Host.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace ravik {

class CDlgLoading;

class LoadingTarget final : public plat::MessageTarget {
 public:
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override;

  // The dialog is going away: nothing reaches it any more.
  void Detach();
  void Attach(CDlgLoading* dialog);

  // The message numbers in arrival order, runs of 4025 kept once.
  std::vector<unsigned> Log() const;

  std::atomic<long long> lineCount{0};
  std::atomic<long long> lineDone{-1};  // index of the line just parsed
  std::atomic<unsigned> stage{0};       // the last stage message (4027, 4024 or 4026)
  std::atomic<unsigned> stageSerial{0}; // bumped by every stage or count message

 private:
  void Record(unsigned message);
  void Notify(bool done);

  mutable std::mutex m_mutex;
  CDlgLoading* m_dialog = nullptr;
  std::vector<unsigned> m_log;
  std::atomic<unsigned> m_last{0};
};

class CDlgLoading : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgLoading(QWidget* parent);
  ~CDlgLoading() override;

  // The handle the library posts to (registered for the dialog's life).
  int Handle() const { return m_handle; }
  std::shared_ptr<LoadingTarget> Target() const { return m_target; }

  // Closes the dialog (4028, or the loader ended without it).
  void OnLoadDone();
  // Shows what the target holds now.
  void UpdateFromTarget();

  QProgressBar* progressBar() const { return m_progress; }
  QLabel* stageLabel() const { return m_stage; }
  QLabel* lineLabel() const { return m_line; }
  QLabel* countLabel() const { return m_count; }
  // Distinct progress positions shown so far (the benchmark checks that the
  // bar moved while the program loaded).
  int progressSteps() const { return m_progressSteps; }

 public slots:
  void reject() override;  // no key or close button ends a load

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::shared_ptr<LoadingTarget> m_target;
  int m_handle = 0;
  QLabel* m_stage = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_line = nullptr;
  QLabel* m_count = nullptr;
  QPushButton* m_ok = nullptr;
  QTimer* m_timer = nullptr;
  unsigned m_shownSerial = 0;
  long long m_shownLine = -2;
  int m_progressSteps = 0;
  bool m_done = false;
};

}  // namespace ravik
