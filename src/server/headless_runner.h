#pragma once

#include <QString>

class QTextStream;

namespace corvane {

// Runs the server without windows until SIGINT or SIGTERM. Activity rows go to `out`, one
// line each in the log-file format; problems go to `err`. Returns the process exit code:
// 0 after a clean shutdown, 1 when the directory is unusable or another server holds it,
// 2 when the setup is incomplete (the message names what is missing).
int RunHeadless(const QString& programDir, QTextStream& out, QTextStream& err);

// What the operator must provide for a start-up that cannot serve yet.
QString MissingSetupText(int branch, const QString& programDir);

}  // namespace corvane
