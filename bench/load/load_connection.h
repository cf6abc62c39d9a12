#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "client/client_frames.h"
#include "base/pseudo_random.h"

namespace corvane::load {

// Where the clients connect and as whom.
struct LoadTarget {
  QByteArray host = "127.0.0.1";
  quint16 port = 0;
  QByteArray user;
  QByteArray password;
  int32_t privateKey = 0;
  int timeoutMs = 30000;  // for each step of the preparation
};

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

  // Asks the listener for a slot, connects to it and logs on. Throws LoadError.
  void ConnectAndLogon();
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
  bool WaitReadable(int timeoutMs);
  ClientReply WaitReply();

  LoadTarget target_;
  int fd_ = -1;
  QByteArray received_;
  bool logonFrame_ = true;  // the first request of a slot connection goes with the logon keys
  int16_t sessionKey_ = 0;
  std::vector<ClientKeys> replyKeys_;
  PseudoRandom random_;
};

}  // namespace corvane::load
