#include "access/access_import_report.h"

#include <QDataStream>
#include <QIODevice>

namespace corvane {

namespace {

QString Counted(qint64 n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

}  // namespace

qint64 AccessImportReport::TotalRows() const {
  qint64 total = 0;
  for (const Table& table : tables) total += table.rows;
  return total;
}

QString AccessImportReport::Summary() const {
  QString text =
      QStringLiteral("Imported %1 (%2) and %3")
          .arg(Counted(static_cast<qint64>(tables.size()), "table", "tables"),
               Counted(TotalRows(), "row", "rows"), Counted(queries.size(), "query", "queries"));
  if (!skipped.empty())
    text += QStringLiteral("; skipped %1").arg(Counted(skipped.size(), "item", "items"));
  return text + QLatin1Char('.');
}

QStringList AccessImportReport::Lines() const {
  QStringList lines{Summary()};
  for (const Table& table : tables)
    lines.append(
        QStringLiteral("Table %1: %2").arg(table.name, Counted(table.rows, "row", "rows")));
  for (const QString& query : queries) lines.append(QStringLiteral("Query %1").arg(query));
  for (const Skipped& s : skipped) {
    lines.append(QStringLiteral("Skipped %1 %2: %3").arg(s.kind, s.name, s.reason));
  }
  if (datesKeptAsNumbers > 0) {
    lines.append(QStringLiteral("%1 kept as day numbers: they name no calendar date.")
                     .arg(Counted(datesKeptAsNumbers, "date", "dates")));
  }
  return lines;
}

QByteArray AccessImportReport::Serialize() const {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << source << format << static_cast<quint32>(tables.size());
  for (const Table& t : tables) out << t.name << t.rows;
  out << queries << static_cast<quint32>(skipped.size());
  for (const Skipped& s : skipped) out << s.kind << s.name << s.reason;
  out << datesKeptAsNumbers;
  return bytes;
}

bool AccessImportReport::Deserialize(const QByteArray& bytes, AccessImportReport* report) {
  QDataStream in(bytes);
  AccessImportReport r;
  quint32 count = 0;
  in >> r.source >> r.format >> count;
  for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
    Table t;
    in >> t.name >> t.rows;
    r.tables.push_back(t);
  }
  in >> r.queries >> count;
  for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
    Skipped s;
    in >> s.kind >> s.name >> s.reason;
    r.skipped.push_back(s);
  }
  in >> r.datesKeptAsNumbers;
  if (in.status() != QDataStream::Ok) return false;
  *report = std::move(r);
  return true;
}

}  // namespace corvane
