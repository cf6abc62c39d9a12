#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace corvane {

// The server serves exactly this many client slots, numbered from 0.
inline constexpr int kSlotCount = 100;

inline bool IsSlotNumber(int slot) { return slot >= 0 && slot < kSlotCount; }

// The session record of one client slot: everything the server keeps about it besides its
// connection and its database.
struct SlotSession {
  // A connection was just accepted and its first message is not yet dispatched.
  bool FreshConnection = false;
  // Only a slot whose logon on its current connection was accepted runs commands other
  // than "Logon"; it never outlives the user name.
  bool LogonAccepted = false;
  int16_t IdleMinutes = 0;
  // Display texts of the "Current Users" list; an empty user name means not logged on.
  QString SlotUserName;
  QString SlotRemoteAddress;
  QString SlotDatabaseName;
  QString SlotObjectName;
  // Keys of the payload cipher.
  int32_t SlotKey = 0;
  int16_t SessionKey = 0;
  // Bytes the slot's transport cannot carry in a reply field: its client is shown '?' for
  // them. The transport sets them before each request, so that a value sent back as it was
  // shown is recognised.
  QByteArray UncarriedBytes;
};

// Empties the four display texts; the socket and the database stay as they are. Without a
// user name the slot no longer holds an accepted logon.
inline void ClearSlotText(SlotSession& session) {
  session.SlotUserName.clear();
  session.SlotRemoteAddress.clear();
  session.SlotDatabaseName.clear();
  session.SlotObjectName.clear();
  session.LogonAccepted = false;
}

}  // namespace corvane
