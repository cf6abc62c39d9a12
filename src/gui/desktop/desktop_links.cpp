#include "gui/desktop/desktop_links.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace corvane {

UrlOpener DesktopUrlOpener() {
  return [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

void OpenVendorPage(const UrlOpener& open) {
  if (open) open(QUrl(QString::fromLatin1(kVendorAddress)));
}

QString HelpContentsPath(const QString& executableDir) {
  const QDir dir(executableDir);
  const QStringList candidates = {
      dir.filePath(QStringLiteral("help/index.html")),
      dir.filePath(QStringLiteral("../share/corvane-server/help/index.html")),
  };
  for (const QString& candidate : candidates) {
    if (QFileInfo(candidate).isFile()) return QDir::cleanPath(candidate);
  }
  return {};
}

bool ShowHelpContents(const QString& executableDir, const UrlOpener& open) {
  const QString path = HelpContentsPath(executableDir);
  if (path.isEmpty() || !open) return false;
  return open(QUrl::fromLocalFile(path));
}

}  // namespace corvane
