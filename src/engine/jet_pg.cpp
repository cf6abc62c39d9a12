#include "engine/jet_pg.h"

#include <map>

#include "engine/engine_error.h"

namespace corvane {

namespace {

// A character that stands for itself in a regular expression.
QString Literal(QChar c) {
  if (c.unicode() < 0x80 && !c.isLetterOrNumber() && c != QLatin1Char(' ')) {
    return QLatin1Char('\\') + QString(c);
  }
  return QString(c);
}

// The bracket at pattern[at] ('['): appends its class to `regex` and returns the index after
// its ']', or -1 when it is not closed (it then stands for itself). A ']' right after '[' or
// "[!" belongs to the class, as in the Jet matcher.
int Bracket(const QString& pattern, int at, QString& regex) {
  int i = at + 1;
  QString cls = QStringLiteral("[");
  if (i < pattern.size() && pattern[i] == QLatin1Char('!')) {
    cls += QLatin1Char('^');
    ++i;
  }
  bool first = true;
  while (i < pattern.size() && (pattern[i] != QLatin1Char(']') || first)) {
    first = false;
    if (i + 2 < pattern.size() && pattern[i + 1] == QLatin1Char('-') &&
        pattern[i + 2] != QLatin1Char(']')) {
      cls += Literal(pattern[i]) + QLatin1Char('-') + Literal(pattern[i + 2]);
      i += 3;
    } else {
      cls += Literal(pattern[i]);
      ++i;
    }
  }
  if (i >= pattern.size()) return -1;
  regex += cls + QLatin1Char(']');
  return i + 1;
}

PgCall Call(QString head, QString afterOpen = {}, QStringList commas = {}, QString beforeClose = {},
            QString tail = {}) {
  PgCall call;
  call.head = std::move(head);
  call.afterOpen = std::move(afterOpen);
  call.commas = std::move(commas);
  call.beforeClose = std::move(beforeClose);
  call.tail = std::move(tail);
  return call;
}

const std::map<QString, PgCall>& Calls() {
  static const std::map<QString, PgCall> calls = [] {
    std::map<QString, PgCall> c;
    c["ucase/1"] = Call(QStringLiteral("upper"));
    c["lcase/1"] = Call(QStringLiteral("lower"));
    c["len/1"] = Call(QStringLiteral("length"));
    c["mid/2"] = c["mid/3"] = Call(QStringLiteral("substr"));
    c["left/2"] = Call(QStringLiteral("left"));
    c["right/2"] = Call(QStringLiteral("right"));
    c["nz/1"] = Call(QStringLiteral("coalesce"), {}, {}, QStringLiteral(",` `''"));
    c["nz/2"] = c["ifnull/2"] = Call(QStringLiteral("coalesce"));
    PgCall now = Call(QStringLiteral("localtimestamp`(`0`)"));
    now.dropParens = true;
    c["now/0"] = now;
    now.head = QStringLiteral("current_date");
    c["date/0"] = now;
    now.head = QStringLiteral("localtime`(`0`)");
    c["time/0"] = now;
    for (const char* part : {"year", "month", "day", "hour", "minute", "second"}) {
      c[QString::fromLatin1(part) + QStringLiteral("/1")] =
          Call(QStringLiteral("int4`(`date_part"), QStringLiteral("'%1'`,` ").arg(part), {}, {},
               QStringLiteral(")"));
    }
    // The leading number of the text, blanks left out; 0 when there is none.
    c["val/1"] =
        Call(QStringLiteral("float8`(`coalesce`(`nullif`(`substring`(`replace`(`CAST"), {}, {},
             QStringLiteral(" `AS` `text"),
             QStringLiteral(",` `' '`,` `''`)` `FROM` `'^[+-]?(?:[0-9]+[.]?[0-9]*|[.][0-9]+)"
                            "(?:[eE][+-]?[0-9]+)?'`)`,` `''`)`,` `'0'`)`)"));
    c["cstr/1"] = Call(QStringLiteral("CAST"), {}, {}, QStringLiteral(" `AS` `text"));
    // Rounded half to even, as Basic does (round of a double does).
    c["cint/1"] = c["clng/1"] =
        Call(QStringLiteral("int8`(`round`(`float8"), {}, {}, {}, QStringLiteral(")`)"));
    c["cdbl/1"] = Call(QStringLiteral("float8"));
    c["instr/2"] = Call(QStringLiteral("strpos`(`lower`(`CAST"), {},
                        {QStringLiteral(" `AS` `text`)`)`,` `lower`(`CAST`(")},
                        QStringLiteral(" `AS` `text`)`)"));
    c["iif/3"] = Call(QStringLiteral("CASE` `WHEN` "), {},
                      {QStringLiteral(")` `THEN` `("), QStringLiteral(")` `ELSE` `(")}, {},
                      QStringLiteral(" `END"));
    return c;
  }();
  return calls;
}

}  // namespace

QString JetLikeRegex(const QString& pattern) {
  QString regex = QStringLiteral("^");
  for (int i = 0; i < pattern.size();) {
    const QChar c = pattern[i];
    if (c == QLatin1Char('*')) {
      regex += QLatin1String(".*");
    } else if (c == QLatin1Char('?')) {
      regex += QLatin1Char('.');
    } else if (c == QLatin1Char('#')) {
      regex += QLatin1String("[0-9]");
    } else if (c == QLatin1Char('[')) {
      const int next = Bracket(pattern, i, regex);
      if (next >= 0) {
        i = next;
        continue;
      }
      regex += Literal(c);
    } else {
      regex += Literal(c);
    }
    ++i;
  }
  return regex + QLatin1Char('$');
}

std::optional<PgCall> PgCallFor(const QString& name, int args) {
  const QString lower = name.toLower();
  const auto it = Calls().find(lower + QLatin1Char('/') + QString::number(args));
  if (it != Calls().end()) return it->second;
  if (lower == QLatin1String("instr")) {
    throw EngineError(engine_error::kSyntaxError,
                      QStringLiteral("InStr with a start position is not available for server "
                                     "databases."));
  }
  return std::nullopt;
}

}  // namespace corvane
