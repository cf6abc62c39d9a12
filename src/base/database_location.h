#pragma once

#include <QString>

namespace corvane {

// A published location is a file's path unless it is a PostgreSQL connection text: a
// libpq URI (postgresql:// or postgres://) or "service=NAME".
bool IsServerDatabaseLocation(const QString& location);

// Where a connection text is given: in a settings file, or on the command line.
enum class LocationUse { kPublished, kCommandLine };

// Why a server database's connection text cannot be used, or empty when it can.
// Settings files are plain text and a command line shows in the process list, so a
// password in the text (a URI's user:password@, or a password parameter) is refused: it
// belongs in the password file or the service file.
QString ServerLocationProblem(const QString& location, LocationUse use = LocationUse::kPublished);

}  // namespace corvane
