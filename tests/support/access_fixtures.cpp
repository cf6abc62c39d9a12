#include "support/access_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <mdbtools.h>
}

namespace corvane::test {

QString FixtureDir() {
  QStringList candidates;
  const QString fromEnv = qEnvironmentVariable("CORVANE_ACCESS_FIXTURES");
  if (!fromEnv.isEmpty()) candidates.append(fromEnv);
  candidates.append(QStringLiteral(CORVANE_SOURCE_DIR "/../shared/data/access"));
  for (const QString& dir : candidates) {
    if (QFileInfo::exists(dir + QStringLiteral("/test2V2003.mdb"))) return QDir::cleanPath(dir);
  }
  return QString();
}

QString Fixture(const QString& name) { return FixtureDir() + QLatin1Char('/') + name; }

ConversionChild ServerConversion() { return {QStringLiteral(CORVANE_SERVER_PATH)}; }

namespace {

MdbHandle* OpenReference(const QString& path) {
  MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
  if (mdb) mdb_read_catalog(mdb, MDB_ANY);
  return mdb;
}

}  // namespace

QStringList ReferenceTableNames(const QString& path) {
  QStringList names;
  MdbHandle* mdb = OpenReference(path);
  if (!mdb) return names;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
      names.append(QString::fromUtf8(entry->object_name));
  }
  mdb_close(mdb);
  return names;
}

ReferenceTable ReferenceRead(const QString& path, const QString& name) {
  ReferenceTable result;
  result.name = name;
  MdbHandle* mdb = OpenReference(path);
  if (!mdb) return result;
  mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
  mdb_set_boolean_fmt_numbers(mdb);
  QByteArray tableName = name.toUtf8();
  MdbTableDef* table = mdb_read_table_by_name(mdb, tableName.data(), MDB_TABLE);
  if (table && mdb_read_columns(table)) {
    const size_t bindSize = 200000;
    mdb_set_bind_size(mdb, bindSize);
    std::vector<QByteArray> buffers(table->num_cols, QByteArray(bindSize, '\0'));
    for (unsigned i = 0; i < table->num_cols; ++i) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
      result.columns.push_back(
          {QString::fromUtf8(col->name), col->col_type, col->col_size, col->is_long_auto != 0});
      mdb_bind_column(table, i + 1, buffers[i].data(), nullptr);
    }
    mdb_rewind_table(table);
    while (mdb_fetch_row(table)) {
      QStringList row;
      for (unsigned i = 0; i < table->num_cols; ++i)
        row.append(QString::fromUtf8(buffers[i].constData()));
      result.rows.push_back(row);
    }
  }
  if (table) mdb_free_tabledef(table);
  mdb_close(mdb);
  return result;
}

SqliteFile::SqliteFile(const QString& path) {
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

SqliteFile::~SqliteFile() { sqlite3_close(db_); }

std::vector<std::vector<QVariant>> SqliteFile::Query(const QString& sql, QString* error) const {
  std::vector<std::vector<QVariant>> rows;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
    if (error) *error = QString::fromUtf8(sqlite3_errmsg(db_));
    return rows;
  }
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<QVariant> row;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_NULL:
          row.emplace_back();
          break;
        case SQLITE_INTEGER:
          row.emplace_back(static_cast<qlonglong>(sqlite3_column_int64(stmt, i)));
          break;
        case SQLITE_FLOAT:
          row.emplace_back(sqlite3_column_double(stmt, i));
          break;
        case SQLITE_BLOB:
          row.emplace_back(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, i)),
                                      sqlite3_column_bytes(stmt, i)));
          break;
        default:
          row.emplace_back(
              QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                sqlite3_column_bytes(stmt, i)));
      }
    }
    rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE && error) *error = QString::fromUtf8(sqlite3_errmsg(db_));
  sqlite3_finalize(stmt);
  return rows;
}

QVariant SqliteFile::Value(const QString& sql) const {
  const auto rows = Query(sql);
  return rows.empty() || rows.front().empty() ? QVariant() : rows.front().front();
}

}  // namespace corvane::test
