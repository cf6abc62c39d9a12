#pragma once

#include <QString>
#include <QVariant>

namespace corvane::test {

// Runs SQL statements straight on a database file (created when missing), outside the
// engine, so that tests set up and inspect real files independently of what they test.
void ExecOnFile(const QString& path, const QString& sql);

// The first column of the first row of a query on the file; an invalid QVariant for NULL
// or no row.
QVariant QueryOnFile(const QString& path, const QString& sql);

}  // namespace corvane::test
