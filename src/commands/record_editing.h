#pragma once

#include "commands/command_context.h"

namespace corvane {

// "Update": writes the value texts of the request into the record the client was last
// sent. Fails with error 3197 when another client changed that record since it was sent;
// the record reply that follows then shows it as it now stands. A value to be written that
// holds NUL, STX, ETX or EOT fails the request; nothing is written.
void UpdateRecord(CommandContext& ctx);
// "Add" (and "Update" on an empty set): appends a record; Text values are cut to the
// field's size. The new record becomes current.
void AddRecord(CommandContext& ctx);
// "Delete": deletes the record the client was last sent; its neighbour becomes current.
void DeleteRecord(CommandContext& ctx);

}  // namespace corvane
