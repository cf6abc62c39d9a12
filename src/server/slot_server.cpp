#include "server/slot_server.h"

#include <algorithm>

#include "protocol/socket_state.h"

namespace corvane {
namespace {

// How long the server's end waits for the work it stopped, and then for the releases of
// its clients' databases.
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
      limits_(limits),
      formats_(locale),
      housekeeping_(clients_, settings, random, limits_, currentUsers_),
      services_{settings,          users, *this, housekeeping_.KeySeed(), formats_, databases,
                kClientWorkLimitMs},
      dispatcher_(services_),
      work_(dispatcher_, [this](ClientJob& job) { FinishWork(job); }),
      logons_(dispatcher_, catalogue, activity, limits_, clients_, metrics_,
              [this](Client& client) { EndTurn(client); }),
      listener_([this](const QString& peer) { return ReserveSlot(peer); }, limits) {
  connect(&listener_, &HandshakeListener::ListenerError, this, &SlotServer::ListenerError);
  connect(&work_, &ClientWork::QueryLeft, this, &SlotServer::QueryLeft);
  const ClientServices shared{settings, random, limits_, activity, currentUsers_, catalogue, work_};
  for (int n = 0; n < kSlotCount; ++n) {
    clients_[n] = std::make_unique<Client>(n, shared);
    Client& client = *clients_[n];
    client.socket().SetHandlers({
        .accepted = [&client] { client.Begin(); },
        .request = [this, &client](Request request) { Serve(client, std::move(request)); },
        .overfull =
            [this, &client](const QString& note) {
              activity_.LogNote(note, client.session().SlotUserName);
              client.Free(FreeReason::kOverfull);
            },
        .closed = [this, &client] { FreeClosedSlot(client); },
    });
  }
}

SlotServer::~SlotServer() {
  // Work still running stops at its next step; its results are not wanted any more. What
  // the clients had open is released on the workers, which the end waits for.
  for (const auto& client : clients_) client->Free(FreeReason::kShutdown);
  work_.SettleStoppedWork(kStopWaitMs);
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

int SlotServer::SlotState(int slot) const {
  return IsSlotNumber(slot) ? clients_[slot]->State() : kSocketClosed;
}

int SlotServer::FindFreeSlot() {
  for (const auto& client : clients_) {
    const int state = client->State();
    if (state == kSocketConnected || state == kSocketListening) continue;
    if (SocketEnded(state)) {
      // What the closed connection sent last is still carried out; its slot frees itself.
      if (client->MustFinish()) continue;
      // Otherwise it ends here as it would at the next refresh, so nothing of it reaches
      // the next client.
      client->Free(FreeReason::kPeerClosed);
    }
    return client->number();
  }
  return -1;
}

quint16 SlotServer::ReserveSlot(const QString& peer) {
  const auto unlogged =
      std::count_if(clients_.begin(), clients_.end(),
                    [&peer](const auto& client) { return client->UnloggedFrom(peer); });
  if (unlogged >= limits_.mostUnloggedSlotsPerAddress) return 0;
  auto reserved = [this] {
    return std::count_if(clients_.begin(), clients_.end(),
                         [](const auto& client) { return client->State() == kSocketListening; });
  };
  if (reserved() >= limits_.mostReservedSlots) {
    // On a busy server, clients that did connect may still wait in the system's queue for
    // the event loop: their slots are taken, not waiting, and must not turn others away.
    for (const auto& client : clients_) {
      if (client->OnSocket()) client->socket().TakeArrivedConnection();
    }
    if (reserved() >= limits_.mostReservedSlots) return 0;
  }
  const int slot = FindFreeSlot();
  return slot < 0 ? 0 : clients_[slot]->Reserve(peer);
}

void SlotServer::Serve(Client& client, Request request, std::function<void()> done) {
  if (client.Occupied()) {
    client.Queue(std::move(request), std::move(done));
    return;
  }
  if (LogonGate::IsLogon(request)) {
    logons_.Serve(client, std::move(request), std::move(done));
    return;
  }
  // Database work runs on a worker; a client without its logon is refused here.
  const CommandDescriptor* command = request.command;
  if (command && command->Has(kRunsOnWorker) && client.LoggedOn()) {
    work_.Start(client, std::move(request), std::move(done),
                command->Has(kReadsCatalogue) ? catalogue_.Snapshot() : noCatalogue_);
    return;
  }
  const RequestMetrics::Clock::time_point began = RequestMetrics::Clock::now();
  const Replies out = dispatcher_.Execute(client.Live(), request, catalogue_.Current());
  client.Apply(out);
  metrics_.Answered(command, out, began);
  if (done) done();
}

void SlotServer::FinishWork(ClientJob& job) {
  Client& client = *clients_[job.slot];
  if (client.generation() != job.generation) {
    // The client was freed meanwhile: the result is dropped.
    work_.Release(std::move(job.database));
    if (job.done) job.done();
    return;
  }
  client.EndWork(std::move(job.session), std::move(job.database), job.out.active);
  client.Apply(job.out);
  metrics_.Answered(job.request.command, job.out, job.began);
  if (job.done) job.done();
  if (client.generation() == job.generation) EndTurn(client);
}

void SlotServer::EndTurn(Client& client) {
  while (std::optional<PendingRequest> next = client.TakePending()) {
    Serve(client, std::move(next->request), std::move(next->done));
  }
  if (client.ConnectionEnded()) {
    // A logon of its user may wait for what the closed connection left running.
    logons_.ClosedSlotSettled();
    // Its connection ended while the request ran.
    if (!client.Occupied()) client.Free(FreeReason::kPeerClosed);
    return;
  }
  if (client.Occupied()) return;
  if (client.State() == kSocketConnected) client.transport().ResumeInput();
}

void SlotServer::FreeClosedSlot(Client& client) {
  // The client may have sent its last request just before it closed: what runs is carried
  // out, and its end frees the client.
  if (!client.Busy() && client.ConnectionEnded()) client.Free(FreeReason::kPeerClosed);
}

int SlotServer::ConnectedCount() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [](const auto& client) {
    return client->State() == kSocketConnected;
  }));
}

int SlotServer::FreeSlotCount() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [](const auto& client) {
    const int state = client->State();
    return state != kSocketConnected && state != kSocketListening;
  }));
}

void SlotServer::FreeEverySlot(FreeReason reason) {
  for (const auto& client : clients_) client->Free(reason);
  currentUsers_.Clear();
}

const StatusTexts& SlotServer::RefreshStatus() {
  housekeeping_.RefreshStatus(listener_.State(), listener_.LocalPort());
  logons_.LogRefusalSummaries();
  Q_EMIT StatusRefreshed();
  return housekeeping_.Status();
}

int SlotServer::OpenSlot(std::shared_ptr<SlotTransport> connection) {
  const int slot = FindFreeSlot();
  if (slot >= 0) clients_[slot]->Begin(std::move(connection));
  return slot;
}

void SlotServer::Serve(int slot, const Request& request, std::function<void()> done) {
  if (!IsSlotNumber(slot) || clients_[slot]->State() != kSocketConnected) {
    if (done) done();
    return;
  }
  Serve(*clients_[slot], Request(request), std::move(done));
}

void SlotServer::EndSlot(int slot) {
  if (!IsSlotNumber(slot) || clients_[slot]->OnSocket()) return;
  clients_[slot]->Free(FreeReason::kClientLeft);
}

bool SlotServer::LoggedOn(int slot, const SlotTransport& connection) const {
  if (!IsSlotNumber(slot)) return false;
  const Client& client = *clients_[slot];
  return &client.transport() == &connection && connection.State() == kSocketConnected &&
         client.LoggedOn();
}

QString SlotServer::UserName(int slot) const {
  return IsSlotNumber(slot) ? clients_[slot]->session().SlotUserName : QString();
}

std::vector<WebFieldShape> SlotServer::OpenFieldShapes(int slot) const {
  std::vector<WebFieldShape> shapes;
  if (!IsSlotNumber(slot) || clients_[slot]->Busy()) return shapes;
  const Recordset* set = clients_[slot]->database().recordset();
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
  // A connection that closed is no logon of its user's, even while its last request runs.
  return std::any_of(clients_.begin(), clients_.end(), [&](const auto& other) {
    return other->number() != slot && !other->ConnectionEnded() &&
           other->session().SlotUserName == userName;
  });
}

}  // namespace corvane
