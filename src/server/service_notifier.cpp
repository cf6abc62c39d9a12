#include "server/service_notifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace corvane {

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent) {
  uint64_t watchdogUsec = 0;
  if (sd_watchdog_enabled(0, &watchdogUsec) <= 0 || watchdogUsec == 0) return;
  // Half the interval, so one late turn of the loop is not yet a missed ping.
  const uint64_t intervalMs = watchdogUsec / 2000;
  watchdogTimer_.setInterval(static_cast<int>(qBound<uint64_t>(1, intervalMs, INT32_MAX)));
  connect(&watchdogTimer_, &QTimer::timeout, [] { sd_notify(0, "WATCHDOG=1"); });
  watchdogTimer_.start();
}

void ServiceNotifier::NotifyReady() { sd_notify(0, "READY=1"); }

void ServiceNotifier::NotifyStopping() {
  watchdogTimer_.stop();
  sd_notify(0, "STOPPING=1");
}

}  // namespace corvane
