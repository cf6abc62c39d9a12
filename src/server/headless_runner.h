#pragma once

#include <QString>
#include <optional>

#include "config/metrics_settings_file.h"

class QTextStream;

namespace corvane {

// Runs the server without windows until SIGINT or SIGTERM. Activity rows go to `out`, one
// line each in the log-file format; problems go to `err`. Returns the process exit code:
// 0 after a clean shutdown, 1 when the directory is unusable or another server holds it,
// 2 when the setup is incomplete (the message names what is missing). `metrics` serves the
// health and metrics pages there instead of where metrics.dat says.
int RunHeadless(const QString& programDir, QTextStream& out, QTextStream& err,
                const std::optional<MetricsAddress>& metrics = std::nullopt);

// What the operator must provide for a start-up that cannot serve yet.
QString MissingSetupText(int branch, const QString& programDir);

}  // namespace corvane
