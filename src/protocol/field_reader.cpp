#include "protocol/field_reader.h"

#include <cmath>
#include <limits>

#include "base/leading_number.h"
#include "base/windows1252.h"
#include "protocol/command_error.h"

namespace corvane {

QString FieldReader::Next() {
  if (next_ >= fields_.size()) throw CommandError::InvalidArgument();
  return fields_[next_++];
}

int16_t FieldNumber(const QString& field) {
  const double rounded = std::nearbyint(LeadingNumber(ToWindows1252(field)));
  if (!(rounded >= std::numeric_limits<int16_t>::min() &&
        rounded <= std::numeric_limits<int16_t>::max())) {
    throw CommandError::Overflow();
  }
  return static_cast<int16_t>(rounded);
}

}  // namespace corvane
