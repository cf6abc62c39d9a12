#pragma once

#include <QByteArray>

#include "commands/command_context.h"

namespace corvane {

// "FieldsWiz" and the field names of table t of database d (both read from the request)
// in the database the wizard opened.
Reply WizardFieldsReply(CommandContext& ctx);

// Stores the client's query (name and SQL read from the request), opens it as the slot's
// set and sends CreatedQueryFieldsReply; "ErrorDB" when that fails.
bool CreateClientQuery(CommandContext& ctx);
// "FieldsCreateQuery", record count, field names; the first record is current after.
Reply CreatedQueryFieldsReply(CommandContext& ctx);
// Keeps the slot's query: its name joins the query list of database d (read from the
// request) and the slot may no longer delete it. Only the query the slot created can be
// saved, only into the list of the database that holds it, and only once; saving a query
// that list holds already changes nothing. Anything else is refused (CommandError).
void SaveClientQuery(CommandContext& ctx);

// "RemoveQuery" and the clean-up of a failed "SendQueryData": closes the set and the
// database, deleting the query this slot created and has not saved. Never fails.
void RemoveClientQuery(CommandContext& ctx);

}  // namespace corvane
