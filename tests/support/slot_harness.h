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
#include "commands/client_slot.h"
#include "commands/current_users_model.h"
#include "commands/dispatcher.h"
#include "commands/logon.h"
#include "support/protocol_fakes.h"

namespace corvane::test {

class SlotHarness : private SlotDirectory {
 public:
  explicit SlotHarness(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
  ~SlotHarness() override;

  ClientSlot& Slot(int n) { return *slots_[n]; }
  // A connection was just accepted on the slot.
  void Accept(int n) { slots_[n]->Begin(); }
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

  RegionalFormats formats_;
  FileDatabaseOpener databases_;
  CommandServices services_;
  Dispatcher dispatcher_;
  std::array<std::unique_ptr<ClientSlot>, kSlotCount> slots_;
  std::array<std::unique_ptr<Transport>, kSlotCount> transports_;
};

}  // namespace corvane::test
