#pragma once

#include <QString>

class QTextStream;

namespace corvane {

// Copies every SQLite file the program directory publishes (an Access file's imported
// database in its place) and the user store into `targetDir`, made when missing, while a
// server may be serving them. Each copy is named "<name>-<path hash>-<yyyyMMdd-HHmmss.zzz
// UTC>.sqlite" and appears under that name only once it is whole and on disk; with `keep`
// above 0, only the newest `keep` copies of each file stay. Server databases are named,
// not copied. A line for each database goes to `out`, each failure to `err`; false when
// any copy failed (the others are still made).
bool BackUpDatabases(const QString& programDir, const QString& targetDir, int keep,
                     QTextStream& out, QTextStream& err);

}  // namespace corvane
