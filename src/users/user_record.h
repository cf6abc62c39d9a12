#pragma once

#include <QString>

namespace corvane {

// One user as the setup dialog lists it and the user store keeps it.
struct UserRecord {
  QString name;        // the "Remote Host" name
  QString password;    // the item's tag: kept, never shown
  QString privateKey;  // eight digits
  bool operator==(const UserRecord&) const = default;
};

}  // namespace corvane
