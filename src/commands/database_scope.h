#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>

#include "base/catalogue.h"
#include "commands/slot_databases.h"
#include "commands/value_text.h"
#include "commands/command_context.h"

namespace corvane {

// What one database command works with: the command (slot, request fields, replies,
// activity), the slot's database side, the catalogue it may extend and the regional
// settings of value texts.
struct DatabaseScope {
  CommandContext& command;
  SlotDatabase& slot;
  Catalogue& catalogue;
  const QLocale& locale;
  const RegionalFormats& formats;  // of `locale`

  SlotSession& session() { return command.session(); }
  Recordset& Set() { return slot.Set(); }
};

// Number and description of the error being handled; call only inside a catch block.
struct CaughtError {
  int32_t number = 0;
  QString description;
};
CaughtError CurrentError();

// The common error path of the database routines: the reply word with the description,
// the last error recorded, the event reported.
void DatabaseErrorReply(DatabaseScope& scope, const QByteArray& replyWord,
                        const QByteArray& eventWord, const CaughtError& error);

}  // namespace corvane
