#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvane {

// Turns the process signals the server answers into Qt signals delivered on the event loop,
// where they are handled like any other event: SIGINT and SIGTERM ask for the shutdown;
// SIGHUP (what logrotate and "systemctl reload" send) ends nothing, and whatever is to be
// reopened or read again connects to hangupReceived. Only one instance may exist per
// process, since POSIX signal handlers are process-wide.
class ProcessSignals : public QObject {
  Q_OBJECT

 public:
  explicit ProcessSignals(QObject* parent = nullptr);
  ~ProcessSignals() override;

 Q_SIGNALS:
  void terminationRequested(int signalNumber);
  void hangupReceived();

 private:
  void OnReadable();

  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvane
