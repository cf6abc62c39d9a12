#include "commands/find_sort.h"

#include "commands/record_replies.h"
#include "commands/value_text.h"
#include "engine/engine_error.h"

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

void FindMatch(CommandContext& ctx, FindStart start) {
  FieldReader& fields = ctx.fields();
  const int16_t mode = FieldNumber(fields.Next());
  const QString text = fields.Next();
  Recordset* rs = nullptr;
  try {
    rs = &ctx.Set();
    // The text goes into a quoted literal: an apostrophe would end it and make the rest an
    // expression of the client's. Such a text has always been an error; it stays one, found
    // before anything is built from it.
    if (text.contains(QLatin1Char('\''))) {
      throw EngineError(engine_error::kSyntaxError,
                        QStringLiteral("Syntax error: a find text cannot hold an apostrophe."));
    }
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
          ctx.Send(FoundReply(ctx, static_cast<int16_t>(i + 1)));
          ctx.Log("Retrieve");
          return;
        }
      }
      if (pattern != Pattern::kBeginsWith) break;
      pattern = Pattern::kEndsWith;
    }
    ctx.SendWord("NoMatch");
  } catch (const EngineError& error) {
    if (error.number() != engine_error::kUnknownName || !rs) {
      ctx.ErrorReply("ErrorUpdate", "ErrorFind", {error.number(), error.description()});
      return;
    }
    // A name the engine does not know: look through the values as the client sees them.
    // Errors of the scan are the dispatcher's to answer.
    if (start == FindStart::kFirst) {
      rs->MoveFirst();
    } else {
      rs->MoveNext();
    }
    std::optional<Reply> found = ScanForText(text, mode, ctx);
    if (!found) {
      ctx.SendWord("NoMatch");
    } else {
      ctx.Send(std::move(*found));
      ctx.Log("Retrieve");
    }
  } catch (...) {
    ctx.ErrorReply("ErrorUpdate", "ErrorFind", CurrentError());
  }
}

}  // namespace

void FindFirstMatch(CommandContext& ctx) { FindMatch(ctx, FindStart::kFirst); }

void FindNextMatch(CommandContext& ctx) { FindMatch(ctx, FindStart::kNext); }

std::optional<Reply> ScanForText(const QString& text, int16_t mode, CommandContext& ctx) {
  Recordset& rs = ctx.Set();
  const QString key = text.trimmed().toUpper();
  if (rs.RecordCount() <= 0) return std::nullopt;
  const int64_t start = rs.AbsolutePosition();
  while (true) {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      const QString value =
          FieldValueText(rs.Value(i), rs.Fields()[i], ctx.formats()).trimmed().toUpper();
      if (mode == 1 ? value == key : value.contains(key)) {
        return FoundReply(ctx, static_cast<int16_t>(i + 1));
      }
    }
    rs.MoveNext();
    if (rs.Eof()) {
      rs.SetAbsolutePosition(start);
      return std::nullopt;
    }
  }
}

void SortRecords(const QString& sortText, CommandContext& ctx) {
  try {
    const QString sql = QStringLiteral("SELECT * FROM [") + ctx.session().SlotObjectName +
                        QStringLiteral("] ORDER BY ") + sortText + QStringLiteral(";");
    ctx.database().CloseRecordset();
    const QueryDef query = ctx.database().Db().CreateQueryDef(QString(), sql);
    ctx.database().SetRecordset(query.OpenRecordset());
    ctx.Set().MoveFirst();
    ctx.Log("Sort");
    ctx.Send(RecordDataReply(ctx));
  } catch (...) {
    ctx.ErrorReply("ErrorUpdate", "ErrorSort", CurrentError());
  }
}

}  // namespace corvane
