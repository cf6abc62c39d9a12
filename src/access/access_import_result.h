#pragma once

#include <QByteArray>
#include <QString>

#include "access/access_import_report.h"

namespace corvane {

// How an import of an Access file ended, and what it brought over.
struct AccessImportResult {
  bool ok = false;
  QString error;  // a sentence naming the file; empty when ok
  AccessImportReport report;

  // The whole result as bytes, for the process that waits for an import run in another.
  QByteArray Serialize() const;
  // False, leaving `result` as it was, when the bytes are not a whole serialized result.
  static bool Deserialize(const QByteArray& bytes, AccessImportResult* result);
};

}  // namespace corvane
