#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <vector>

namespace corvane::test {

// SQL run straight on a database file (created when missing), outside the engine, so that
// tests set up and inspect real files independently of what they test.
void ExecOnFile(const QString& path, const QString& sql);

// Every row of a query, a QVariant a column: qlonglong, double, QString, QByteArray for
// blobs, invalid for NULL. `error` gets SQLite's message when the query fails.
std::vector<std::vector<QVariant>> RowsOnFile(const QString& path, const QString& sql,
                                              QString* error = nullptr);

// The first column of the first row; invalid for NULL or no row.
QVariant QueryOnFile(const QString& path, const QString& sql);

// "people" (id auto-number, name VARCHAR(nameSize), age SMALLINT) holding `names` with the
// ages 10, 20, 30 ...
void MakePeople(const QString& path, const QStringList& names, int nameSize = 10);

// The demo's sample database (data/sample.sql).
void MakeSampleDatabase(const QString& path);

}  // namespace corvane::test
