#include "server/termination_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace corvane {
namespace {

int g_signalPipe[2] = {-1, -1};  // write end used from the async signal handler only

void HandleSignal(int signalNumber) {
  const char byte = static_cast<char>(signalNumber);
  [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
  notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
  struct sigaction action = {};
  action.sa_handler = HandleSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (g_signalPipe[0] >= 0) {
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
}

void TerminationSignals::OnReadable() {
  char byte = 0;
  if (::read(g_signalPipe[0], &byte, 1) == 1) Q_EMIT terminationRequested(byte);
}

}  // namespace corvane
