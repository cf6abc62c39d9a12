#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "core/server/command_line.h"
#include "core/server/headless_runner.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  const corvane::ParsedCommandLine parsed =
      corvane::ParseCommandLine(QCoreApplication::arguments().mid(1));
  if (!parsed.Ok()) {
    err << parsed.error << "\n\n" << corvane::UsageText();
    return 2;
  }
  if (parsed.options.action == corvane::AdminAction::None) {
    if (parsed.options.headless) {
      return corvane::RunHeadless(
          corvane::ProgramDirectory(parsed.options, QCoreApplication::applicationDirPath()), out,
          err);
    }
    out << corvane::UsageText();
    return 0;
  }
  return corvane::RunAdminAction(parsed.options, QCoreApplication::applicationDirPath(), out, err);
}
