#include "server/slot_server.h"

#include <QDateTime>
#include <QThread>
#include <algorithm>

#include "protocol/socket_state.h"

namespace corvane {

namespace {

// How long the server's end waits for the work it stopped.
constexpr int kStopWaitMs = 10000;

}  // namespace

SlotServer::SlotServer(const ServerSettings& settings, SharedCatalogue& catalogue,
                       UserDirectory& users, ActivityReporter& activity, PseudoRandom& random,
                       DatabaseOpener& databases, const QLocale& locale,
                       const ConnectionLimits& limits, QObject* parent)
    : QObject(parent),
      settings_(settings),
      catalogue_(catalogue),
      users_(users),
      activity_(activity),
      random_(random),
      limits_(limits),
      formats_(locale),
      services_{settings, users, *this, keySeed_, formats_, databases, kClientWorkLimitMs},
      dispatcher_(services_),
      listener_([this](const QString& peer) { return ReserveSlot(peer); },
                limits.handshakeHoldLimitMs, limits.acceptRetryMs),
      logonThrottle_([] { return QDateTime::currentMSecsSinceEpoch(); },
                     {limits.firstLogonDelayMs, limits.longestLogonDelayMs}),
      quickWorkers_(std::max(kMinimumWorkers, QThread::idealThreadCount())),
      longWorkers_(std::max(kMinimumWorkers, QThread::idealThreadCount()), kLongWorkNice),
      serverWorkers_(kServerDatabaseWorkers) {
  connect(&listener_, &HandshakeListener::ListenerError, this, &SlotServer::ListenerError);
  for (int n = 0; n < kSlotCount; ++n) {
    held_[n].timer.setSingleShot(true);
    // A coarse timer may end a hold up to 5 % early, before the address may log on again.
    held_[n].timer.setTimerType(Qt::PreciseTimer);
    connect(&held_[n].timer, &QTimer::timeout, this, [this, n] { EndHold(n); });
    slots_[n] = std::make_unique<ClientSlot>(n, activity_, currentUsers_);
    ClientSlot& slot = *slots_[n];
    // The socket reads and writes with the keys of its slot's session.
    sockets_[n] = std::make_unique<SlotSocket>(slot.session, settings_, random_, limits_);
    slot.SetOwnTransport(*sockets_[n]);
    sockets_[n]->SetHandlers({
        .accepted = [&slot] { slot.Begin(); },
        .request = [this, &slot](Request request) { Serve(slot, std::move(request)); },
        .overfull =
            [this, &slot](const QString& note) {
              activity_.LogNote(note, slot.session.SlotUserName);
              slot.Free(FreeReason::kOverfull);
            },
        .closed = [this, &slot] { FreeClosedSlot(slot); },
    });
  }
}

SlotServer::~SlotServer() {
  // Work still running stops at its next step; its results are not wanted any more.
  for (const auto& slot : slots_) {
    if (slot->Busy()) slot->Free(FreeReason::kShutdown);
  }
  WaitForWork(kStopWaitMs);
}

void SlotServer::StartListening() {
  if (!users_.HasUsers()) return;
  const int port = settings_.ListenPort;
  // A listener opened before the port was set (the setup at start-up) moves to the saved one.
  if (listener_.State() == kSocketListening && (port == 0 || listener_.LocalPort() == port)) {
    return;
  }
  listener_.Close();
  if (port < 0 || !listener_.Listen(static_cast<quint16>(port))) listener_.Close();
}

void SlotServer::CloseListener() { listener_.Close(); }

int SlotServer::SlotState(int slot) const {
  return IsSlotNumber(slot) ? slots_[slot]->State() : kSocketClosed;
}

int SlotServer::FindFreeSlot() {
  for (int n = 0; n < kSlotCount; ++n) {
    const int state = slots_[n]->State();
    if (state == kSocketConnected || state == kSocketListening) continue;
    // The previous connection ends here as it would at the next refresh, so nothing of it
    // reaches the next client.
    if (state == kSocketPeerClosing || state == kSocketError) {
      slots_[n]->Free(FreeReason::kPeerClosed);
    }
    if (sockets_[n]->State() != kSocketClosed) sockets_[n]->Close();
    return n;
  }
  return -1;
}

quint16 SlotServer::ReserveSlot(const QString& peer) {
  if (UnloggedSlotsOf(peer) >= limits_.mostUnloggedSlotsPerAddress) return 0;
  const int slot = FindFreeSlot();
  if (slot < 0) return 0;
  if (!sockets_[slot]->Listen(0)) return 0;
  reservedFor_[slot] = peer;
  return sockets_[slot]->LocalPort();
}

int SlotServer::UnloggedSlotsOf(const QString& peer) const {
  int count = 0;
  for (int n = 0; n < kSlotCount; ++n) {
    const SlotSocket& socket = *sockets_[n];
    if (&slots_[n]->transport() != &socket) continue;
    if (socket.State() == kSocketListening) {
      count += reservedFor_[n] == peer ? 1 : 0;
    } else if (socket.State() == kSocketConnected && !slots_[n]->session.LogonAccepted) {
      count += socket.PeerAddress() == peer ? 1 : 0;
    }
  }
  return count;
}

void SlotServer::Serve(ClientSlot& slot, Request request, std::function<void()> done) {
  if (Occupied(slot)) {
    pending_[slot.number()].push_back({slot.generation(), std::move(request), std::move(done)});
    return;
  }
  if (IsLogon(request)) {
    ServeLogon(slot, std::move(request), std::move(done));
    return;
  }
  // Database work runs on a worker; a slot without its logon is refused here.
  if (request.command && request.command->Has(kRunsOnWorker) && slot.session.LogonAccepted) {
    StartWork(slot, std::move(request), std::move(done));
    return;
  }
  ApplyOutcome(slot, catalogue_, dispatcher_.Execute(slot.Live(), request, catalogue_.Current()));
  if (done) done();
}

int SlotServer::OpenSlot(SlotTransport& connection) {
  const int slot = FindFreeSlot();
  if (slot >= 0) slots_[slot]->Begin(connection);
  return slot;
}

void SlotServer::Serve(int slot, const Request& request, std::function<void()> done) {
  if (!IsSlotNumber(slot) || slots_[slot]->State() != kSocketConnected) {
    if (done) done();
    return;
  }
  Serve(*slots_[slot], Request(request), std::move(done));
}

void SlotServer::EndSlot(int slot) {
  if (!IsSlotNumber(slot) || &slots_[slot]->transport() == sockets_[slot].get()) return;
  slots_[slot]->Free(FreeReason::kClientLeft);
}

bool SlotServer::LoggedOn(int slot, const SlotTransport& connection) const {
  if (!IsSlotNumber(slot)) return false;
  const ClientSlot& client = *slots_[slot];
  return &client.transport() == &connection && connection.State() == kSocketConnected &&
         client.session.LogonAccepted;
}

QString SlotServer::UserName(int slot) const {
  return IsSlotNumber(slot) ? slots_[slot]->session.SlotUserName : QString();
}

std::vector<WebFieldShape> SlotServer::OpenFieldShapes(int slot) const {
  std::vector<WebFieldShape> shapes;
  if (!IsSlotNumber(slot) || slots_[slot]->Busy()) return shapes;
  const Recordset* set = slots_[slot]->database.recordset();
  if (!set) return shapes;
  for (const FieldInfo& field : set->Fields()) {
    WebFieldShape shape;
    if (field.type == FieldType::kText) shape.maxLength = std::max(field.size, 0);
    shape.memo = field.type == FieldType::kMemo;
    shapes.push_back(shape);
  }
  return shapes;
}

bool SlotServer::UserNameInUse(const QString& userName, int slot) const {
  for (const auto& other : slots_) {
    if (other->number() != slot && other->session.SlotUserName == userName) return true;
  }
  return false;
}

}  // namespace corvane
