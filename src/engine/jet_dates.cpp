// Jet's #date# literals: the dates and times clients write, as stored text.
#include <QDateTime>

#include "engine/engine_error.h"
#include "engine/jet_sql.h"
#include "engine/variant.h"

namespace corvane {

QString JetDateLiteral(const QString& inside) {
  const QString t = inside.trimmed();
  static const char* kDateForms[] = {"M/d/yyyy",   "M/d/yy",      "yyyy-M-d",    "yyyy/M/d",
                                     "d-MMM-yyyy", "MMM d, yyyy", "MMMM d, yyyy"};
  static const char* kTimeForms[] = {"H:mm:ss",   "H:mm",   "h:mm:ss AP", "h:mm AP",
                                     "h:mm:ssAP", "h:mmAP", "h AP"};
  QString datePart = t, timePart;
  const int blank = t.indexOf(QLatin1Char(' '));
  QDate date;
  QTime time(0, 0);
  for (const char* f : kDateForms) {
    date = QDate::fromString(t, QLatin1String(f));
    if (date.isValid()) break;
  }
  if (!date.isValid() && blank > 0) {
    datePart = t.left(blank);
    timePart = t.mid(blank + 1).trimmed();
    for (const char* f : kDateForms) {
      date = QDate::fromString(datePart, QLatin1String(f));
      if (date.isValid()) break;
    }
    time = QTime();
    for (const char* f : kTimeForms) {
      time = QTime::fromString(timePart.toUpper(), QLatin1String(f));
      if (time.isValid()) break;
    }
  }
  if (!date.isValid() && blank < 0) {
    // A time only: Jet's day zero.
    for (const char* f : kTimeForms) {
      time = QTime::fromString(t.toUpper(), QLatin1String(f));
      if (time.isValid()) break;
    }
    if (time.isValid()) date = QDate(1899, 12, 30);
  }
  if (!date.isValid() || !time.isValid()) {
    throw EngineError(engine_error::kSyntaxError,
                      QStringLiteral("Syntax error in date in expression: #%1#.").arg(inside));
  }
  if (date.year() < 100) date = date.addYears(date.year() < 30 ? 2000 : 1900);
  return QLatin1Char('\'') + DateTimeToStoredText(WallClock(date, time)) + QLatin1Char('\'');
}

}  // namespace corvane
