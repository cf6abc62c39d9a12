#include "commands/find_sort.h"

#include "commands/record_replies.h"
#include "commands/value_text.h"
#include "engine/engine_error.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

enum class Pattern { kBeginsWith, kEndsWith, kExact };

QString Criterion(const FieldInfo& field, const QString& text, Pattern pattern) {
  switch (pattern) {
    case Pattern::kBeginsWith:
      return field.sourceField + QStringLiteral(" Like '") + text + QStringLiteral("*'");
    case Pattern::kEndsWith:
      return field.sourceField + QStringLiteral(" Like '*") + text + QStringLiteral("'");
    case Pattern::kExact:
    default:
      return field.sourceField + QStringLiteral(" Like '") + text + QStringLiteral("'");
  }
}

enum class FindStart { kFirst, kNext };

void FindMatch(DatabaseScope& scope, FindStart start) {
  FieldCursor& fields = scope.command.fields();
  const int16_t mode = FieldNumber(fields.Next());
  const QString text = FromWindows1252(fields.Next());
  Recordset* rs = nullptr;
  try {
    rs = &scope.Set();
    Pattern pattern = mode == 0 ? Pattern::kBeginsWith : Pattern::kExact;
    while (true) {
      for (int i = 0; i < rs->FieldCount(); ++i) {
        const QString criterion = Criterion(rs->Fields()[i], text, pattern);
        if (start == FindStart::kFirst) {
          rs->MoveLast();
          rs->FindFirst(criterion);
        } else {
          rs->FindNext(criterion);
        }
        if (!rs->NoMatch()) {
          scope.command.Send(FoundReply(scope, static_cast<int16_t>(i + 1)));
          scope.command.Log("Retrieve");
          return;
        }
      }
      if (pattern != Pattern::kBeginsWith) break;
      pattern = Pattern::kEndsWith;
    }
    scope.command.Reply("NoMatch");
  } catch (const EngineError& error) {
    if (error.number() != engine_error::kUnknownName || !rs) {
      DatabaseErrorReply(scope, "ErrorUpdate", "ErrorFind", {error.number(), error.description()});
      return;
    }
    // A name the engine does not know: look through the values as the client sees them.
    // Errors of the scan are the dispatcher's to answer.
    if (start == FindStart::kFirst) {
      rs->MoveFirst();
    } else {
      rs->MoveNext();
    }
    const QByteArray found = ScanForText(text, mode, scope);
    if (found.isEmpty()) {
      scope.command.Reply("NoMatch");
    } else {
      scope.command.Send(found);
      scope.command.Log("Retrieve");
    }
  } catch (...) {
    DatabaseErrorReply(scope, "ErrorUpdate", "ErrorFind", CurrentError());
  }
}

}  // namespace

void FindFirstMatch(DatabaseScope& scope) { FindMatch(scope, FindStart::kFirst); }

void FindNextMatch(DatabaseScope& scope) { FindMatch(scope, FindStart::kNext); }

QByteArray ScanForText(const QString& text, int16_t mode, DatabaseScope& scope) {
  Recordset& rs = scope.Set();
  const QString key = text.trimmed().toUpper();
  if (rs.RecordCount() <= 0) return {};
  const int64_t start = rs.AbsolutePosition();
  while (true) {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      const QString value =
          FieldValueText(rs.Value(i), rs.Fields()[i], scope.formats).trimmed().toUpper();
      if (mode == 1 ? value == key : value.contains(key)) {
        return FoundReply(scope, static_cast<int16_t>(i + 1));
      }
    }
    rs.MoveNext();
    if (rs.Eof()) {
      rs.SetAbsolutePosition(start);
      return {};
    }
  }
}

void SortRecords(const QString& sortText, DatabaseScope& scope) {
  try {
    const QString sql = QStringLiteral("SELECT * FROM [") + scope.session().SlotObjectName +
                        QStringLiteral("] ORDER BY ") + sortText + QStringLiteral(";");
    scope.slot.CloseRecordset();
    const QueryDef query = scope.slot.Db().CreateQueryDef(QString(), sql);
    scope.slot.SetRecordset(query.OpenRecordset(2));
    scope.Set().MoveFirst();
    scope.command.Log("Sort");
    scope.command.Send(RecordDataReply(scope));
  } catch (...) {
    DatabaseErrorReply(scope, "ErrorUpdate", "ErrorSort", CurrentError());
  }
}

}  // namespace corvane
