#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace corvane {

// One reportable event with the facts its row shows, taken when it happened: who did it
// and on what. The activity list never goes back to a slot to ask.
struct ActivityEntry {
  QByteArray code;  // "Logon", "ErrorOpen", ...
  // The slot; for "SetupRun" the number of users disconnected.
  int slot = 0;
  QString user;
  QString remoteAddress;
  QString database;   // the open database as the engine names it (its file)
  QString recordset;  // the open set of records
  QString object;     // the slot's table or query; stands in for a temporary query's name
  QString record;     // record number or record count, as the event shows it
  int32_t errorNumber = 0;
  QString errorText;
};

}  // namespace corvane
