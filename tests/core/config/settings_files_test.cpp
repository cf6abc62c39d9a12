// The settings files: their record format, what they hold after a save, what a load
// makes of them, and what it keeps when a file is missing or cannot be read.
#include "config/settings_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "config/sequential_records.h"
#include "config/web_settings_file.h"
#include "support/file_bytes.h"
#include "support/scoped_default_locale.h"

namespace corvane::test {
namespace {

class SettingsFilesTest : public ::testing::Test {
 protected:
  QString PathOf(const char* name) const { return dir_.filePath(name); }
  void Put(const char* name, const QByteArray& bytes) const {
    ASSERT_TRUE(WriteFileBytes(PathOf(name), bytes));
  }
  QByteArray Get(const char* name) const { return ReadFileBytes(PathOf(name)); }

  QTemporaryDir dir_;
  SettingsFiles files_{dir_.path()};
};

TEST_F(SettingsFilesTest, GeneralSettingsRoundTripAndDefaultWhenMissing) {
  ServerSettings settings;
  files_.LoadGeneralSettings(settings);
  EXPECT_EQ(settings.RefreshRate, 5);
  files_.SaveGeneralSettings(settings);
  EXPECT_EQ(Get("general.dat"), ",,5,,0\r\n,0\r\n");

  settings.RunAtStartup = settings.RunMinimized = settings.KeepLogFile = 1;
  settings.AllowMultipleLogons = 1;
  settings.EncryptionEnabled = 1;
  settings.RefreshRate = 10;
  settings.InactivityLimit = 15;
  files_.SaveGeneralSettings(settings);
  EXPECT_EQ(Get("general.dat"), "1,1,10,1,1\r\n1,15\r\n");
  ServerSettings loaded;
  files_.LoadGeneralSettings(loaded);
  EXPECT_EQ(loaded.RunAtStartup, 1.0);
  EXPECT_EQ(loaded.RunMinimized, 1.0);
  EXPECT_EQ(loaded.RefreshRate, 10);
  EXPECT_EQ(loaded.KeepLogFile, 1.0);
  EXPECT_EQ(loaded.EncryptionEnabled, 1);
  EXPECT_EQ(loaded.AllowMultipleLogons, 1.0);
  EXPECT_EQ(loaded.InactivityLimit, 15);

  // An empty file, or an empty refresh field, gives refresh 0.
  for (const QByteArray& content : {QByteArray(""), QByteArray("1,0,,1,0\r\n0,3\r\n")}) {
    Put("general.dat", content);
    files_.LoadGeneralSettings(loaded);
    EXPECT_EQ(loaded.RefreshRate, 0) << content.constData();
  }
}

TEST_F(SettingsFilesTest, AGeneralFieldThatFailsEndsItsLineButNotTheNext) {
  // 40000 does not fit EncryptionEnabled; 99999 does not fit InactivityLimit.
  Put("general.dat", "1,1,20,40000,1\r\n1,99999\r\n");
  ServerSettings settings;
  files_.LoadGeneralSettings(settings);
  EXPECT_EQ(settings.RefreshRate, 20);
  EXPECT_EQ(settings.KeepLogFile, 40000.0);  // a plain number takes any value
  EXPECT_EQ(settings.EncryptionEnabled, 1);
  EXPECT_EQ(settings.AllowMultipleLogons, 1.0);
  EXPECT_EQ(settings.InactivityLimit, 0);

  Put("general.dat", "1,1,abc,1,1\r\n1,7\r\n");
  ServerSettings failed;
  files_.LoadGeneralSettings(failed);
  EXPECT_EQ(failed.RunMinimized, 1.0);
  EXPECT_EQ(failed.RefreshRate, 5);            // the failing field: unchanged
  EXPECT_FALSE(failed.KeepLogFile);            // after it: unchanged
  EXPECT_EQ(failed.AllowMultipleLogons, 1.0);  // the next line still loads
  EXPECT_EQ(failed.InactivityLimit, 7);
}

TEST_F(SettingsFilesTest, ListeningAndWebPortsLoadSaveAndDelete) {
  ServerSettings settings;
  EXPECT_FALSE(files_.LoadNetworkSettings(settings));
  settings.ListenPort = 8080;
  files_.SaveNetworkSettings(settings);
  EXPECT_EQ(Get("network.dat"), "8080\r\n");
  ServerSettings loaded;
  EXPECT_TRUE(files_.LoadNetworkSettings(loaded));
  EXPECT_EQ(loaded.ListenPort, 8080);
  Put("network.dat", "-5\r\n");
  EXPECT_TRUE(files_.LoadNetworkSettings(loaded));
  EXPECT_EQ(loaded.ListenPort, -5);
  Put("network.dat", "0\r\n");
  EXPECT_FALSE(files_.LoadNetworkSettings(loaded));
  for (const QByteArray& content : {QByteArray("40000\r\n"), QByteArray(""), QByteArray("x\r\n")}) {
    Put("network.dat", content);
    loaded.ListenPort = 1234;
    EXPECT_FALSE(files_.LoadNetworkSettings(loaded)) << content.constData();
    EXPECT_EQ(loaded.ListenPort, 1234);
  }
  settings.ListenPort = 0;
  files_.SaveNetworkSettings(settings);
  EXPECT_FALSE(QFile::exists(PathOf("network.dat")));

  // The web port has the same format, ports beyond 16 bits too; unusable ones mean off.
  WebSettingsFile web(dir_.path());
  settings.WebPort = 50443;
  web.Save(settings);
  EXPECT_EQ(ReadFileBytes(web.FilePath()), "50443\r\n");
  EXPECT_TRUE(web.Load(loaded));
  EXPECT_EQ(loaded.WebPort, 50443);
  for (const QByteArray& content : {QByteArray("0\r\n"), QByteArray("70000\r\n"),
                                    QByteArray("-5\r\n"), QByteArray("\"x\"\r\n")}) {
    ASSERT_TRUE(WriteFileBytes(web.FilePath(), content));
    EXPECT_FALSE(web.Load(loaded)) << content.constData();
  }
  settings.WebPort = 0;
  web.Save(settings);
  EXPECT_FALSE(QFile::exists(web.FilePath()));
  loaded.WebPort = 9000;
  EXPECT_FALSE(web.Load(loaded));
  EXPECT_EQ(loaded.WebPort, 0);
}

TEST_F(SettingsFilesTest, DatabaseListRoundTripsAndDropsEntriesWithoutAFile) {
  const QString sales = PathOf("sales.mdb");
  const QString stock = PathOf("stock.mdb");
  ASSERT_TRUE(WriteFileBytes(sales, "") && WriteFileBytes(stock, ""));
  const PublishedList list = {{"sales.mdb", sales}, {"stock.mdb", stock}};
  files_.SaveDatabaseList(list);
  const QByteArray stockLine = "\"stock.mdb\",\"" + QFile::encodeName(stock) + "\"\r\n";
  EXPECT_EQ(Get("database.dat"),
            "\"sales.mdb\",\"" + QFile::encodeName(sales) + "\"\r\n" + stockLine);
  PublishedList loaded = {{"old", "old"}};
  EXPECT_TRUE(files_.LoadDatabaseList(loaded));
  EXPECT_EQ(loaded, list);
  QFile::remove(sales);
  EXPECT_TRUE(files_.LoadDatabaseList(loaded));
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].name, "stock.mdb");

  // A broken second line keeps the first entry; an empty file is no list; saving an
  // empty list deletes the file.
  Put("database.dat", stockLine + "\"x.mdb\"");
  EXPECT_FALSE(files_.LoadDatabaseList(loaded));
  EXPECT_EQ(loaded, (PublishedList{{"stock.mdb", stock}}));
  Put("database.dat", "");
  EXPECT_FALSE(files_.LoadDatabaseList(loaded));
  EXPECT_TRUE(loaded.empty());
  files_.SaveDatabaseList({});
  EXPECT_FALSE(QFile::exists(PathOf("database.dat")));
}

TEST_F(SettingsFilesTest, WindowPlacementRoundTripsUnderADecimalCommaLocale) {
  ServerSettings settings;
  EXPECT_FALSE(files_.LoadWindowPlacement(settings));
  files_.SaveWindowPlacement(settings);
  EXPECT_EQ(Get("User.dat"), ",\r\n0,\r\n");

  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  settings.WindowTop = 1500;
  settings.WindowLeft = 2257.5;
  settings.WindowWidth = 9600;
  settings.WindowHeight = 7200;
  files_.SaveWindowPlacement(settings);
  EXPECT_EQ(Get("User.dat"), "1500,2257.5\r\n9600,7200\r\n");
  ServerSettings loaded;
  EXPECT_TRUE(files_.LoadWindowPlacement(loaded));
  EXPECT_EQ(loaded.WindowLeft, 2257.5);
  EXPECT_EQ(loaded.WindowHeight, 7200.0);

  // An unreadable file changes nothing.
  Put("User.dat", "100,200\r\n");
  EXPECT_FALSE(files_.LoadWindowPlacement(loaded));
  EXPECT_EQ(loaded.WindowTop, 1500.0);
}

TEST(SequentialRecords, NumbersUseADecimalPointWithoutExponentWhateverTheLocale) {
  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  SequentialWriter writer;
  writer.WriteText(QString::fromUtf8("Caf\u00e9.mdb"));
  writer.WriteNumber(SettingNumber());
  writer.WriteInteger(-12);
  for (double value : {1234.5, -0.25, -0.0, 1e20, 1e-7}) writer.WriteNumber(value);
  writer.EndRecord();
  EXPECT_EQ(writer.bytes(),
            "\"Caf\xe9.mdb\",,-12,1234.5,-0.25,0,100000000000000000000,0.0000001\r\n");
  SequentialReader reader("1234.5,1\r\n");
  SettingNumber number;
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 1234.5);
}

TEST(SequentialReader, ReadsFieldsAcrossCommasAndLineEnds) {
  SequentialReader reader(" \"a, b\" ,  12 ,\r\n\"x\"\ny\r\"\xe9\",\r\n5,");
  QString text;
  SettingNumber number;
  int16_t small = -1;
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, "a, b");
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 12.0);
  ASSERT_TRUE(reader.ReadInt16(small));  // the empty field before the line end
  EXPECT_EQ(small, 0);
  for (const char* expected : {"x", "y", "\xc3\xa9"}) {
    ASSERT_TRUE(reader.ReadText(text));
    EXPECT_EQ(text, QString::fromUtf8(expected));
  }
  ASSERT_TRUE(reader.ReadNumber(number));  // empty: nothing
  EXPECT_FALSE(number.has_value());
  ASSERT_TRUE(reader.ReadInt16(small));
  EXPECT_EQ(small, 5);
  EXPECT_FALSE(reader.AtEnd());  // a comma promises one more field
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.ReadText(text));
  EXPECT_TRUE(reader.failed_past_end());
}

TEST(SequentialReader, IntegersRoundHalfToEvenAndAFailedFieldIsConsumed) {
  SequentialReader reader("2.5,3.5,-2.5,32767,-32768,40000,-32769,abc,1e3\r\n");
  int16_t value = 0;
  for (int16_t want : {2, 4, -2, 32767, -32768}) {
    ASSERT_TRUE(reader.ReadInt16(value));
    EXPECT_EQ(value, want);
  }
  for (int failing = 0; failing < 3; ++failing) {
    value = 77;
    EXPECT_FALSE(reader.ReadInt16(value));
    EXPECT_FALSE(reader.failed_past_end());
    EXPECT_EQ(value, 77);
  }
  ASSERT_TRUE(reader.ReadInt16(value));
  EXPECT_EQ(value, 1000);
}

TEST(SequentialReader, AnUnterminatedQuoteIsAReadErrorThatKeepsTheTarget) {
  SequentialReader reader("\"abc,def\r\n");
  QString text = "kept";
  EXPECT_FALSE(reader.ReadText(text));
  EXPECT_EQ(text, "kept");
}

}  // namespace
}  // namespace corvane::test
