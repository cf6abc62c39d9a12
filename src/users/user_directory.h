#pragma once

#include <QString>
#include <optional>

#include "users/user_record_format.h"

namespace corvane {

// What the listener and the logon ask of the user store.
class UserDirectory {
 public:
  virtual ~UserDirectory() = default;
  // True when at least one user is stored (imports legacy users first).
  virtual bool HasUsers() = 0;
  // The logon's direct read of the user a client names, in any case: the record stored
  // under the name's upper case (UserUpperCase), read through the fixed 255-byte buffer
  // and split into the stored password and the private key's number. nullopt when the
  // store, the user or a record that fits the buffer is missing.
  virtual std::optional<LogonRecord> FindLogonUser(const QString& userName) = 0;
};

}  // namespace corvane
