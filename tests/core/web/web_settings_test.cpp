#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "config/settings_files.h"
#include "config/web_settings_file.h"

namespace corvane::test {
namespace {

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(WebSettingsFile, KeepsThePortInTheFormatOfNetworkDat) {
  QTemporaryDir dir;
  ServerSettings settings;
  settings.ListenPort = 8081;
  settings.WebPort = 8081;
  SettingsFiles(dir.path()).SaveNetworkSettings(settings);
  WebSettingsFile web(dir.path());
  web.Save(settings);
  EXPECT_EQ(FileBytes(web.FilePath()), FileBytes(dir.filePath(QStringLiteral("network.dat"))));

  // Ports beyond the 16-bit signed range are kept too.
  settings.WebPort = 50443;
  web.Save(settings);
  ServerSettings loaded;
  EXPECT_TRUE(web.Load(loaded));
  EXPECT_EQ(loaded.WebPort, 50443);
}

TEST(WebSettingsFile, AbsentZeroOrUnusablePortsMeanOff) {
  QTemporaryDir dir;
  WebSettingsFile web(dir.path());
  ServerSettings settings;
  settings.WebPort = 9000;
  EXPECT_FALSE(web.Load(settings));
  EXPECT_EQ(settings.WebPort, 0);

  settings.WebPort = 9000;
  web.Save(settings);
  settings.WebPort = 0;
  web.Save(settings);
  EXPECT_FALSE(QFile::exists(web.FilePath()));

  for (const QByteArray& text : {QByteArray("0\r\n"), QByteArray("70000\r\n"), QByteArray("-5\r\n"),
                                 QByteArray("\"x\"\r\n")}) {
    QFile file(web.FilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    EXPECT_FALSE(web.Load(settings)) << text.constData();
  }
}

}  // namespace
}  // namespace corvane::test
