#pragma once

#include <QByteArray>
#include <cstdint>

#include "commands/database_scope.h"

namespace corvane {

// "Fields", record count, field names. Counting leaves the first record current.
QByteArray FieldListReply(DatabaseScope& scope);
// "Data", record number, the value text of every field (all empty for an empty set).
// The record sent is remembered for the next update.
QByteArray RecordDataReply(DatabaseScope& scope);
// "QueryData" and the values of the current record; the set then moves on by one.
QByteArray QueryDataReply(DatabaseScope& scope);
// "Found", the 1-based number of the field that matched, record number, values.
QByteArray FoundReply(DatabaseScope& scope, int16_t fieldNumber);

// The browsing rows: the reply sent and whether it carried a record ("Retrieve").
bool BrowseFirst(DatabaseScope& scope);
bool BrowseLast(DatabaseScope& scope);
bool BrowseNext(DatabaseScope& scope);
bool BrowsePrevious(DatabaseScope& scope);

}  // namespace corvane
