#pragma once

#include <QString>

namespace corvane {

// A published location is a file's path unless it is a PostgreSQL connection text: a
// libpq URI (postgresql:// or postgres://) or "service=NAME".
bool IsServerDatabaseLocation(const QString& location);

// Why a server database's connection text cannot be published, or empty when it can.
// Settings files are plain text, so a password in one (a URI's user:password@, or a
// password parameter) is refused: it belongs in the password file or the service file.
QString ServerLocationProblem(const QString& location);

}  // namespace corvane
