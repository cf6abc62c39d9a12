#pragma once

#include "engine/field_type.h"
#include "engine/variant.h"

namespace corvane {

// The value a field shows for what is stored: Yes/No as a boolean, a date text as a
// date; everything else as stored.
Variant ShownValue(const FieldInfo& field, Variant stored);

// The value to store for an assignment, enforcing the field's type: whole-number
// ranges (Byte, Integer, Long), Text size, Currency rounded to 4 decimals, dates as
// 'YYYY-MM-DD HH:MM:SS', Yes/No as 0/1. Throws EngineError (3349 overflow, 3163 too
// long, 3421 not convertible). Null stays Null; NOT NULL is the table's to enforce.
Variant StoredValue(const FieldInfo& field, const Variant& value);

}  // namespace corvane
