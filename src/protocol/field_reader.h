#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace corvane {

// Field after field through a request's fields. Reading past the last one is the client's
// error: CommandError 5 (invalid argument), as for a message that ends early.
class FieldReader {
 public:
  explicit FieldReader(const QStringList& fields) : fields_(fields) {}
  QString Next();

 private:
  const QStringList& fields_;
  qsizetype next_ = 0;
};

// The field's leading number rounded to the nearest integer, ties to even; 0 when it holds
// none. Throws CommandError (Overflow) outside the 16-bit range.
int16_t FieldNumber(const QString& field);

}  // namespace corvane
