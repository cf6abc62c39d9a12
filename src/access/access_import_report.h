#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace corvane {

// What an import of an Access file brought over and what it left behind.
struct AccessImportReport {
  struct Table {
    QString name;
    qint64 rows = 0;
  };
  struct Skipped {
    QString kind;  // "table", "linked table", "query", "column", "index"
    QString name;
    QString reason;
  };

  QString source;  // the Access file
  QString format;  // "Jet 3", "Jet 4", "ACE 14" ...
  std::vector<Table> tables;
  QStringList queries;  // imported as views
  std::vector<Skipped> skipped;
  qint64 datesKeptAsNumbers = 0;  // Date/Time values with no calendar date

  qint64 TotalRows() const;
  // One line for the activity list: counts of tables, rows, queries and skipped items.
  QString Summary() const;
  // The summary followed by one line per table, query and skipped item.
  QStringList Lines() const;

  QByteArray Serialize() const;
  static bool Deserialize(const QByteArray& bytes, AccessImportReport* report);
};

}  // namespace corvane
