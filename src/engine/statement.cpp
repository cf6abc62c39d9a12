#include "engine/statement.h"

#include <QStringDecoder>

#include "base/database_wait_guard.h"
#include "base/windows1252.h"
#include "engine/sqlite_error.h"

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

void Statement::Bind(int index, const Variant& value) {
  int rc = SQLITE_OK;
  switch (value.kind()) {
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull:
      rc = stmt_.BindNull(index);
      break;
    case Variant::Kind::kBoolean:
    case Variant::Kind::kInteger:
      rc = stmt_.BindInteger(index, value.toInteger());
      break;
    case Variant::Kind::kReal:
      rc = stmt_.BindReal(index, value.toReal());
      break;
    case Variant::Kind::kBlob:
      rc = stmt_.BindBlob(index, value.toBlob());
      break;
    case Variant::Kind::kText:
    case Variant::Kind::kDateTime:
      rc = stmt_.BindText(index, value.toText().toUtf8());
      break;
  }
  if (rc != SQLITE_OK) throw SqliteError(stmt_.database(), rc);
}

void Statement::BindValue(int index, const sqlite3_value* value) {
  const int rc = stmt_.BindValue(index, value);
  if (rc != SQLITE_OK) throw SqliteError(stmt_.database(), rc);
}

bool Statement::Step() {
  CORVANE_CHECK_DATABASE_WAIT("Running a statement");
  const int rc = stmt_.Step();
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  EngineError error = SqliteError(stmt_.database(), rc);
  stmt_.Reset();
  throw error;
}

QString Statement::ColumnText(int index) const {
  const char* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), index));
  return DecodeStoredText(data, sqlite3_column_bytes(stmt_.get(), index));
}

Variant Statement::Column(int index) const { return VariantFromValue(stmt_.ColumnValue(index)); }

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
