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
      result.columns.push_back({QString::fromUtf8(col->name), col->col_type});
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

}  // namespace corvane::test
