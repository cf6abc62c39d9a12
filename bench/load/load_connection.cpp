#include "load_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/text_scramble.h"
#include "request_plan.h"
#include "wire/cipher.h"
#include "wire/control_chars.h"

namespace corvane::load {
namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

LoadConnection::LoadConnection(const LoadTarget& target) : target_(target) {}

LoadConnection::~LoadConnection() { Close(); }

void LoadConnection::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  received_.clear();
}

void LoadConnection::Open(quint16 port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw LoadError(SystemError("socket"));
  const int on = 1;
  // Each request is one small write answered before the next: never wait to fill a segment.
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (!target_.source.isEmpty()) {
    sockaddr_in own{};
    own.sin_family = AF_INET;
    if (::inet_pton(AF_INET, target_.source.constData(), &own.sin_addr) != 1) {
      throw LoadError("not an IPv4 address: " + target_.source.toStdString());
    }
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0) {
      throw LoadError(SystemError("bind to " + target_.source.toStdString()));
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, target_.host.constData(), &address.sin_addr) != 1) {
    throw LoadError("not an IPv4 address: " + target_.host.toStdString());
  }
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno != EINPROGRESS) {
    throw LoadError(SystemError("connect to port " + std::to_string(port)));
  }
  pollfd p{fd_, POLLOUT, 0};
  if (::poll(&p, 1, target_.timeoutMs) != 1) {
    throw LoadError("no connection to port " + std::to_string(port));
  }
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error != 0) {
    errno = error;
    throw LoadError(SystemError("connect to port " + std::to_string(port)));
  }
}

bool LoadConnection::WaitReadable(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) == 1;
}

quint16 LoadConnection::AskForSlot(Clock::time_point deadline) {
  Open(target_.port);
  while (true) {
    if (!WaitReadable(RemainingMs(deadline))) throw LoadError("no redirect from the listener");
    const bool open = ReadAvailable();
    if (const std::optional<quint16> port = ParseRedirect(received_)) return *port;
    if (!open) throw LoadError("the listener closed without a redirect");
  }
}

void LoadConnection::ConnectAndLogon() {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(target_.timeoutMs);
  fullRetries_ = 0;
  quint16 slotPort = AskForSlot(deadline);
  while (slotPort == 0) {
    if (RemainingMs(deadline) <= kFullServerRetryMs) throw LoadError("the server is full");
    ++fullRetries_;
    Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(kFullServerRetryMs));
    slotPort = AskForSlot(deadline);
  }
  Open(slotPort);

  logonFrame_ = true;
  sessionKey_ = 0;
  replyKeys_ = {{ReplyKey, target_.privateKey}, {ReplyKey, LogonKey}};
  const ClientReply reply =
      Exchange(MessageText("Logon", {target_.user, MirrorText(target_.password),
                                     target_.source.isEmpty() ? target_.host : target_.source}));
  if (reply.word != "Accepted" || reply.fields.isEmpty()) {
    throw LoadError("logon refused: " + reply.word.toStdString());
  }
  sessionKey_ = static_cast<int16_t>(reply.fields.front().toInt());
  replyKeys_.clear();
  if (sessionKey_ != 0) replyKeys_.push_back({sessionKey_, target_.privateKey});
  replyKeys_.push_back({ReplyKey, target_.privateKey});  // the "UserDenied" refusal
}

QByteArray LoadConnection::Frame(const QByteArray& text) {
  if (logonFrame_) {
    logonFrame_ = false;
    return EncryptPayload(text, DerivedIntegerKey(LogonKey), LogonKey) + FrameEndMark() +
           RandomTrailer(random_);
  }
  if (sessionKey_ == 0) return text + FrameEndMark() + kEot;
  return EncryptPayload(text, sessionKey_, target_.privateKey) + FrameEndMark() +
         RandomTrailer(random_);
}

bool LoadConnection::Send(const QByteArray& frame) {
  qsizetype sent = 0;
  while (sent < frame.size()) {
    const ssize_t n = ::send(fd_, frame.constData() + sent, frame.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += n;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, target_.timeoutMs) != 1) return false;
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

bool LoadConnection::ReadAvailable() {
  char chunk[16384];
  while (true) {
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      received_.append(chunk, n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;  // closed by the peer, or failed
  }
}

std::optional<ClientReply> LoadConnection::TakeReply() {
  return TakeReplyFrame(received_, replyKeys_);
}

ClientReply LoadConnection::WaitReply() {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(target_.timeoutMs);
  while (true) {
    if (std::optional<ClientReply> reply = TakeReply()) return *reply;
    if (!WaitReadable(RemainingMs(deadline))) throw LoadError("no reply in time");
    if (!ReadAvailable()) {
      if (std::optional<ClientReply> reply = TakeReply()) return *reply;
      throw LoadError("the server closed the connection");
    }
  }
}

ClientReply LoadConnection::Exchange(const QByteArray& text) {
  if (!Send(Frame(text))) throw LoadError(SystemError("send"));
  return WaitReply();
}

}  // namespace corvane::load
