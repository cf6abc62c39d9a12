#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace corvane {

// The "Date" column: the locale's short date.
QString ActivityDateText(const QDate& date, const QLocale& locale);

// The "Time" column: the locale's long time, without the time-zone part that Qt's long
// formats carry.
QString ActivityTimeText(const QTime& time, const QLocale& locale);

// `format` with its time-zone fields ("t") and the blanks around them removed; quoted
// literal text is kept as it is.
QString TimeFormatWithoutZone(const QString& format);

}  // namespace corvane
