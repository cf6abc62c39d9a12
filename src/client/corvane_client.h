#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <optional>

#include "base/pseudo_random.h"
#include "client/client_frames.h"

class QTcpSocket;

namespace corvane {

// How the client frames its requests after the logon.
enum class ClientEncryption {
  kAuto,       // enciphered when the logon handed out a session key other than "000"
  kPlain,      // always plain
  kEncrypted,  // always enciphered with the session key and the private key
};

// A client of the server's protocol with blocking calls that keep the calling thread's
// events running while they wait (so a server in the same thread keeps serving). Every wait
// ends after `timeoutMs`.
class CorvaneClient {
 public:
  explicit CorvaneClient(int timeoutMs = 5000);
  ~CorvaneClient();
  CorvaneClient(const CorvaneClient&) = delete;
  CorvaneClient& operator=(const CorvaneClient&) = delete;

  // The first step of the handshake: the port the listener announces (0 when the server is
  // full); nothing when the listener cannot be reached or answers nothing readable.
  std::optional<quint16> RequestSlotPort(const QString& host, quint16 listenPort);
  // The second step: connects to the slot's port. Its first request goes with the logon keys.
  bool ConnectToSlot(const QString& host, quint16 slotPort);
  // Both steps. False when either fails or the server is full.
  bool Connect(const QString& host, quint16 listenPort);

  // Logs on: user name, the password mirrored, and the client's own address (the socket's
  // local address when empty). The private key deciphers the reply and later traffic.
  std::optional<ClientReply> Logon(const QByteArray& user, const QByteArray& password,
                                   int32_t privateKey, const QByteArray& address = {});

  // Sends one request framed as the connection stands (the first with the logon keys).
  void Send(const QByteArray& command, const QList<QByteArray>& fields = {});
  // Sends bytes exactly as given.
  void SendRaw(const QByteArray& bytes);
  // Sends a request and waits for one reply.
  std::optional<ClientReply> Request(const QByteArray& command,
                                     const QList<QByteArray>& fields = {});
  // Waits for the next reply; `timeoutMs` < 0 uses the client's timeout.
  std::optional<ClientReply> ReadReply(int timeoutMs = -1);
  // Collects replies until `count` arrived or the time is up.
  QList<ClientReply> ReadReplies(int count, int timeoutMs = -1);

  bool IsConnected() const;
  // Waits until the server closed the connection.
  bool WaitForDisconnected(int timeoutMs = -1);
  void Disconnect();
  // Closes the connection once what was sent went out, as a client that logs off does (the
  // server still reads it); Disconnect drops it at once.
  void Close();

  void SetEncryption(ClientEncryption mode) { encryption_ = mode; }
  int16_t SessionKey() const { return sessionKey_; }
  void SetSessionKey(int16_t key) { sessionKey_ = key; }
  int32_t PrivateKey() const { return privateKey_; }
  void SetPrivateKey(int32_t key) { privateKey_ = key; }
  int timeoutMs() const { return timeoutMs_; }
  // Connects from this local address from now on (a loopback address of its own, say, for
  // a client the server should tell apart from others on the same machine).
  void SetLocalAddress(const QHostAddress& address) { localAddress_ = address; }

 private:
  // Lets the socket go: closed after what was sent (graceful) or dropped at once.
  void Release(bool graceful);
  bool EncipherRequests() const;
  std::vector<ClientKeys> ReplyKeyCandidates() const;
  bool OpenSocket(const QString& host, quint16 port);

  int timeoutMs_;
  QPointer<QTcpSocket> socket_;
  QHostAddress localAddress_;
  QByteArray received_;
  bool firstMessage_ = true;
  int32_t privateKey_ = 0;
  int16_t sessionKey_ = 0;
  ClientEncryption encryption_ = ClientEncryption::kAuto;
  PseudoRandom random_;
};

}  // namespace corvane
