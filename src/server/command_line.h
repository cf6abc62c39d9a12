#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "config/metrics_settings_file.h"

class QTextStream;

namespace corvane {

// What a run of the server is asked to do besides (or instead of) serving.
enum class AdminAction {
  None,
  Help,
  Version,
  AddUser,
  ListUsers,
  RemoveUser,
  ImportAccess,
  Backup
};

struct CommandLineOptions {
  QString programDir;  // --dir; empty means the default folder (DefaultProgramDir)
  bool headless = false;
  AdminAction action = AdminAction::None;
  QStringList actionArguments;  // the action's own arguments, in order
  // --import-report: an import started by another process hands its result over here.
  QString importReport;
  // --key: with --add-user, the private key to give the user instead of a fresh one (test
  // fixtures that must match keys written down elsewhere).
  std::optional<QString> privateKey;
  // --keep: with --backup, how many copies of each database stay; 0 keeps them all.
  int keep = 0;
  // --metrics: where the headless server serves its health and metrics pages (metrics.dat
  // otherwise).
  std::optional<MetricsAddress> metrics;
};

struct ParsedCommandLine {
  CommandLineOptions options;
  QString error;  // why the arguments were not understood; empty when they were
  bool Ok() const { return error.isEmpty(); }
};

// Parses the arguments that follow the program name.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

QString UsageText();

// The program directory the options name: --dir made absolute, else the default, made
// when it is missing (an absent --dir folder is an error the caller reports).
QString ChosenProgramDir(const CommandLineOptions& options, const QString& defaultProgramDir);

// Runs the options' admin action and returns the process's exit code: 0 on success, 1 when
// the action failed (for --backup: when any database could not be copied). Results go to `out`,
// errors to `err`.
int RunAdminAction(const CommandLineOptions& options, const QString& defaultProgramDir,
                   QTextStream& out, QTextStream& err);

}  // namespace corvane
