#include "server/slot_server.h"

#include "transport/tcp/socket_state.h"
#include "wire/frame_assembler.h"
#include "wire/frame_codec.h"
#include "base/printable_bytes.h"

namespace corvane {
namespace {

// How many bytes of an overfull buffer the activity note shows.
constexpr qsizetype kNotedBytes = 40;

}  // namespace

SlotServer::SlotServer(const ServerSettings& settings, const Catalogue& catalogue,
                       UserDirectory& users, ActivityReporter& activity, PseudoRandom& random,
                       ActivityNoteSink* notes, const ConnectionLimits& limits, QObject* parent)
    : QObject(parent),
      settings_(settings),
      users_(users),
      activity_(activity),
      random_(random),
      notes_(notes),
      limits_(limits),
      services_{settings, catalogue, users, activity, random, sessions_, *this},
      dispatcher_(services_),
      listener_([this] { return ReserveSlot(); }, limits.handshakeHoldLimitMs) {
  connect(&listener_, &HandshakeListener::ListenerError, this, &SlotServer::ListenerError);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    auto* socket = new SlotSocket(this);
    sockets_[slot] = socket;
    connect(socket, &SlotSocket::Accepted, this, [this, slot] { OnAccepted(slot); });
    connect(socket, &SlotSocket::DataArrived, this,
            [this, slot](const QByteArray& data) { OnDataArrived(slot, data); });
    connect(socket, &SlotSocket::ReservationExpired, this, [this, slot] {
      sessions_.at(slot).ReceiveBuffer.clear();
      sessions_.at(slot).ReceiveScanFrom = 0;
    });
  }
}

SlotServer::~SlotServer() = default;

void SlotServer::StartListening() {
  if (!users_.HasUsers()) return;
  if (listener_.State() == kSocketListening) return;
  const int port = settings_.ListenPort;
  if (port < 0 || !listener_.Listen(static_cast<quint16>(port))) listener_.Close();
}

void SlotServer::CloseListener() { listener_.Close(); }

SlotSocket* SlotServer::SocketOfSlot(int slot) const {
  return IsSlotNumber(slot) ? sockets_[slot] : nullptr;
}

int SlotServer::SlotState(int slot) const {
  return IsSlotNumber(slot) ? sockets_[slot]->State() : kSocketClosed;
}

int SlotServer::FindFreeSlot() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const int state = sockets_[slot]->State();
    if (state == kSocketConnected || state == kSocketListening) continue;
    // The previous connection ends here as it would at the next refresh, so nothing of it
    // reaches the next client.
    if (state == kSocketPeerClosing || state == kSocketError) FreeClosedSlot(slot);
    if (sockets_[slot]->State() != kSocketClosed) sockets_[slot]->Close();
    return slot;
  }
  return -1;
}

quint16 SlotServer::ReserveSlot() {
  const int slot = FindFreeSlot();
  if (slot < 0) return 0;
  if (!sockets_[slot]->Listen(0, limits_.reservationLimitMs)) return 0;
  return sockets_[slot]->LocalPort();
}

bool SlotServer::SendToSlot(const QByteArray& frame, int slot) {
  if (!IsSlotNumber(slot) || sockets_[slot]->State() != kSocketConnected) return false;
  return sockets_[slot]->Send(frame);
}

int SlotServer::OpenVirtualSlot(const QString& peerAddress, quint16 localPort,
                                SlotSocket::FrameSink sink) {
  const int slot = FindFreeSlot();
  if (slot < 0) return -1;
  sockets_[slot]->AttachVirtual(peerAddress, localPort, std::move(sink));
  OnAccepted(slot);
  return slot;
}

void SlotServer::DispatchToSlot(const QByteArray& frame, int slot) {
  if (!IsSlotNumber(slot) || sockets_[slot]->State() != kSocketConnected) return;
  dispatcher_.DispatchCommand(frame, slot);
}

void SlotServer::EndVirtualSlot(int slot) {
  if (!IsSlotNumber(slot) || !sockets_[slot]->IsVirtual()) return;
  sockets_[slot]->MarkPeerClosed();
  if (sockets_[slot]->State() == kSocketPeerClosing) FreeClosedSlot(slot);
}

void SlotServer::AddCurrentUserRow(int slot) {
  const SlotSession& session = sessions_.at(slot);
  CurrentUserRow row;
  row.localPort = QString::number(sockets_[slot]->LocalPort());
  row.user = session.SlotUserName;
  row.remoteAddress = session.SlotRemoteAddress;
  row.slot = slot;
  currentUsers_.AddRow(row);
}

void SlotServer::OnAccepted(int slot) {
  SlotSession& session = sessions_.at(slot);
  session.FreshConnection = true;
  session.LogonAccepted = false;
  session.ReceiveBuffer.clear();
  session.ReceiveScanFrom = 0;
}

void SlotServer::OnDataArrived(int slot, const QByteArray& data) {
  sessions_.at(slot).ReceiveBuffer += data;
  DispatchCompleteFrames(slot);
}

void SlotServer::DispatchCompleteFrames(int slot) {
  SlotSession& session = sessions_.at(slot);
  // Frames are handed over one at a time: each may change how the next one is read.
  while (sockets_[slot]->State() == kSocketConnected && !session.ReceiveBuffer.isEmpty()) {
    const std::optional<qsizetype> length = FindFrameLength(
        session.ReceiveBuffer, session.ReceiveScanFrom, RequestKeysFor(session, settings_),
        RequestTrailerLength(session, settings_));
    if (!length) break;
    const QByteArray frame = session.ReceiveBuffer.left(*length);
    session.ReceiveBuffer.remove(0, *length);
    session.ReceiveScanFrom = 0;
    dispatcher_.DispatchCommand(frame, slot);
  }
  const qsizetype limit =
      session.LogonAccepted ? limits_.receiveLimitAfterLogon : limits_.receiveLimitBeforeLogon;
  if (sockets_[slot]->State() == kSocketConnected && session.ReceiveBuffer.size() > limit) {
    DropOverfullSlot(slot);
  }
}

void SlotServer::DropOverfullSlot(int slot) {
  const SlotSession& session = sessions_.at(slot);
  const qsizetype limit =
      session.LogonAccepted ? limits_.receiveLimitAfterLogon : limits_.receiveLimitBeforeLogon;
  if (notes_) {
    notes_->LogNote(slot, QStringLiteral("Connection closed: %1 bytes received without a "
                                         "complete message (limit %2) from %3; first bytes: %4")
                              .arg(session.ReceiveBuffer.size())
                              .arg(limit)
                              .arg(sockets_[slot]->PeerAddress(),
                                   PrintableBytes(session.ReceiveBuffer.left(kNotedBytes))));
  }
  FreeClosedSlot(slot);
}

void SlotServer::FreeClosedSlot(int slot) {
  SlotSession& session = sessions_.at(slot);
  sockets_[slot]->Close();
  sessions_.CloseSlotDatabase(slot);
  session.ReceiveBuffer.clear();
  session.ReceiveScanFrom = 0;
  activity_.LogActivity(slot, "Logoff");
  ClearSlotText(session);
}

}  // namespace corvane
