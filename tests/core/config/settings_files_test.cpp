#include "config/settings_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "support/file_bytes.h"
#include "support/scoped_default_locale.h"

namespace corvane::test {
namespace {

class SettingsFilesTest : public ::testing::Test {
 protected:
  QString PathOf(const char* name) const { return QDir(dir_.path()).filePath(name); }

  void Put(const char* name, const QByteArray& bytes) const {
    ASSERT_TRUE(WriteFileBytes(PathOf(name), bytes));
  }
  QByteArray Get(const char* name) const { return ReadFileBytes(PathOf(name)); }

  // A real file for database.dat entries to point at.
  QString MakeDatabase(const char* name) const {
    QFile file(PathOf(name));
    file.open(QIODevice::WriteOnly);
    return file.fileName();
  }

  QTemporaryDir dir_;
  SettingsFiles files_{dir_.path()};
};

TEST_F(SettingsFilesTest, GeneralOfAServerStartedWithoutOne) {
  ServerSettings settings;
  files_.LoadGeneralSettings(settings);
  EXPECT_EQ(settings.RefreshRate, 5);
  EXPECT_EQ(SettingValue(settings.RunAtStartup), 0);
  EXPECT_EQ(SettingValue(settings.KeepLogFile), 0);
  EXPECT_EQ(settings.InactivityLimit, 0);
  files_.SaveGeneralSettings(settings);
  EXPECT_EQ(Get("general.dat"), QByteArray(",,5,,0\r\n,0\r\n"));
}

TEST_F(SettingsFilesTest, GeneralWithEveryBoxCheckedRoundTrips) {
  ServerSettings settings;
  settings.RunAtStartup = settings.RunMinimized = settings.KeepLogFile = 1;
  settings.AllowMultipleLogons = 1;
  settings.EncryptionEnabled = 1;
  settings.RefreshRate = 10;
  settings.InactivityLimit = 15;
  files_.SaveGeneralSettings(settings);
  EXPECT_EQ(Get("general.dat"), QByteArray("1,1,10,1,1\r\n1,15\r\n"));

  ServerSettings loaded;
  files_.LoadGeneralSettings(loaded);
  EXPECT_EQ(loaded.RunAtStartup, 1.0);
  EXPECT_EQ(loaded.RunMinimized, 1.0);
  EXPECT_EQ(loaded.RefreshRate, 10);
  EXPECT_EQ(loaded.KeepLogFile, 1.0);
  EXPECT_EQ(loaded.EncryptionEnabled, 1);
  EXPECT_EQ(loaded.AllowMultipleLogons, 1.0);
  EXPECT_EQ(loaded.InactivityLimit, 15);
}

TEST_F(SettingsFilesTest, GeneralEmptyOrWithEmptyRefreshGivesRefreshZero) {
  for (const QByteArray& content : {QByteArray(""), QByteArray("1,0,,1,0\r\n0,3\r\n")}) {
    Put("general.dat", content);
    ServerSettings settings;
    files_.LoadGeneralSettings(settings);
    EXPECT_EQ(settings.RefreshRate, 0) << content.constData();
  }
}

TEST_F(SettingsFilesTest, GeneralReadErrorKeepsTheRestOfItsLine) {
  // 40000 does not fit EncryptionEnabled; 99999 does not fit InactivityLimit.
  Put("general.dat", "1,1,20,40000,1\r\n1,99999\r\n");
  ServerSettings settings;
  settings.KeepLogFile = 0;
  files_.LoadGeneralSettings(settings);
  EXPECT_EQ(settings.RunMinimized, 1.0);
  EXPECT_EQ(settings.RefreshRate, 20);
  EXPECT_EQ(settings.KeepLogFile, 40000.0);  // a plain number takes any value
  EXPECT_EQ(settings.EncryptionEnabled, 1);
  EXPECT_EQ(settings.AllowMultipleLogons, 1.0);
  EXPECT_EQ(settings.InactivityLimit, 0);

  // The failing field ends its line: the next line is not skipped too.
  Put("general.dat", "1,1,20,1,70000\r\n1,9\r\n");
  ServerSettings last;
  files_.LoadGeneralSettings(last);
  EXPECT_EQ(last.KeepLogFile, 1.0);
  EXPECT_EQ(last.EncryptionEnabled, 0);
  EXPECT_EQ(last.InactivityLimit, 9);

  Put("general.dat", "1,1,abc,1,1\r\n1,7\r\n");
  ServerSettings second;
  files_.LoadGeneralSettings(second);
  EXPECT_EQ(second.RunMinimized, 1.0);
  EXPECT_EQ(second.RefreshRate, 5);            // failing field: unchanged
  EXPECT_FALSE(second.KeepLogFile);            // after it: unchanged
  EXPECT_EQ(second.EncryptionEnabled, 0);      // after it: unchanged
  EXPECT_EQ(second.AllowMultipleLogons, 1.0);  // the next line still loads
  EXPECT_EQ(second.InactivityLimit, 7);
}

TEST_F(SettingsFilesTest, NetworkPortLoadsSavesAndDeletes) {
  ServerSettings settings;
  EXPECT_FALSE(files_.LoadNetworkSettings(settings));

  settings.ListenPort = 8080;
  files_.SaveNetworkSettings(settings);
  EXPECT_EQ(Get("network.dat"), QByteArray("8080\r\n"));
  ServerSettings loaded;
  EXPECT_TRUE(files_.LoadNetworkSettings(loaded));
  EXPECT_EQ(loaded.ListenPort, 8080);

  Put("network.dat", "-5\r\n");
  EXPECT_TRUE(files_.LoadNetworkSettings(loaded));
  EXPECT_EQ(loaded.ListenPort, -5);

  Put("network.dat", "0\r\n");
  EXPECT_FALSE(files_.LoadNetworkSettings(loaded));

  settings.ListenPort = 0;
  files_.SaveNetworkSettings(settings);
  EXPECT_FALSE(QFile::exists(PathOf("network.dat")));
  files_.SaveNetworkSettings(settings);  // nothing to delete: harmless
}

TEST_F(SettingsFilesTest, NetworkReadErrorsGiveFalse) {
  for (const QByteArray& content : {QByteArray("40000\r\n"), QByteArray(""), QByteArray("x\r\n")}) {
    Put("network.dat", content);
    ServerSettings settings;
    settings.ListenPort = 1234;
    EXPECT_FALSE(files_.LoadNetworkSettings(settings)) << content.constData();
    EXPECT_EQ(settings.ListenPort, 1234);
  }
}

TEST_F(SettingsFilesTest, DatabaseListRoundTripsAndDropsStaleEntries) {
  const QString sales = MakeDatabase("sales.mdb");
  const QString stock = MakeDatabase("stock.mdb");
  PublishedList list = {{"sales.mdb", sales}, {"stock.mdb", stock}};
  files_.SaveDatabaseList(list);
  const QByteArray expected = "\"sales.mdb\",\"" + QFile::encodeName(sales) +
                              "\"\r\n\"stock.mdb\",\"" + QFile::encodeName(stock) + "\"\r\n";
  EXPECT_EQ(Get("database.dat"), expected);

  PublishedList loaded = {{"old", "old"}};
  EXPECT_TRUE(files_.LoadDatabaseList(loaded));
  EXPECT_EQ(loaded, list);

  QFile::remove(sales);
  EXPECT_TRUE(files_.LoadDatabaseList(loaded));
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].name, "stock.mdb");
  files_.SaveDatabaseList(loaded);
  EXPECT_EQ(Get("database.dat"), "\"stock.mdb\",\"" + QFile::encodeName(stock) + "\"\r\n");
}

TEST_F(SettingsFilesTest, DatabaseListMissingEmptyOrBrokenGivesFalseAndEmptyDeletes) {
  PublishedList loaded;
  EXPECT_FALSE(files_.LoadDatabaseList(loaded));

  Put("database.dat", "");
  EXPECT_FALSE(files_.LoadDatabaseList(loaded));
  EXPECT_TRUE(loaded.empty());

  // A broken second line keeps the first entry.
  const QString sales = MakeDatabase("sales.mdb");
  Put("database.dat", "\"sales.mdb\",\"" + QFile::encodeName(sales) + "\"\r\n\"x.mdb\"");
  EXPECT_FALSE(files_.LoadDatabaseList(loaded));
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].location, sales);
  // Saving an empty list deletes the file.
  files_.SaveDatabaseList({});
  EXPECT_FALSE(QFile::exists(PathOf("database.dat")));
}

TEST_F(SettingsFilesTest, WindowPlacementWhenNothingWasReadOrIsReadable) {
  ServerSettings settings;
  EXPECT_FALSE(files_.LoadWindowPlacement(settings));
  files_.SaveWindowPlacement(settings);
  EXPECT_EQ(Get("User.dat"), QByteArray(",\r\n0,\r\n"));

  ServerSettings loaded;
  EXPECT_TRUE(files_.LoadWindowPlacement(loaded));
  EXPECT_FALSE(loaded.WindowTop);
  EXPECT_FALSE(loaded.WindowLeft);
  EXPECT_EQ(loaded.WindowWidth, 0);
  EXPECT_FALSE(loaded.WindowHeight);

  // An unreadable file changes nothing.
  Put("User.dat", "100,200\r\n");  // line 2 missing
  settings.WindowTop = 1;
  EXPECT_FALSE(files_.LoadWindowPlacement(settings));
  EXPECT_EQ(settings.WindowTop, 1.0);
  EXPECT_FALSE(settings.WindowWidth);
}

TEST_F(SettingsFilesTest, WindowPlacementRoundTripsUnderAGermanLocale) {
  // Numbers in the files never follow the default locale's decimal comma.
  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  ServerSettings settings;
  settings.WindowTop = 1500;
  settings.WindowLeft = 2257.5;
  settings.WindowWidth = 9600;
  settings.WindowHeight = 7200;
  files_.SaveWindowPlacement(settings);
  EXPECT_EQ(Get("User.dat"), QByteArray("1500,2257.5\r\n9600,7200\r\n"));
  ServerSettings loaded;
  EXPECT_TRUE(files_.LoadWindowPlacement(loaded));
  EXPECT_EQ(loaded.WindowTop, 1500.0);
  EXPECT_EQ(loaded.WindowLeft, 2257.5);
  EXPECT_EQ(loaded.WindowWidth, 9600);
  EXPECT_EQ(loaded.WindowHeight, 7200.0);
}

TEST_F(SettingsFilesTest, SavesReplaceFilesWithoutLeavingTemporaries) {
  ServerSettings settings;
  settings.ListenPort = 5000;
  Put("network.dat", "1234567890 a much longer old content\r\n");
  files_.SaveNetworkSettings(settings);
  files_.SaveGeneralSettings(settings);
  files_.SaveWindowPlacement(settings);
  EXPECT_EQ(Get("network.dat"), QByteArray("5000\r\n"));
  QStringList names =
      QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  names.sort();
  EXPECT_EQ(names.join(' ').toStdString(), "User.dat general.dat network.dat");
}

}  // namespace
}  // namespace corvane::test
