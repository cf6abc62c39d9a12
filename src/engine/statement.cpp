#include "engine/statement.h"

#include <QStringDecoder>

#include "engine/sqlite_error.h"
#include "base/windows1252.h"

namespace corvane {

namespace {

bool IsAscii(const char* data, int length) {
  for (int i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(data[i]) >= 0x80) return false;
  }
  return true;
}

}  // namespace

QString DecodeStoredText(const char* data, int length) {
  if (length <= 0 || data == nullptr) return QString(QLatin1String(""));
  if (IsAscii(data, length)) return QString::fromLatin1(data, length);
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder.decode(QByteArrayView(data, length));
  if (!decoder.hasError()) return text;
  return FromWindows1252(QByteArray(data, length));
}

Statement::~Statement() { Finalize(); }

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    Finalize();
    stmt_ = other.stmt_;
    other.stmt_ = nullptr;
  }
  return *this;
}

void Statement::Finalize() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
}

void Statement::Bind(int index, const Variant& value) {
  int rc = SQLITE_OK;
  switch (value.kind()) {
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull:
      rc = sqlite3_bind_null(stmt_, index);
      break;
    case Variant::Kind::kBoolean:
    case Variant::Kind::kInteger:
      rc = sqlite3_bind_int64(stmt_, index, value.toInteger());
      break;
    case Variant::Kind::kReal:
      rc = sqlite3_bind_double(stmt_, index, value.toReal());
      break;
    case Variant::Kind::kBlob: {
      const QByteArray b = value.toBlob();
      rc = sqlite3_bind_blob64(stmt_, index, b.constData(), b.size(), SQLITE_TRANSIENT);
      break;
    }
    case Variant::Kind::kText:
    case Variant::Kind::kDateTime: {
      const QByteArray t = value.toText().toUtf8();
      rc =
          sqlite3_bind_text64(stmt_, index, t.constData(), t.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    }
  }
  if (rc != SQLITE_OK) throw SqliteError(sqlite3_db_handle(stmt_), rc);
}

void Statement::BindValue(int index, const sqlite3_value* value) {
  const int rc = sqlite3_bind_value(stmt_, index, value);
  if (rc != SQLITE_OK) throw SqliteError(sqlite3_db_handle(stmt_), rc);
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  EngineError error = SqliteError(sqlite3_db_handle(stmt_), rc);
  sqlite3_reset(stmt_);
  throw error;
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_); }

QString Statement::ColumnName(int index) const {
  return QString::fromUtf8(sqlite3_column_name(stmt_, index));
}

QString Statement::ColumnText(int index) const {
  const char* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
  return DecodeStoredText(data, sqlite3_column_bytes(stmt_, index));
}

Variant Statement::Column(int index) const {
  return VariantFromValue(sqlite3_column_value(stmt_, index));
}

Variant VariantFromValue(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return Variant(static_cast<int64_t>(sqlite3_value_int64(value)));
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(value));
    case SQLITE_TEXT: {
      const char* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
      return Variant(DecodeStoredText(data, sqlite3_value_bytes(value)));
    }
    case SQLITE_BLOB: {
      const void* data = sqlite3_value_blob(value);
      return Variant(QByteArray(static_cast<const char*>(data), sqlite3_value_bytes(value)));
    }
    default:
      return Variant::Null();
  }
}

}  // namespace corvane
