#include "config/registry_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <memory>

namespace corvane {
namespace {

constexpr int BusyTimeoutMs = 5000;
constexpr mode_t OwnerOnly = 0600;

const char* const SchemaSql =
    "CREATE TABLE IF NOT EXISTS registry_keys("
    "  id INTEGER PRIMARY KEY,"
    "  path BLOB NOT NULL UNIQUE);"
    // Rowids only grow while rows exist above them, so ordering by id gives the order in
    // which values were first written; an upsert keeps the row and with it the place.
    "CREATE TABLE IF NOT EXISTS registry_values("
    "  id INTEGER PRIMARY KEY,"
    "  key_id INTEGER NOT NULL REFERENCES registry_keys(id),"
    "  name BLOB NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key_id, name));";

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// One prepared statement; values are always bound, never written into the SQL.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(statement_);
      statement_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool Valid() const { return statement_ != nullptr; }

  void Bind(int index, const QByteArray& bytes) {
    // A null pointer would bind SQL NULL; an empty name or data is a zero-length blob.
    static const char empty = 0;
    const char* data = bytes.isEmpty() ? &empty : bytes.constData();
    sqlite3_bind_blob(statement_, index, data, static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void Bind(int index, sqlite3_int64 number) { sqlite3_bind_int64(statement_, index, number); }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return statement_ ? sqlite3_step(statement_) : SQLITE_MISUSE; }

  QByteArray BlobColumn(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
  }
  sqlite3_int64 IntColumn(int column) const { return sqlite3_column_int64(statement_, column); }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

bool Execute(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
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
Connection OpenStore(const QString& filePath, bool create) {
  const QByteArray nativePath = QFile::encodeName(filePath);
  if (!QFileInfo::exists(filePath)) {
    if (!create || !CreateOwnerOnlyFile(nativePath)) return {};
  }
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2(nativePath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  Connection db(raw);
  if (result != SQLITE_OK) return {};
  sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
  if (!Execute(db.get(), SchemaSql)) return {};
  return db;
}

std::optional<sqlite3_int64> KeyId(sqlite3* db, const QByteArray& keyPath) {
  Statement select(db, "SELECT id FROM registry_keys WHERE path = ?1");
  select.Bind(1, keyPath);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  return select.IntColumn(0);
}

// A write that either completes or leaves the store as it was: closing the connection
// without the commit rolls the transaction back.
class WriteTransaction {
 public:
  explicit WriteTransaction(sqlite3* db) : db_(db), begun_(Execute(db, "BEGIN IMMEDIATE")) {}
  bool Begun() const { return begun_; }
  bool Commit() { return Execute(db_, "COMMIT"); }

 private:
  sqlite3* db_;
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
  Connection db = OpenStore(filePath_, false);
  return db && KeyId(db.get(), keyPath).has_value();
}

bool RegistryStore::CreateKey(const QByteArray& keyPath) {
  if (!ValidKeyPath(keyPath)) return false;
  Connection db = OpenStore(filePath_, true);
  if (!db) return false;
  WriteTransaction transaction(db.get());
  if (!transaction.Begun()) return false;
  // Like the registry, a key cannot exist without the keys above it.
  qsizetype end = 0;
  while (end >= 0) {
    end = keyPath.indexOf('\\', end + 1);
    Statement insert(db.get(), "INSERT OR IGNORE INTO registry_keys(path) VALUES(?1)");
    insert.Bind(1, end < 0 ? keyPath : keyPath.left(end));
    if (insert.Step() != SQLITE_DONE) return false;
  }
  return transaction.Commit();
}

bool RegistryStore::DeleteKey(const QByteArray& keyPath) {
  Connection db = OpenStore(filePath_, false);
  if (!db) return false;
  WriteTransaction transaction(db.get());
  if (!transaction.Begun()) return false;
  const std::optional<sqlite3_int64> id = KeyId(db.get(), keyPath);
  if (!id) return false;
  const QByteArray below = keyPath + '\\';
  Statement subkey(db.get(), "SELECT 1 FROM registry_keys WHERE substr(path, 1, ?1) = ?2 LIMIT 1");
  subkey.Bind(1, static_cast<sqlite3_int64>(below.size()));
  subkey.Bind(2, below);
  if (subkey.Step() != SQLITE_DONE) return false;
  Statement values(db.get(), "DELETE FROM registry_values WHERE key_id = ?1");
  values.Bind(1, *id);
  Statement key(db.get(), "DELETE FROM registry_keys WHERE id = ?1");
  key.Bind(1, *id);
  if (values.Step() != SQLITE_DONE || key.Step() != SQLITE_DONE) return false;
  return transaction.Commit();
}

std::optional<QByteArray> RegistryStore::EnumValueName(const QByteArray& keyPath, int index) const {
  if (index < 0) return std::nullopt;
  Connection db = OpenStore(filePath_, false);
  if (!db) return std::nullopt;
  Statement select(db.get(),
                   "SELECT v.name FROM registry_values v JOIN registry_keys k ON k.id = v.key_id"
                   " WHERE k.path = ?1 ORDER BY v.id LIMIT 1 OFFSET ?2");
  select.Bind(1, keyPath);
  select.Bind(2, static_cast<sqlite3_int64>(index));
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  return select.BlobColumn(0);
}

std::optional<QList<QByteArray>> RegistryStore::ValueNames(const QByteArray& keyPath) const {
  Connection db = OpenStore(filePath_, false);
  if (!db || !Execute(db.get(), "BEGIN")) return std::nullopt;
  const std::optional<sqlite3_int64> id = KeyId(db.get(), keyPath);
  if (!id) return std::nullopt;
  Statement select(db.get(), "SELECT name FROM registry_values WHERE key_id = ?1 ORDER BY id");
  select.Bind(1, *id);
  QList<QByteArray> names;
  int result;
  while ((result = select.Step()) == SQLITE_ROW) names.append(select.BlobColumn(0));
  if (result != SQLITE_DONE) return std::nullopt;
  return names;
}

std::optional<QByteArray> RegistryStore::QueryValue(const QByteArray& keyPath,
                                                    const QByteArray& name, int bufferSize) const {
  Connection db = OpenStore(filePath_, false);
  if (!db) return std::nullopt;
  Statement select(db.get(),
                   "SELECT v.data FROM registry_values v JOIN registry_keys k ON k.id = v.key_id"
                   " WHERE k.path = ?1 AND v.name = ?2");
  select.Bind(1, keyPath);
  select.Bind(2, name);
  if (select.Step() != SQLITE_ROW) return std::nullopt;
  QByteArray buffer = select.BlobColumn(0);
  if (buffer.size() > bufferSize) return std::nullopt;
  buffer.append(QByteArray(bufferSize - buffer.size(), '\0'));
  return buffer;
}

bool RegistryStore::SetValue(const QByteArray& keyPath, const QByteArray& name,
                             const QByteArray& data) {
  Connection db = OpenStore(filePath_, false);
  if (!db) return false;
  WriteTransaction transaction(db.get());
  if (!transaction.Begun()) return false;
  const std::optional<sqlite3_int64> id = KeyId(db.get(), keyPath);
  if (!id) return false;
  Statement upsert(db.get(),
                   "INSERT INTO registry_values(key_id, name, data) VALUES(?1, ?2, ?3)"
                   " ON CONFLICT(key_id, name) DO UPDATE SET data = excluded.data");
  upsert.Bind(1, *id);
  upsert.Bind(2, name);
  upsert.Bind(3, data);
  if (upsert.Step() != SQLITE_DONE) return false;
  return transaction.Commit();
}

bool RegistryStore::DeleteValue(const QByteArray& keyPath, const QByteArray& name) {
  Connection db = OpenStore(filePath_, false);
  if (!db) return false;
  Statement remove(db.get(),
                   "DELETE FROM registry_values WHERE name = ?2 AND key_id ="
                   " (SELECT id FROM registry_keys WHERE path = ?1)");
  remove.Bind(1, keyPath);
  remove.Bind(2, name);
  return remove.Step() == SQLITE_DONE && sqlite3_changes(db.get()) > 0;
}

}  // namespace corvane
