// The user-store readers. Mode 0: the bytes are a whole registry.db, as a crash or a disk
// fault may leave it; the server's questions must be answered without a fault. Otherwise the
// input is a stored value name and its data (as another program may have written them into
// a sound file), read by the logon lookup and the user list, and the scrambling helpers.
#include <QDir>
#include <QFile>

#include "config/registry_store.h"
#include "config/user_list_model.h"
#include "config/user_store.h"
#include "harness.h"
#include "users/store_scramble.h"

using namespace corvane;

namespace {

void AskEverything(UserStore& users, const QByteArray& name) {
  users.HasUsers();
  users.ReadStoredRecord("BOB");
  users.ReadStoredRecord(name);
  users.FindLogonUser("BOB");
  users.FindLogonUser(name);
  users.UserExists(QStringLiteral("BOB"));
  UserListModel list;
  users.LoadUsers(list);
  users.LegacyUsersPresent();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const uint8_t mode = input.Byte();
  const QString dir = fuzz::ScratchDirectory();
  RegistryStore registry(dir);
  AutostartEntry autostart(dir, AutostartPlaces{QStringLiteral("/bin/true"), dir, dir});
  UserStore users(registry, autostart);
  QFile::remove(registry.FilePath());

  if (mode % 3 == 0) {
    QFile file(registry.FilePath());
    if (!file.open(QIODevice::WriteOnly)) fuzz::Fail("scratch file");
    file.write(input.Rest());
    file.close();
    AskEverything(users, "BOB");
    return 0;
  }

  const QByteArray name = input.Until('\0');
  const QByteArray value = input.Rest();
  StoreUnscramble(StripAtNul(value));
  BeforeColon(value);
  AfterColon(value);
  ParseLogonRecord(value);
  fuzz::Expect(StoreUnscramble(StoreScramble(value)) == value, "scrambling is undone");

  const QByteArray keyPath =
      mode % 3 == 1 ? QByteArray(UserKeyPath) : QByteArray(LegacySlotKeyPrefix) + "1";
  if (!registry.CreateKey(keyPath)) fuzz::Fail("key created");
  registry.SetValue(keyPath, name, value);
  registry.SetValue(keyPath, StoreScramble("BOB"), value);
  AskEverything(users, name);
  if (mode % 3 == 2) {
    users.ImportLegacyUsers();
    AskEverything(users, name);
  }
  return 0;
}
