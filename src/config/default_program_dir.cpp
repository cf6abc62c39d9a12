#include "config/default_program_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace corvane {
namespace {

// Any one of these shows that a folder has been set up as a program directory.
const char* const kProgramDirFiles[] = {"network.dat", "general.dat", "database.dat",
                                        "registry.db"};

bool HoldsProgramDirFiles(const QString& dir) {
  for (const char* name : kProgramDirFiles) {
    if (QFileInfo::exists(QDir(dir).filePath(QLatin1String(name)))) return true;
  }
  return false;
}

}  // namespace

QString DefaultProgramDir(const QString& executableDir) {
  if (HoldsProgramDirFiles(executableDir)) return executableDir;
  const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  // Without a home folder there is nowhere else to go.
  if (dataHome.isEmpty()) return executableDir;
  return QDir(dataHome).filePath(QStringLiteral("corvane-server"));
}

QString DefaultProgramDir() { return DefaultProgramDir(QCoreApplication::applicationDirPath()); }

void MakeProgramDir(const QString& dir) {
  if (QFileInfo(dir).isDir() || !QDir().mkpath(dir)) return;
  QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace corvane
