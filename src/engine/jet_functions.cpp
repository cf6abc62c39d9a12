#include "engine/jet_functions.h"

#include <QDateTime>
#include <cmath>
#include <string>
#include <string_view>

#include "engine/jet_like.h"
#include "engine/statement.h"
#include "engine/variant.h"

namespace corvane {

namespace {

QString ArgText(sqlite3_value* v) {
  const char* data = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return DecodeStoredText(data, sqlite3_value_bytes(v));
}

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }

void ResultText(sqlite3_context* ctx, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  sqlite3_result_text64(ctx, utf8.constData(), utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Jet's Val: the leading number of a text, blanks ignored, 0 when there is none.
double LeadingValue(const QString& text) {
  QString digits;
  for (QChar c : text) {
    if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) continue;
    digits += c;
  }
  int i = 0;
  const int n = digits.size();
  if (i < n && (digits[i] == QLatin1Char('+') || digits[i] == QLatin1Char('-'))) ++i;
  while (i < n && digits[i].isDigit()) ++i;
  if (i < n && digits[i] == QLatin1Char('.')) {
    ++i;
    while (i < n && digits[i].isDigit()) ++i;
  }
  if (i < n && (digits[i] == QLatin1Char('e') || digits[i] == QLatin1Char('E'))) {
    int j = i + 1;
    if (j < n && (digits[j] == QLatin1Char('+') || digits[j] == QLatin1Char('-'))) ++j;
    if (j < n && digits[j].isDigit()) {
      while (j < n && digits[j].isDigit()) ++j;
      i = j;
    }
  }
  return digits.left(i).toDouble();
}

bool IsAsciiText(const char* data, int length) {
  for (int i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(data[i]) >= 0x80) return false;
  }
  return true;
}

// A Like pattern as kept with its statement between rows.
struct LikePattern {
  QString text;
  std::string ascii;  // the bytes, when the pattern is ASCII
  bool isAscii = false;
};

void Like(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  // A find or a query compares every row with the same pattern: it is read once per
  // statement and kept with it.
  const auto* pattern = static_cast<const LikePattern*>(sqlite3_get_auxdata(ctx, 0));
  if (!pattern) {
    auto* made = new LikePattern;
    const char* data = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int length = sqlite3_value_bytes(argv[0]);
    made->text = ArgText(argv[0]);
    made->isAscii = data != nullptr && IsAsciiText(data, length);
    if (made->isAscii) made->ascii.assign(data, static_cast<size_t>(length));
    sqlite3_set_auxdata(ctx, 0, made, [](void* kept) { delete static_cast<LikePattern*>(kept); });
    pattern = static_cast<const LikePattern*>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern) {  // not kept (out of memory): read it for this row alone
      return sqlite3_result_int(ctx, JetLikeMatch(ArgText(argv[0]), ArgText(argv[1])) ? 1 : 0);
    }
  }
  const char* value = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  const int length = sqlite3_value_bytes(argv[1]);
  bool matched;
  if (pattern->isAscii && value != nullptr && IsAsciiText(value, length)) {
    matched =
        JetLikeMatchAscii(pattern->ascii, std::string_view(value, static_cast<size_t>(length)));
  } else {
    matched = JetLikeMatch(pattern->text, ArgText(argv[1]));
  }
  sqlite3_result_int(ctx, matched ? 1 : 0);
}

template <QString (QString::*Method)() const&>
void TextMethod(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, (ArgText(argv[0]).*Method)());
}

void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, ArgText(argv[0]).size());
}

void Left(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, ArgText(argv[0]).left(std::max<int64_t>(0, sqlite3_value_int64(argv[1]))));
}

void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, ArgText(argv[0]).right(std::max<int64_t>(0, sqlite3_value_int64(argv[1]))));
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const QString s = ArgText(argv[0]);
  const int64_t start = std::max<int64_t>(1, sqlite3_value_int64(argv[1]));
  const int64_t length = argc > 2 ? std::max<int64_t>(0, sqlite3_value_int64(argv[2])) : -1;
  ResultText(ctx, s.mid(start - 1, length));
}

// InStr([start,] text, sought): 1-based position, 0 when absent.
void InStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int first = 0;
  int64_t start = 1;
  if (argc == 3) {
    start = std::max<int64_t>(1, sqlite3_value_int64(argv[0]));
    first = 1;
  }
  if (IsNull(argv[first]) || IsNull(argv[first + 1])) return sqlite3_result_null(ctx);
  const QString s = ArgText(argv[first]);
  const int at = s.indexOf(ArgText(argv[first + 1]), start - 1, Qt::CaseInsensitive);
  sqlite3_result_int64(ctx, at < 0 ? 0 : at + 1);
}

void Nz(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (!IsNull(argv[0])) return sqlite3_result_value(ctx, argv[0]);
  if (argc > 1) return sqlite3_result_value(ctx, argv[1]);
  sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
}

void Now(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultText(ctx, DateTimeToStoredText(QDateTime::currentDateTime()));
}

void Today(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultText(ctx, QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

void TimeNow(sqlite3_context* ctx, int, sqlite3_value**) {
  ResultText(ctx, QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
}

QDateTime ArgDateTime(sqlite3_value* v) {
  const QString text = ArgText(v).trimmed();
  QDateTime dt = DateTimeFromStoredText(text);
  if (!dt.isValid()) {
    const QTime t = QTime::fromString(text, QStringLiteral("HH:mm:ss"));
    if (t.isValid()) dt = WallClock(QDate(1899, 12, 30), t);
  }
  return dt;
}

template <int Part>
void DatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const QDateTime dt = ArgDateTime(argv[0]);
  if (!dt.isValid()) return sqlite3_result_null(ctx);
  const int parts[] = {dt.date().year(), dt.date().month(),  dt.date().day(),
                       dt.time().hour(), dt.time().minute(), dt.time().second()};
  sqlite3_result_int(ctx, parts[Part]);
}

void Val(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_result_value(ctx, argv[0]);
  sqlite3_result_double(ctx, LeadingValue(ArgText(argv[0])));
}

void CStr(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, VariantFromValue(argv[0]).toText());
}

double ArgNumber(sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_value_double(v);
  return LeadingValue(ArgText(v));
}

// CInt and CLng round half to even, as Basic does.
void CInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<int64_t>(std::nearbyint(ArgNumber(argv[0]))));
}

void CDbl(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  sqlite3_result_double(ctx, ArgNumber(argv[0]));
}

// a \ b: both rounded to integers, then divided without remainder.
void IntDiv(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  const int64_t a = static_cast<int64_t>(std::nearbyint(ArgNumber(argv[0])));
  const int64_t b = static_cast<int64_t>(std::nearbyint(ArgNumber(argv[1])));
  if (b == 0) return sqlite3_result_error(ctx, "Division by zero", -1);
  sqlite3_result_int64(ctx, a / b);
}

void Add(sqlite3* db, const char* name, int args,
         void (*fn)(sqlite3_context*, int, sqlite3_value**), bool deterministic = true) {
  // Innocuous: none has side effects, so views and CHECK constraints of a file whose
  // schema is not trusted may still call them.
  const int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (deterministic ? SQLITE_DETERMINISTIC : 0);
  sqlite3_create_function_v2(db, name, args, flags, nullptr, fn, nullptr, nullptr, nullptr);
}

}  // namespace

void RegisterJetFunctions(sqlite3* db) {
  Add(db, "like", 2, Like);
  Add(db, "like", 3, Like);
  Add(db, "ucase", 1, TextMethod<&QString::toUpper>);
  Add(db, "lcase", 1, TextMethod<&QString::toLower>);
  Add(db, "len", 1, Len);
  Add(db, "jet_left", 2, Left);
  Add(db, "jet_right", 2, Right);
  Add(db, "mid", 2, Mid);
  Add(db, "mid", 3, Mid);
  Add(db, "instr", 2, InStr);
  Add(db, "instr", 3, InStr);
  Add(db, "nz", 1, Nz);
  Add(db, "nz", 2, Nz);
  Add(db, "now", 0, Now, false);
  Add(db, "date", 0, Today, false);
  Add(db, "time", 0, TimeNow, false);
  Add(db, "year", 1, DatePart<0>);
  Add(db, "month", 1, DatePart<1>);
  Add(db, "day", 1, DatePart<2>);
  Add(db, "hour", 1, DatePart<3>);
  Add(db, "minute", 1, DatePart<4>);
  Add(db, "second", 1, DatePart<5>);
  Add(db, "val", 1, Val);
  Add(db, "cstr", 1, CStr);
  Add(db, "cint", 1, CInt);
  Add(db, "clng", 1, CInt);
  Add(db, "cdbl", 1, CDbl);
  Add(db, "jet_intdiv", 2, IntDiv);
}

}  // namespace corvane
