#include "config/autostart_entry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "config/default_program_dir.h"

namespace corvane {
namespace {

const QString EntryFileName = QStringLiteral("corvane-server.desktop");

QString CleanAbsolute(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// One argument of an Exec line, quoted so that blanks and the characters the desktop
// entry format reserves survive; "%" would otherwise start a field code.
QString QuoteExecArgument(const QString& argument) {
  QString quoted = QStringLiteral("\"");
  for (const QChar c : argument) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted.append(u'\\');
    quoted.append(c);
    if (c == u'%') quoted.append(u'%');
  }
  quoted.append(u'"');
  return quoted;
}

// Escapes of the format's string values, applied to the whole line after quoting.
QString EscapeStringValue(const QString& value) {
  QString escaped;
  for (const QChar c : value) {
    if (c == u'\\') {
      escaped.append(QStringLiteral("\\\\"));
    } else if (c == u'\n') {
      escaped.append(QStringLiteral("\\n"));
    } else if (c == u'\t') {
      escaped.append(QStringLiteral("\\t"));
    } else if (c == u'\r') {
      escaped.append(QStringLiteral("\\r"));
    } else {
      escaped.append(c);
    }
  }
  return escaped;
}

}  // namespace

AutostartPlaces AutostartPlaces::ForThisProgram() {
  AutostartPlaces places;
  places.executablePath = QCoreApplication::applicationFilePath();
  places.defaultProgramDir = DefaultProgramDir();
  QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The base directory standard ignores relative paths here.
  if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
    configHome = QDir::home().filePath(QStringLiteral(".config"));
  }
  places.autostartDir = QDir(configHome).filePath(QStringLiteral("autostart"));
  return places;
}

AutostartEntry::AutostartEntry(const QString& programDir, const AutostartPlaces& places)
    : programDir_(programDir), places_(places) {}

QString AutostartEntry::FilePath() const {
  return QDir(places_.autostartDir).filePath(EntryFileName);
}

bool AutostartEntry::IsPresent() const { return QFileInfo::exists(FilePath()); }

QByteArray AutostartEntry::EntryText() const {
  QString command = QuoteExecArgument(CleanAbsolute(places_.executablePath));
  // Equal folders are compared cleaned, so a trailing separator makes no difference.
  const QString programDir = CleanAbsolute(programDir_);
  if (programDir != CleanAbsolute(places_.defaultProgramDir)) {
    command += QStringLiteral(" --dir ") + QuoteExecArgument(programDir);
  }
  const QString text = QStringLiteral(
                           "[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=Corvane Database Server\n"
                           "Exec=%1\n"
                           "Terminal=false\n"
                           "X-GNOME-Autostart-enabled=true\n")
                           .arg(EscapeStringValue(command));
  return text.toUtf8();
}

void AutostartEntry::SetRunAtStartup(bool enable) {
  // Failures are not reported: the entry is a convenience, as in the setup dialog.
  const bool present = IsPresent();
  if (enable && !present) {
    if (!QDir().mkpath(places_.autostartDir)) return;
    QSaveFile file(FilePath());
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(EntryText());
    file.commit();
  } else if (!enable && present) {
    QFile::remove(FilePath());
  }
}

}  // namespace corvane
