#include "base/database_location.h"

#include <QRegularExpression>

namespace corvane {

namespace {

bool StartsWithScheme(const QString& text) {
  return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
         text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool CarriesPassword(const QString& text) {
  // A password parameter anywhere: "?password=", "&password=" or "password=" as a keyword.
  static const QRegularExpression parameter(QStringLiteral("(^|[?&\\s])password\\s*="),
                                            QRegularExpression::CaseInsensitiveOption);
  if (parameter.match(text).hasMatch()) return true;
  if (!StartsWithScheme(text)) return false;
  // The URI's authority: user[:password]@host...
  const QString rest = text.mid(text.indexOf(QLatin1String("://")) + 3);
  const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[/?]")));
  const QString authority = end < 0 ? rest : rest.left(end);
  const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
  return at >= 0 && authority.left(at).contains(QLatin1Char(':'));
}

}  // namespace

bool IsServerDatabaseLocation(const QString& location) {
  const QString text = location.trimmed();
  return StartsWithScheme(text) || text.startsWith(QLatin1String("service="), Qt::CaseInsensitive);
}

QString ServerLocationProblem(const QString& location, LocationUse use) {
  const QString text = location.trimmed();
  if (!IsServerDatabaseLocation(text)) return {};
  if (text.compare(QLatin1String("service="), Qt::CaseInsensitive) == 0) {
    return QStringLiteral("The connection text '%1' names no service.").arg(text);
  }
  if (CarriesPassword(text)) {
    const QString never =
        use == LocationUse::kPublished
            ? QStringLiteral("Passwords are never kept in database.dat")
            : QStringLiteral(
                  "Passwords are never given on the command line, where every user "
                  "of the machine can read them");
    return QStringLiteral(
               "The connection text carries a password. %1: put it in the password file "
               "(~/.pgpass) or in the service file (~/.pg_service.conf) and leave it out of "
               "the connection text.")
        .arg(never);
  }
  return {};
}

}  // namespace corvane
