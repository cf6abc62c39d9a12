#include "config/registry_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "base/sqlite_database.h"
#include "base/sqlite_statement.h"

namespace corvane {
namespace {

constexpr int BusyTimeoutMs = 5000;
constexpr mode_t OwnerOnly = 0600;

// One statement each: the store's connection runs one statement at a time.
const char* const SchemaSql[] = {
    "CREATE TABLE IF NOT EXISTS registry_keys("
    "  id INTEGER PRIMARY KEY,"
    "  path BLOB NOT NULL UNIQUE)",
    // Rowids only grow while rows exist above them, so ordering by id gives the order in
    // which values were first written; an upsert keeps the row and with it the place.
    "CREATE TABLE IF NOT EXISTS registry_values("
    "  id INTEGER PRIMARY KEY,"
    "  key_id INTEGER NOT NULL REFERENCES registry_keys(id),"
    "  name BLOB NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key_id, name))",
};

// One prepared statement of the store; a statement SQLite refuses stays invalid, and
// stepping it fails.
SqliteStatement Prepared(SqliteDatabase& db, const char* sql) {
  SqliteStatement statement;
  statement.Prepare(db.get(), sql);
  return statement;
}

// Creates the file readable by its owner only before SQLite writes anything into it. The
// mode is set again explicitly, as the process's umask may have taken bits away, and
// checked: a store that others could read is not used.
bool CreateOwnerOnlyFile(const QByteArray& nativePath) {
  const int fd = ::open(nativePath.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, OwnerOnly);
  if (fd < 0) return errno == EEXIST;  // another process was quicker; it set the mode
  struct stat status {};
  const bool good = ::fchmod(fd, OwnerOnly) == 0 && ::fstat(fd, &status) == 0 &&
                    (status.st_mode & 0777) == OwnerOnly;
  ::close(fd);
  if (!good) ::unlink(nativePath.constData());
  return good;
}

// Opens the store for one operation. Without `create`, a missing file is not created
// and the result is empty, which readers take as "key not found".
SqliteDatabase OpenStore(const QString& filePath, bool create) {
  if (!QFileInfo::exists(filePath)) {
    if (!create || !CreateOwnerOnlyFile(QFile::encodeName(filePath))) return {};
  }
  SqliteDatabase db;
  if (db.Open(filePath, SQLITE_OPEN_READWRITE) != SQLITE_OK) return {};
  sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
  for (const char* sql : SchemaSql) {
    if (db.Execute(sql) != SQLITE_OK) return {};
  }
  return db;
}

std::optional<sqlite3_int64> KeyId(SqliteDatabase& db, const QByteArray& keyPath) {
  SqliteStatement select = Prepared(db, "SELECT id FROM registry_keys WHERE path = ?1");
  select.BindBlob(1, keyPath);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  return select.ColumnInteger(0);
}

// A write that either completes or leaves the store as it was: closing the connection
// without the commit rolls the transaction back.
class WriteTransaction {
 public:
  explicit WriteTransaction(SqliteDatabase& db)
      : db_(db), begun_(db.Execute("BEGIN IMMEDIATE") == SQLITE_OK) {}
  bool Begun() const { return begun_; }
  bool Commit() { return db_.Execute("COMMIT") == SQLITE_OK; }

 private:
  SqliteDatabase& db_;
  bool begun_;
};

bool ValidKeyPath(const QByteArray& keyPath) {
  if (keyPath.isEmpty()) return false;
  for (const QByteArray& part : keyPath.split('\\')) {
    if (part.isEmpty()) return false;
  }
  return true;
}

}  // namespace

RegistryStore::RegistryStore(const QString& programDir)
    : filePath_(QDir(programDir).filePath(QStringLiteral("registry.db"))) {}

bool RegistryStore::KeyExists(const QByteArray& keyPath) const {
  SqliteDatabase db = OpenStore(filePath_, false);
  return db.isOpen() && KeyId(db, keyPath).has_value();
}

bool RegistryStore::CreateKey(const QByteArray& keyPath) {
  if (!ValidKeyPath(keyPath)) return false;
  SqliteDatabase db = OpenStore(filePath_, true);
  if (!db.isOpen()) return false;
  WriteTransaction transaction(db);
  if (!transaction.Begun()) return false;
  // Like the registry, a key cannot exist without the keys above it.
  qsizetype end = 0;
  while (end >= 0) {
    end = keyPath.indexOf('\\', end + 1);
    SqliteStatement insert = Prepared(db, "INSERT OR IGNORE INTO registry_keys(path) VALUES(?1)");
    insert.BindBlob(1, end < 0 ? keyPath : keyPath.left(end));
    if (insert.Step() != SQLITE_DONE) return false;
  }
  return transaction.Commit();
}

bool RegistryStore::DeleteKey(const QByteArray& keyPath) {
  SqliteDatabase db = OpenStore(filePath_, false);
  if (!db.isOpen()) return false;
  WriteTransaction transaction(db);
  if (!transaction.Begun()) return false;
  const std::optional<sqlite3_int64> id = KeyId(db, keyPath);
  if (!id) return false;
  const QByteArray below = keyPath + '\\';
  SqliteStatement subkey =
      Prepared(db, "SELECT 1 FROM registry_keys WHERE substr(path, 1, ?1) = ?2 LIMIT 1");
  subkey.BindInteger(1, below.size());
  subkey.BindBlob(2, below);
  if (subkey.Step() != SQLITE_DONE) return false;
  SqliteStatement values = Prepared(db, "DELETE FROM registry_values WHERE key_id = ?1");
  values.BindInteger(1, *id);
  SqliteStatement key = Prepared(db, "DELETE FROM registry_keys WHERE id = ?1");
  key.BindInteger(1, *id);
  if (values.Step() != SQLITE_DONE || key.Step() != SQLITE_DONE) return false;
  return transaction.Commit();
}

std::optional<QByteArray> RegistryStore::EnumValueName(const QByteArray& keyPath, int index) const {
  if (index < 0) return std::nullopt;
  SqliteDatabase db = OpenStore(filePath_, false);
  if (!db.isOpen()) return std::nullopt;
  SqliteStatement select =
      Prepared(db,
               "SELECT v.name FROM registry_values v JOIN registry_keys k ON k.id = v.key_id"
               " WHERE k.path = ?1 ORDER BY v.id LIMIT 1 OFFSET ?2");
  select.BindBlob(1, keyPath);
  select.BindInteger(2, index);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  return select.ColumnBytes(0);
}

std::optional<QList<QByteArray>> RegistryStore::ValueNames(const QByteArray& keyPath) const {
  SqliteDatabase db = OpenStore(filePath_, false);
  if (!db.isOpen() || db.Execute("BEGIN") != SQLITE_OK) return std::nullopt;
  const std::optional<sqlite3_int64> id = KeyId(db, keyPath);
  if (!id) return std::nullopt;
  SqliteStatement select =
      Prepared(db, "SELECT name FROM registry_values WHERE key_id = ?1 ORDER BY id");
  select.BindInteger(1, *id);
  QList<QByteArray> names;
  int result;
  while ((result = select.Step()) == SQLITE_ROW) names.append(select.ColumnBytes(0));
  if (result != SQLITE_DONE) return std::nullopt;
  return names;
}

std::optional<QByteArray> RegistryStore::QueryValue(const QByteArray& keyPath,
                                                    const QByteArray& name, int bufferSize) const {
  SqliteDatabase db = OpenStore(filePath_, false);
  if (!db.isOpen()) return std::nullopt;
  SqliteStatement select =
      Prepared(db,
               "SELECT v.data FROM registry_values v JOIN registry_keys k ON k.id = v.key_id"
               " WHERE k.path = ?1 AND v.name = ?2");
  select.BindBlob(1, keyPath);
  select.BindBlob(2, name);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  QByteArray buffer = select.ColumnBytes(0);
  if (buffer.size() > bufferSize) return std::nullopt;
  buffer.append(QByteArray(bufferSize - buffer.size(), '\0'));
  return buffer;
}

bool RegistryStore::SetValue(const QByteArray& keyPath, const QByteArray& name,
                             const QByteArray& data) {
  SqliteDatabase db = OpenStore(filePath_, false);
  if (!db.isOpen()) return false;
  WriteTransaction transaction(db);
  if (!transaction.Begun()) return false;
  const std::optional<sqlite3_int64> id = KeyId(db, keyPath);
  if (!id) return false;
  SqliteStatement upsert =
      Prepared(db,
               "INSERT INTO registry_values(key_id, name, data) VALUES(?1, ?2, ?3)"
               " ON CONFLICT(key_id, name) DO UPDATE SET data = excluded.data");
  upsert.BindInteger(1, *id);
  upsert.BindBlob(2, name);
  upsert.BindBlob(3, data);
  if (upsert.Step() != SQLITE_DONE) return false;
  return transaction.Commit();
}

bool RegistryStore::DeleteValue(const QByteArray& keyPath, const QByteArray& name) {
  SqliteDatabase db = OpenStore(filePath_, false);
  if (!db.isOpen()) return false;
  SqliteStatement remove = Prepared(db,
                                    "DELETE FROM registry_values WHERE name = ?2 AND key_id ="
                                    " (SELECT id FROM registry_keys WHERE path = ?1)");
  remove.BindBlob(1, keyPath);
  remove.BindBlob(2, name);
  return remove.Step() == SQLITE_DONE && sqlite3_changes(db.get()) > 0;
}

}  // namespace corvane
