#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "config/default_program_dir.h"
#include "gui/server/desktop_controller.h"
#include "server/command_line.h"
#include "server/headless_runner.h"

namespace {

QStringList RawArguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  // Only the desktop program needs a display: the headless server and the admin actions
  // run on a plain core application.
  const corvane::ParsedCommandLine parsed = corvane::ParseCommandLine(RawArguments(argc, argv));
  if (parsed.Ok() && parsed.options.action == corvane::AdminAction::None &&
      !parsed.options.headless) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane Database Server"));
    QApplication::setDesktopFileName(QStringLiteral("corvane-server"));
    return corvane::RunDesktop(
        corvane::ChosenProgramDir(parsed.options, corvane::DefaultProgramDir()));
  }

  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  if (!parsed.Ok()) {
    err << parsed.error << "\n\n" << corvane::UsageText();
    return 2;
  }
  if (parsed.options.action == corvane::AdminAction::None) {
    return corvane::RunHeadless(
        corvane::ChosenProgramDir(parsed.options, corvane::DefaultProgramDir()), out, err,
        parsed.options.metrics);
  }
  return corvane::RunAdminAction(parsed.options, corvane::DefaultProgramDir(), out, err);
}
