#pragma once

#include <QObject>
#include <QTimer>

namespace corvane {

// Tells systemd (Type=notify) when the server is ready, that its event loop still turns,
// and when it is stopping. Started without systemd ($NOTIFY_SOCKET unset) every call does
// nothing. Lives on the server's event-loop thread: a loop that hangs stops the watchdog
// pings, and systemd restarts the service.
class ServiceNotifier : public QObject {
  Q_OBJECT

 public:
  explicit ServiceNotifier(QObject* parent = nullptr);

  void NotifyReady();
  void NotifyStopping();

 private:
  QTimer watchdogTimer_;
};

}  // namespace corvane
