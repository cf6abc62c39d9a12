#include "gui/config/shell_launch.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace corvane {

bool OpenWithDefaultViewer(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool StartOdbcAdministrator() {
  static const char* const kCandidates[] = {"ODBCManageDataSourcesQ5", "ODBCManageDataSourcesQ4",
                                            "odbcad32"};
  for (const char* name : kCandidates) {
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (!program.isEmpty()) return QProcess::startDetached(program, {});
  }
  return false;
}

}  // namespace corvane
