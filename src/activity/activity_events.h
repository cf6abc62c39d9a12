#pragma once

#include <QByteArray>

namespace corvane {

// Where a column of an event's row takes its text from.
enum class ActivityValue {
  kNone,
  kHostName,           // the computer's host name, upper case
  kHostAddress,        // "IP Address: " + the computer's address
  kUsersDisconnected,  // "Users Disconnected:  " + the count passed for the slot
  kUser,               // SlotUserName
  kRemoteAddress,      // "Remote IP: " + SlotRemoteAddress
  kDatabase,           // the open database's name as the engine reports it
  kRecordset,          // the open set's name
  kPosition,           // CurrentRecordNumber
  kCount,              // RecordCountText
};

// One line of the event table: the code word a caller reports and how its row is built.
struct ActivityEvent {
  const char* code;
  const char* event_text;
  bool with_error;  // the event text is followed by the last error's number and text
  ActivityValue user;
  ActivityValue database;
  ActivityValue table_query;
  ActivityValue record;
};

// The event whose code equals `code` exactly, or null for a code outside the table.
const ActivityEvent* FindActivityEvent(const QByteArray& code);

}  // namespace corvane
