#pragma once

#include <QString>
#include <cstdint>

namespace corvane {

// Field type codes, as clients and the value conversions know them.
enum class FieldType : int16_t {
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kLongBinary = 11,
  kMemo = 12,
  kGuid = 15,
};

// Attributes of an auto-number field: fixed size, auto-increment, updatable.
constexpr int32_t kAutoNumberAttributes = 49;
// Attributes of an ordinary field: fixed size (numbers) or variable (texts), updatable.
constexpr int32_t kFixedFieldAttributes = 33;
constexpr int32_t kVariableFieldAttributes = 34;

// What one column of a set looks like to callers.
struct FieldInfo {
  QString name;
  FieldType type = FieldType::kText;
  int32_t attributes = kVariableFieldAttributes;
  int32_t size = 0;       // declared length of Text/Binary; byte size of numbers
  QString sourceField;    // column of the underlying table (the name when computed)
  QString sourceTable;    // empty for computed columns
  bool required = false;  // NOT NULL without a default
  bool autoNumber() const { return attributes == kAutoNumberAttributes; }
};

// The type a declared column type maps to; *size receives the declared length of
// VARCHAR(n)-like types or the natural byte size of numbers. Unknown declarations
// follow SQLite's affinity rules.
FieldType FieldTypeFromDeclared(const QString& declared, int32_t* size);

// Natural byte size of a type (0 for variable-length ones).
int32_t FieldTypeSize(FieldType type);

}  // namespace corvane
