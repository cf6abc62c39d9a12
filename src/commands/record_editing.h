#pragma once

#include "commands/database_scope.h"

namespace corvane {

// "Update": writes the value texts of the request into the record the client was last
// sent. Fails with error 3197 when another client changed that record since it was sent;
// the record reply that follows then shows it as it now stands.
void UpdateRecord(DatabaseScope& scope);
// "Add" (and "Update" on an empty set): appends a record; Text values are cut to the
// field's size. The new record becomes current.
void AddRecord(DatabaseScope& scope);
// "Delete": deletes the record the client was last sent; its neighbour becomes current.
void DeleteRecord(DatabaseScope& scope);

}  // namespace corvane
