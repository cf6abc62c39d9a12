#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "config/autostart_entry.h"
#include "users/user_directory.h"
#include "users/user_record_format.h"

namespace corvane {

class RegistryStore;
class UserListModel;

// Registry keys of the user store.
inline constexpr char UserKeyPath[] = "Software\\Morvat\\U1";
inline constexpr char MorvatKeyPath[] = "Software\\Morvat";
// Legacy slot keys are this followed by the slot number 1 to 5.
inline constexpr char LegacySlotKeyPrefix[] = "Software\\Morvat\\P";

// Readers of the legacy values take them through a buffer of this many bytes, one more
// than UserValueBufferSize.
inline constexpr int LegacyValueBufferSize = 256;

// The users, one registry value each, as config/user_record_format.h lays them out.
// Every operation opens the registry, works and closes it again.
class UserStore : public UserDirectory {
 public:
  // The run-at-startup entry is this executable's, for this program directory.
  UserStore(RegistryStore& registry, const QString& programDir);
  UserStore(RegistryStore& registry, const AutostartEntry& autostart);

  // Fills the list from the store in store order; true when at least one user was loaded.
  // A value whose data cannot be read is still listed, with empty password and key.
  bool LoadUsers(UserListModel& users);
  // Writes every listed user; creates nothing for an empty list.
  void SaveUsers(const UserListModel& users);
  // Deletes every stored user whose name matches no list item exactly.
  void RemoveStaleUsers(const UserListModel& users);
  // Deletes the user stored under exactly this name; false when the user key is missing.
  bool DeleteUser(const QString& name);
  // Looks the name up in upper case (UserUpperCase); a value too long for the buffer reads
  // as absent.
  bool UserExists(const QString& name);
  // Imports legacy users first, once.
  bool HasUsers() override;
  std::optional<LogonRecord> FindLogonUser(const QString& userName) override;
  // The record stored for the user as it is kept ("PASSWORD:KEY"), unscrambled.
  std::optional<QByteArray> ReadStoredRecord(const QString& userName);
  bool LegacyUsersPresent();
  // Copies the users of the legacy slot keys into the user key and deletes the slot keys.
  void ImportLegacyUsers();
  void SetRunAtStartup(bool enable);

 private:
  RegistryStore& registry_;
  AutostartEntry autostart_;
};

}  // namespace corvane
