#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvane {

// Turns SIGINT and SIGTERM into a Qt signal delivered on the event loop, where the
// shutdown sequence can run like any other event. Only one instance may exist per
// process, since POSIX signal handlers are process-wide.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 Q_SIGNALS:
  void terminationRequested(int signalNumber);

 private:
  void OnReadable();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvane
