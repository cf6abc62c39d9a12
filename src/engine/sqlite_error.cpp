#include "engine/sqlite_error.h"

#include <QRegularExpression>

namespace corvane {

namespace {

// SQLite's message when the authorizer refused a function.
constexpr char kRefusedFunction[] = "not authorized to use function:";

QString After(const QString& message, const QString& marker) {
  const int at = message.indexOf(marker);
  return at < 0 ? QString() : message.mid(at + marker.size()).trimmed();
}

}  // namespace

EngineError SqliteError(sqlite3* db, int resultCode) {
  const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(resultCode);
  const int extended = db ? sqlite3_extended_errcode(db) : resultCode;
  return SqliteError(extended == SQLITE_OK ? resultCode : extended, QString::fromUtf8(message));
}

EngineError SqliteError(int resultCode, const QString& message) {
  using namespace engine_error;
  const int primary = resultCode & 0xff;
  switch (resultCode) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      return EngineError(kDuplicateKey,
                         QStringLiteral("The record was not saved: it would duplicate a "
                                        "value that must be unique (%1).")
                             .arg(After(message, QStringLiteral("failed:"))));
    case SQLITE_CONSTRAINT_NOTNULL: {
      QString field = After(message, QStringLiteral("failed:"));
      field = field.mid(field.lastIndexOf(QLatin1Char('.')) + 1);
      return EngineError(kRequired, QStringLiteral("The field '%1' requires a value.").arg(field));
    }
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return EngineError(3201, QStringLiteral("The record was not saved: it breaks a "
                                              "relationship with another table."));
    default:
      break;
  }
  // A function the authorizer refused, or one with side effects in a view of the file
  // (whose schema is not trusted): numbered like a function SQLite lacks, named as refused.
  QString refused;
  if (primary == SQLITE_AUTH && message.startsWith(QLatin1String(kRefusedFunction)))
    refused = After(message, QStringLiteral(":"));
  static const QRegularExpression unsafeUse(QStringLiteral("^unsafe use of (\\w+)\\(\\)$"));
  if (const QRegularExpressionMatch unsafe = unsafeUse.match(message); unsafe.hasMatch())
    refused = unsafe.captured(1);
  if (!refused.isEmpty()) {
    return EngineError(kUnknownFunction,
                       QStringLiteral("The function '%1' is not allowed here.").arg(refused));
  }
  switch (primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return EngineError(kLocked, QStringLiteral("The database is locked by another "
                                                 "user; try again later."));
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return EngineError(kNotADatabase,
                         QStringLiteral("The file is not a database or it is damaged."));
    case SQLITE_CANTOPEN:
      return EngineError(kFileNotFound, QStringLiteral("The database file cannot be opened."));
    case SQLITE_READONLY:
      return EngineError(kReadOnly,
                         QStringLiteral("The database cannot be changed: it is read-only."));
    case SQLITE_AUTH:
      return EngineError(kReadOnly, QStringLiteral("The statement is not allowed here: "
                                                   "a query may only read."));
    case SQLITE_INTERRUPT:
      return EngineError(kGeneric, QStringLiteral("The query took too long and was stopped."));
    case SQLITE_CONSTRAINT:
      return EngineError(kGeneric, QStringLiteral("The record was not saved: %1.").arg(message));
    default:
      break;
  }
  if (message.startsWith(QLatin1String("no such column:"))) {
    return EngineError(kUnknownName, QStringLiteral("The name '%1' is not recognised.")
                                         .arg(After(message, QStringLiteral(":"))));
  }
  if (message.startsWith(QLatin1String("no such table:")) ||
      message.startsWith(QLatin1String("no such view:"))) {
    QString name = After(message, QStringLiteral(":"));
    if (name.startsWith(QLatin1String("main."))) name = name.mid(5);
    return EngineError(kNoSuchObject,
                       QStringLiteral("There is no table or query named '%1'.").arg(name));
  }
  if (message.startsWith(QLatin1String("no such function:"))) {
    return EngineError(
        kUnknownFunction,
        QStringLiteral("The function '%1' is not known.").arg(After(message, QStringLiteral(":"))));
  }
  if (message.contains(QLatin1String("already exists"))) {
    return EngineError(kAlreadyExists, QStringLiteral("An object of that name already "
                                                      "exists (%1).")
                                           .arg(message));
  }
  if (message.contains(QLatin1String("syntax error")) ||
      message.contains(QLatin1String("unrecognized token")) ||
      message.contains(QLatin1String("incomplete input"))) {
    return EngineError(kSyntaxError,
                       QStringLiteral("Syntax error in expression (%1).").arg(message));
  }
  if (message.contains(QLatin1String("not authorized"))) {
    return EngineError(kReadOnly, QStringLiteral("The statement is not allowed here: "
                                                 "a query may only read."));
  }
  return EngineError(kGeneric, message);
}

}  // namespace corvane
