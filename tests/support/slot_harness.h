#pragma once

// Client slots and a dispatcher with everything they need, without sockets: what each slot
// receives is read as the TCP transport reads it, and its replies are framed as the TCP
// transport frames them.

#include <QByteArray>
#include <QLocale>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "base/pseudo_random.h"
#include "base/server_settings.h"
#include "base/shared_catalogue.h"
#include "commands/current_users_model.h"
#include "commands/dispatcher.h"
#include "commands/logon.h"
#include "server/client.h"
#include "support/protocol_fakes.h"
#include "transport/tcp/connection_limits.h"

namespace corvane::test {

class SlotHarness : private SlotDirectory, private DatabaseRelease {
 public:
  explicit SlotHarness(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
  ~SlotHarness() override;

  Client& Slot(int n) { return *slots_[n]; }
  // A connection was just accepted on the slot.
  void Accept(int n);
  // Bytes as they arrive on the slot's connection; every complete frame is carried out.
  void Receive(int n, const QByteArray& bytes);
  // A request as the transport read it.
  void Serve(int n, const Request& request);
  // How often the slot was told to forget its pending input.
  int Discarded(int n) const;

  ServerSettings settings;
  SharedCatalogue catalogue;
  FakeUserDirectory users;
  RecordingActivity activity;
  CurrentUsersModel usersList;
  PseudoRandom random;
  int16_t keySeed = kStartKeySeed;
  // Every frame sent, with its slot, in order.
  std::vector<std::pair<int, QByteArray>> sent;
  // Called with every frame before it is kept.
  std::function<void(int slot, const QByteArray& frame)> checkFrame;

 private:
  class Transport;
  bool UserNameInUse(const QString& userName, int slot) const override;
  // Nothing here is an event loop: a freed slot's database is closed at once.
  void Release(SlotDatabase database) override { database.Close(); }

  ConnectionLimits limits_;
  RegionalFormats formats_;
  FileDatabaseOpener databases_;
  CommandServices services_;
  Dispatcher dispatcher_;
  std::array<std::shared_ptr<Transport>, kSlotCount> transports_;
  std::array<std::unique_ptr<Client>, kSlotCount> slots_;
};

}  // namespace corvane::test
