#pragma once

#include <QString>

namespace corvane {

// Opens the file with the program the desktop associates with its type. False when no
// viewer could be started; the caller shows nothing either way.
bool OpenWithDefaultViewer(const QString& path);

// Starts the platform's ODBC data source administrator when one is installed (unixODBC's
// Qt tool on Linux, odbcad32 on Windows). False when none was found or it did not start.
bool StartOdbcAdministrator();

}  // namespace corvane
