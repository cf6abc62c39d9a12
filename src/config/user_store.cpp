#include "config/user_store.h"

#include <QSet>

#include "base/windows1252.h"
#include "config/registry_store.h"
#include "config/user_list_model.h"
#include "users/store_scramble.h"
#include "users/user_rules.h"

namespace corvane {
namespace {

const QByteArray UserKey(UserKeyPath);

// A name the registry hands out ends at its first NUL, like the text in a name buffer.
QByteArray NameBeforeNul(const QByteArray& storedName) { return StripAtNul(storedName + '\0'); }

// A failed read leaves the buffer as it was prepared: all NUL, hence the empty text.
QByteArray ReadBuffer(const std::optional<QByteArray>& buffer, int size) {
  return StoreUnscramble(StripAtNul(buffer.value_or(QByteArray(size, '\0'))));
}

}  // namespace

UserStore::UserStore(RegistryStore& registry, const QString& programDir)
    : UserStore(registry, AutostartEntry(programDir, AutostartPlaces::ForThisProgram())) {}

UserStore::UserStore(RegistryStore& registry, const AutostartEntry& autostart)
    : registry_(registry), autostart_(autostart) {}

bool UserStore::LoadUsers(UserListModel& users) {
  users.Clear();
  const std::optional<QList<QByteArray>> storedNames = registry_.ValueNames(UserKey);
  if (!storedNames) return false;
  for (const QByteArray& storedName : *storedNames) {
    const QByteArray name = StoreUnscramble(NameBeforeNul(storedName));
    const QByteArray data = ReadBuffer(
        registry_.QueryValue(UserKey, storedName, UserValueBufferSize), UserValueBufferSize);
    const UserData parts = SplitUserData(data);
    users.Append({FromWindows1252(name), FromWindows1252(parts.password),
                  FromWindows1252(parts.privateKey)});
  }
  return users.Count() > 0;
}

void UserStore::SaveUsers(const UserListModel& users) {
  if (users.Count() > 0 && registry_.CreateKey(UserKey)) {
    for (const UserRecord& user : users.Users()) {
      registry_.SetValue(UserKey, StoredUserName(user.name),
                         StoredUserData(user.password, user.privateKey));
    }
  }
}

void UserStore::RemoveStaleUsers(const UserListModel& users) {
  // All names are taken before the first deletion, so no deletion can make the walk
  // skip a value. Names are compared as stored, in bytes: a name with characters outside
  // the code page was saved with '?' in their place and must match that form.
  const std::optional<QList<QByteArray>> storedNames = registry_.ValueNames(UserKey);
  if (!storedNames) return;
  QSet<QByteArray> listed;
  for (const UserRecord& user : users.Users()) listed.insert(ToWindows1252(user.name));
  for (const QByteArray& storedName : *storedNames) {
    if (!listed.contains(StoreUnscramble(NameBeforeNul(storedName)))) {
      registry_.DeleteValue(UserKey, storedName);
    }
  }
}

bool UserStore::DeleteUser(const QString& name) {
  if (!registry_.KeyExists(UserKey)) return false;
  registry_.DeleteValue(UserKey, StoredUserName(name));
  return true;
}

bool UserStore::UserExists(const QString& name) {
  return registry_.QueryValue(UserKey, StoreScramble(LookupName(name)), UserValueBufferSize)
      .has_value();
}

bool UserStore::HasUsers() {
  if (LegacyUsersPresent()) ImportLegacyUsers();
  return registry_.EnumValueName(UserKey, 0).has_value();
}

std::optional<LogonRecord> UserStore::FindLogonUser(const QString& userName) {
  const std::optional<QByteArray> record = ReadStoredRecord(userName);
  if (!record) return std::nullopt;
  return ParseLogonRecord(*record);
}

std::optional<QByteArray> UserStore::ReadStoredRecord(const QString& userName) {
  const QByteArray storedName = StoreScramble(LookupName(userName));
  const std::optional<QByteArray> buffer =
      registry_.QueryValue(UserKey, storedName, UserValueBufferSize);
  if (!buffer) return std::nullopt;
  return StoreUnscramble(StripAtNul(*buffer));
}

bool UserStore::LegacyUsersPresent() {
  return registry_.KeyExists(QByteArray(LegacySlotKeyPrefix) + '1');
}

void UserStore::ImportLegacyUsers() {
  registry_.CreateKey(UserKey);
  for (int slot = 1; slot <= 5; ++slot) {
    const QByteArray slotKey = QByteArray(LegacySlotKeyPrefix) + QByteArray::number(slot);
    if (!registry_.KeyExists(slotKey)) continue;
    auto read = [&](const char* valueName) {
      return ReadBuffer(registry_.QueryValue(slotKey, valueName, LegacyValueBufferSize),
                        LegacyValueBufferSize);
    };
    const QByteArray name = read("K1");
    const QByteArray password = read("K2");
    const QByteArray privateKey = read("K4");
    if (name != "Available") {
      registry_.SetValue(UserKey, StoreScramble(name),
                         StoreScramble(JoinUserData({password, privateKey})));
    }
  }
  // Deleting every slot key makes the import run only once.
  for (int slot = 1; slot <= 5; ++slot) {
    registry_.DeleteKey(QByteArray(LegacySlotKeyPrefix) + QByteArray::number(slot));
  }
}

void UserStore::SetRunAtStartup(bool enable) { autostart_.SetRunAtStartup(enable); }

}  // namespace corvane
