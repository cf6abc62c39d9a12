#pragma once

#include <QByteArray>
#include <optional>

namespace corvane {

// What the listener and the logon ask of the user store.
class UserDirectory {
 public:
  virtual ~UserDirectory() = default;
  // True when at least one user is stored (imports legacy users first).
  virtual bool HasUsers() = 0;
  // The logon's direct read: the record stored for the upper-cased user name, read
  // through the fixed 255-byte buffer and unscrambled ("PASSWORD:KEY"); nullopt when
  // the store, the user or a record that fits the buffer is missing.
  virtual std::optional<QByteArray> ReadLogonRecord(const QByteArray& userName) = 0;
};

}  // namespace corvane
