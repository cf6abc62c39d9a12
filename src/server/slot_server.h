#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <memory>

#include "activity/activity_note_sink.h"
#include "activity/activity_reporter.h"
#include "base/catalogue.h"
#include "base/server_settings.h"
#include "transport/tcp/connection_limits.h"
#include "server/current_users_model.h"
#include "transport/tcp/handshake_listener.h"
#include "transport/tcp/slot_socket.h"
#include "commands/command_dispatcher.h"
#include "base/pseudo_random.h"
#include "commands/session_table.h"
#include "commands/slot_host.h"
#include "config/user_directory.h"

namespace corvane {

// The three panels of the status bar.
struct StatusTexts {
  QString status;  // "Status: " + the listener's state text (+ "   Maximum Users Allowed")
  QString port;    // "Port: " + the listener's port
  QString users;   // "Users: " + the number of logged-on slots
};

// The listener, the 100 client slots with their sockets and sessions, the dispatcher, and the
// housekeeping over them. Everything runs on the thread that owns it. The timers are the
// owner's: it calls RefreshStatus, RenewKeySeed and CheckInactivity on their ticks.
class SlotServer : public QObject, private SlotHost {
  Q_OBJECT

 public:
  SlotServer(const ServerSettings& settings, const Catalogue& catalogue, UserDirectory& users,
             ActivityReporter& activity, PseudoRandom& random, ActivityNoteSink* notes = nullptr,
             const ConnectionLimits& limits = {}, QObject* parent = nullptr);
  ~SlotServer() override;

  // --- Listener ---
  // Listens on ListenPort when the user store holds a user; a listener that is already
  // listening is left alone. A port that cannot be listened on leaves it Closed, silently.
  void StartListening();
  void CloseListener();
  int ListenerState() const { return listener_.State(); }
  quint16 ListenerPort() const { return listener_.LocalPort(); }

  // --- Slots ---
  // The socket of slot 0..99; nullptr outside.
  SlotSocket* SocketOfSlot(int slot) const;
  int SlotState(int slot) const;
  // The lowest slot that is neither connected nor listening, or -1. A slot whose previous
  // connection is still waiting to be reaped is freed first.
  int FindFreeSlot();
  bool SendToSlot(const QByteArray& frame, int slot) override;

  // --- Virtual connections (web sessions) ---
  // Gives the lowest free slot to a connection without a TCP socket whose replies go to
  // `sink`; -1 when every slot is in use. The slot then awaits its logon like a freshly
  // accepted connection.
  int OpenVirtualSlot(const QString& peerAddress, quint16 localPort, SlotSocket::FrameSink sink);
  // Dispatches one whole request frame of a connected slot, as if it had arrived on its
  // socket.
  void DispatchToSlot(const QByteArray& frame, int slot);
  // The peer of a virtual slot left: the slot is freed at once ("Logoff").
  void EndVirtualSlot(int slot);

  SessionTable& Sessions() { return sessions_; }
  CommandDispatcher& Dispatcher() { return dispatcher_; }
  CurrentUsersModel& CurrentUsers() { return currentUsers_; }
  const StatusTexts& Status() const { return status_; }

  // --- Housekeeping ---
  // Frees every slot whose peer closed or whose connection failed: "Logoff" for each.
  void ReapClosingSlots();
  // Reaps, closes connections that have not logged on, rebuilds the users list and the
  // status texts.
  const StatusTexts& RefreshStatus();
  bool AnyClientConnected() const;
  int ConnectedCount() const;
  // Closes every slot socket that is not Closed.
  void CloseAllSlots();
  // The setup command's disconnection: closes every slot socket and clears its texts.
  void DisconnectAllSlots();
  // Shutdown: closes every slot's database and socket.
  void CloseEverySlot();

  // --- Timer work ---
  int16_t KeySeed() const { return sessions_.KeySeed(); }
  // Draws the next key seed, 1..126.
  void RenewKeySeed();
  // One minute of the inactivity check. False when InactivityLimit is 0: the caller then
  // stops the timer.
  bool CheckInactivity();
  // Every slot's count starts again from 0 (the setup turned the check on).
  void ResetIdleCounts();

 Q_SIGNALS:
  void StatusRefreshed();
  void ListenerError(const QString& description);

 private:
  void AddCurrentUserRow(int slot) override;
  quint16 ReserveSlot();
  void OnAccepted(int slot);
  void OnDataArrived(int slot, const QByteArray& data);
  void DispatchCompleteFrames(int slot);
  void DropOverfullSlot(int slot);
  // Closes the socket and the database, empties the buffer, reports "Logoff", clears the
  // texts.
  void FreeClosedSlot(int slot);

  const ServerSettings& settings_;
  UserDirectory& users_;
  ActivityReporter& activity_;
  PseudoRandom& random_;
  ActivityNoteSink* notes_;
  ConnectionLimits limits_;
  SessionTable sessions_;
  ProtocolServices services_;
  CommandDispatcher dispatcher_;
  CurrentUsersModel currentUsers_;
  HandshakeListener listener_;
  std::array<SlotSocket*, kSlotCount> sockets_{};
  StatusTexts status_;
};

}  // namespace corvane
