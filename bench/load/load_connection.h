#pragma once

#include <QByteArray>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/pseudo_random.h"
#include "client/client_frames.h"

namespace corvane::load {

// Where the clients connect and as whom.
struct LoadTarget {
  QByteArray host = "127.0.0.1";
  quint16 port = 0;
  QByteArray user;
  QByteArray password;
  int32_t privateKey = 0;
  int timeoutMs = 30000;  // for each step of the preparation
  // The client's own address (its sockets are bound to it, and its logon names it); empty:
  // the system's choice.
  QByteArray source;
};

// A client told the port "0" (no slot free now) asks again after this pause.
inline constexpr int kFullServerRetryMs = 100;

class LoadError : public std::runtime_error {
 public:
  explicit LoadError(const std::string& what) : std::runtime_error(what) {}
};

// One client's connection on a non-blocking socket. The preparation (handshake, logon) waits
// for each reply; during the run the caller's event loop says when to read.
class LoadConnection {
 public:
  explicit LoadConnection(const LoadTarget& target);
  ~LoadConnection();
  LoadConnection(const LoadConnection&) = delete;
  LoadConnection& operator=(const LoadConnection&) = delete;

  // Asks the listener for a slot (again after a pause while it answers the port "0"),
  // connects to it and logs on. Throws LoadError.
  void ConnectAndLogon();
  // How often the last ConnectAndLogon was told the port "0".
  int FullRetries() const { return fullRetries_; }
  // Sends one request and waits for its reply. Throws LoadError.
  ClientReply Exchange(const QByteArray& text);

  int fd() const { return fd_; }
  // True when the logon handed out a session key: requests and replies are enciphered.
  bool Encrypted() const { return sessionKey_ != 0; }

  // The frame of a request under the session's keys.
  QByteArray Frame(const QByteArray& text);
  // Writes the whole frame (small frames go out at once on a fresh loopback socket); false
  // when the socket failed.
  bool Send(const QByteArray& frame);
  // Reads everything that arrived; false when the peer closed or the socket failed.
  bool ReadAvailable();
  // The next complete reply read so far.
  std::optional<ClientReply> TakeReply();
  void Close();

 private:
  void Open(quint16 port);
  // The slot port the listener announced; 0 when it had none.
  quint16 AskForSlot(std::chrono::steady_clock::time_point deadline);
  bool WaitReadable(int timeoutMs);
  ClientReply WaitReply();

  LoadTarget target_;
  int fd_ = -1;
  QByteArray received_;
  bool logonFrame_ = true;  // the first request of a slot connection goes with the logon keys
  int16_t sessionKey_ = 0;
  int fullRetries_ = 0;
  std::vector<ClientKeys> replyKeys_;
  PseudoRandom random_;
};

}  // namespace corvane::load
