#include "support/slot_harness.h"

#include "protocol/socket_state.h"
#include "wire/request_codec.h"
#include "wire/request_reader.h"

namespace corvane::test {

class SlotHarness::Transport : public SlotTransport {
 public:
  Transport(int slot, SlotHarness& harness) : slot_(slot), harness_(harness) {}
  int State() const override { return kSocketConnected; }
  void Send(const Reply& reply) override {
    const QByteArray frame =
        EncodeReply(reply, harness_.Slot(slot_).session(), harness_.settings, harness_.random);
    if (harness_.checkFrame) harness_.checkFrame(slot_, frame);
    harness_.sent.push_back({slot_, frame});
  }
  void Close() override { reader.Clear(); }
  void DiscardPendingInput() override {
    reader.Clear();
    ++discarded;
  }
  // Requests are carried out as they arrive, on this thread.
  void PauseInput() override {}
  void ResumeInput() override {}
  QString PeerAddress() const override { return QStringLiteral("127.0.0.1"); }
  quint16 LocalPort() const override { return 0; }
  qint64 ConnectedMs() const override { return 0; }

  RequestReader reader;
  int discarded = 0;

 private:
  int slot_;
  SlotHarness& harness_;
};

SlotHarness::SlotHarness(const QLocale& locale)
    : formats_(locale),
      services_{settings, users, *this, keySeed, formats_, databases_, kClientWorkLimitMs},
      dispatcher_(services_) {
  const ClientServices services{settings, random, limits_, activity, usersList, catalogue, *this};
  for (int n = 0; n < kSlotCount; ++n) {
    transports_[n] = std::make_shared<Transport>(n, *this);
    slots_[n] = std::make_unique<Client>(n, services);
  }
}

void SlotHarness::Accept(int n) { slots_[n]->Begin(transports_[n]); }

SlotHarness::~SlotHarness() {
  for (const auto& slot : slots_) slot->Free(FreeReason::kShutdown);
}

void SlotHarness::Receive(int n, const QByteArray& bytes) {
  RequestReader& reader = transports_[n]->reader;
  reader.Append(bytes);
  while (std::optional<Request> request = reader.Next(slots_[n]->Live().session, settings)) {
    Serve(n, *request);
  }
}

void SlotHarness::Serve(int n, const Request& request) {
  Client& slot = *slots_[n];
  slot.Apply(dispatcher_.Execute(slot.Live(), request, catalogue.Current()));
}

int SlotHarness::Discarded(int n) const { return transports_[n]->discarded; }

bool SlotHarness::UserNameInUse(const QString& userName, int slot) const {
  for (const auto& other : slots_) {
    if (other->number() != slot && other->session().SlotUserName == userName) return true;
  }
  return false;
}

}  // namespace corvane::test
