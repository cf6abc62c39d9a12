#include "postgres/pg_jet_calls.h"

#include <map>

namespace corvane {

namespace {

JetCallForm Call(QString head, QString afterOpen = {}, QStringList commas = {},
                 QString beforeClose = {}, QString tail = {}) {
  JetCallForm call;
  call.head = std::move(head);
  call.afterOpen = std::move(afterOpen);
  call.commas = std::move(commas);
  call.beforeClose = std::move(beforeClose);
  call.tail = std::move(tail);
  return call;
}

// A call whose first argument is read as text; `commas` follow that argument's cast.
JetCallForm TextCall(const QString& name, QStringList commas = {}, QString tail = {}) {
  if (commas.isEmpty())
    return Call(name + QStringLiteral("`(`CAST"), {}, {}, QStringLiteral(" `AS` `text"),
                QStringLiteral(")"));
  return Call(name + QStringLiteral("`(`CAST"), {}, std::move(commas), {}, std::move(tail));
}

// Ends the text argument's cast and goes on to the next argument.
const QString kTextThen = QStringLiteral(" `AS` `text`)`,` ");

// Opens a count: a whole number (the fraction cut off, as a file does), `least` at least.
QString Count(int least) {
  return QStringLiteral("`greatest`(`%1`,` `int4`(`trunc`(`float8`(").arg(least);
}

const std::map<QString, JetCallForm>& Calls() {
  static const std::map<QString, JetCallForm> calls = [] {
    std::map<QString, JetCallForm> c;
    // Text functions read their text as text, so that a number or a date passed to them
    // (Left(12345, 2)) gives what a file gives; counts are whole numbers, negative ones
    // count as none, as on a file.
    c["ucase/1"] = TextCall(QStringLiteral("upper"));
    c["lcase/1"] = TextCall(QStringLiteral("lower"));
    c["len/1"] = TextCall(QStringLiteral("length"));
    c["left/2"] =
        TextCall(QStringLiteral("left"), {kTextThen + Count(0)}, QStringLiteral(")`)`)`)"));
    c["right/2"] =
        TextCall(QStringLiteral("right"), {kTextThen + Count(0)}, QStringLiteral(")`)`)`)"));
    c["mid/2"] =
        TextCall(QStringLiteral("substr"), {kTextThen + Count(1)}, QStringLiteral(")`)`)`)"));
    c["mid/3"] = TextCall(QStringLiteral("substr"),
                          {kTextThen + Count(1), QStringLiteral(")`)`)`)`,` ") + Count(0)},
                          QStringLiteral(")`)`)`)"));
    // Nz without a second value: the empty text for Null, the value's text otherwise (a
    // file gives the value itself; both read the same).
    c["nz/1"] = Call(QStringLiteral("coalesce`(`CAST"), {}, {}, QStringLiteral(" `AS` `text"),
                     QStringLiteral(",` `''`)"));
    c["nz/2"] = c["ifnull/2"] = Call(QStringLiteral("coalesce"));
    JetCallForm now = Call(QStringLiteral("localtimestamp`(`0`)"));
    now.dropParens = true;
    c["now/0"] = now;
    now.head = QStringLiteral("current_date");
    c["date/0"] = now;
    now.head = QStringLiteral("localtime`(`0`)");
    c["time/0"] = now;
    // A date part of a date, or of a text that holds one ('2020-01-02').
    for (const char* part : {"year", "month", "day", "hour", "minute", "second"}) {
      c[QString::fromLatin1(part) + QStringLiteral("/1")] =
          Call(QStringLiteral("int4`(`date_part"), QStringLiteral("'%1'`,` `CAST`(").arg(part), {},
               QStringLiteral(" `AS` `timestamp`)"), QStringLiteral(")"));
    }
    // The leading number of the text, blanks left out; 0 when there is none, Null for Null.
    c["val/1"] = Call(
        QStringLiteral("(`SELECT` `float8`(`coalesce`(`nullif`(`substring`(`replace`(`corvane_v.v`,"
                       "` `' '`,` `''`)` `FROM` `'^[+-]?(?:[0-9]+[.]?[0-9]*|[.][0-9]+)"
                       "(?:[eE][+-]?[0-9]+)?'`)`,` `''`)`,` `left`(`corvane_v.v`,` `0`)` `||` "
                       "`'0'`)`)` `FROM` `(`SELECT` `CAST"),
        {}, {}, QStringLiteral(" `AS` `text"), QStringLiteral(" `AS` `v`)` `AS` `corvane_v`)"));
    c["cstr/1"] = Call(QStringLiteral("CAST"), {}, {}, QStringLiteral(" `AS` `text"));
    // Rounded half to even, as Basic does (round of a double does).
    c["cint/1"] = c["clng/1"] =
        Call(QStringLiteral("int8`(`round`(`float8"), {}, {}, {}, QStringLiteral(")`)"));
    c["cdbl/1"] = Call(QStringLiteral("float8"));
    c["instr/2"] = Call(QStringLiteral("strpos`(`lower`(`CAST"), {},
                        {QStringLiteral(" `AS` `text`)`)`,` `lower`(`CAST`(")},
                        QStringLiteral(" `AS` `text`)`)"));
    // InStr(start, text, sought): the search begins at the start (1 at least); the position
    // is still counted from the text's first character. Each argument is written once, so a
    // subquery names them.
    c["instr/3"] =
        Call(QStringLiteral("(`SELECT` `CASE` `WHEN` `corvane_i.p` `=` `0` `OR` `corvane_i.s` `>` "
                            "`length`(`corvane_i.t`)` `+` `1` `THEN` `0` `ELSE` `corvane_i.p` `+` "
                            "`corvane_i.s` `-` `1` `END` `FROM` `(`SELECT` `corvane_a.s`,` "
                            "`corvane_a.t`,` `strpos`(`lower`(`substr`(`corvane_a.t`,` "
                            "`corvane_a.s`)`)`,` `lower`(`corvane_a.x`)`)` `AS` `p` `FROM` "),
             QStringLiteral("SELECT` `greatest`(`1`,` `int4`(`trunc`(`float8`("),
             {QStringLiteral(")`)`)`)` `AS` `s`,` `CAST`("),
              QStringLiteral(" `AS` `text`)` `AS` `t`,` `CAST`(")},
             QStringLiteral(" `AS` `text`)` `AS` `x"),
             QStringLiteral(" `AS` `corvane_a`)` `AS` `corvane_i`)"));
    c["iif/3"] = Call(QStringLiteral("CASE` `WHEN` "), {},
                      {QStringLiteral(")` `THEN` `("), QStringLiteral(")` `ELSE` `(")}, {},
                      QStringLiteral(" `END"));
    return c;
  }();
  return calls;
}

}  // namespace

std::optional<JetCallForm> PgCallFor(const QString& name, int args) {
  const QString lower = name.toLower();
  const auto it = Calls().find(lower + QLatin1Char('/') + QString::number(args));
  if (it != Calls().end()) return it->second;
  return std::nullopt;
}

}  // namespace corvane
