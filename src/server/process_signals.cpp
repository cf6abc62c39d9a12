#include "server/process_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

namespace corvane {
namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_signalPipe[2] = {-1, -1};  // write end used from the async signal handler only

void HandleSignal(int signalNumber) {
  const char byte = static_cast<char>(signalNumber);
  [[maybe_unused]] ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

}  // namespace

ProcessSignals::ProcessSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
  notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ProcessSignals::OnReadable);
  struct sigaction action = {};
  action.sa_handler = HandleSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signalNumber : kHandledSignals) sigaction(signalNumber, &action, nullptr);
}

ProcessSignals::~ProcessSignals() {
  for (const int signalNumber : kHandledSignals) signal(signalNumber, SIG_DFL);
  if (g_signalPipe[0] >= 0) {
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
}

void ProcessSignals::OnReadable() {
  char byte = 0;
  if (::read(g_signalPipe[0], &byte, 1) != 1) return;
  if (byte == SIGHUP) {
    Q_EMIT hangupReceived();
  } else {
    Q_EMIT terminationRequested(byte);
  }
}

}  // namespace corvane
