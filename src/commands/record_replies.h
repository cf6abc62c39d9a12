#pragma once

#include <QByteArray>
#include <cstdint>

#include "commands/command_context.h"

namespace corvane {

// "Fields", record count, field names. Counting leaves the first record current.
Reply FieldListReply(CommandContext& ctx);
// "Data", record number, the value text of every field (all empty for an empty set).
// The record sent is remembered for the next update.
Reply RecordDataReply(CommandContext& ctx);
// "QueryData" and the values of the current record; the set then moves on by one.
Reply QueryDataReply(CommandContext& ctx);
// "Found", the 1-based number of the field that matched, record number, values.
Reply FoundReply(CommandContext& ctx, int16_t fieldNumber);

// The browsing rows: the reply sent and whether it carried a record ("Retrieve").
bool BrowseFirst(CommandContext& ctx);
bool BrowseLast(CommandContext& ctx);
bool BrowseNext(CommandContext& ctx);
bool BrowsePrevious(CommandContext& ctx);

}  // namespace corvane
