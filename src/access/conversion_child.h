#pragma once

#include <QString>
#include <chrono>

#include "access/access_import_result.h"

namespace corvane {

// The option that makes "--import-access FILE OUT" a conversion for another process: it
// converts in this process straight into OUT and writes the result to the file named
// after it, where the process that started it reads it.
inline constexpr char kImportReportOption[] = "--import-report";

// The program that converts an Access file in a child process, and how long it may take.
struct ConversionChild {
  // Runs "--import-access FILE OUT --import-report REPORT"; empty means the running
  // executable, whose command line has that entry.
  QString program;
  // Zero means a minute plus a second per megabyte of the Access file, about ten times
  // what a normal conversion takes.
  std::chrono::milliseconds timeLimit{0};
};

// Converts `source` into `target` in a child process, which the file cannot take down
// with it however damaged it is: a child that crashes, gives up without a result or is
// still reading at the time limit (it is then killed) is reported as a damaged file.
// `target` may be half written on failure.
AccessImportResult ConvertInChild(const ConversionChild& child, const QString& source,
                                  const QString& target);

// The child's side: hands the result to the process that started it. False when the
// file cannot be written.
bool WriteConversionResult(const QString& reportPath, const AccessImportResult& result);

}  // namespace corvane
