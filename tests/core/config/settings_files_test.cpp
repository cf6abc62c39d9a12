// The settings files: their record format, what they hold after a save, what a load
// makes of them, and what it keeps when a file is missing or cannot be read.
#include "config/settings_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "config/postgres_settings_file.h"
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

TEST_F(SettingsFilesTest, GeneralSettingsRoundTripDefaultWhenMissingAndKeepLinesApart) {
  ServerSettings settings;
  files_.LoadGeneralSettings(settings);
  files_.SaveGeneralSettings(settings);
  EXPECT_EQ(Get("general.dat"), ",,5,,0\r\n,0\r\n");
  settings.RunMinimized = settings.KeepLogFile = settings.AllowMultipleLogons = 1;
  settings.EncryptionEnabled = 1;
  settings.RefreshRate = 10;
  settings.InactivityLimit = 15;
  files_.SaveGeneralSettings(settings);
  EXPECT_EQ(Get("general.dat"), ",1,10,1,1\r\n1,15\r\n");
  ServerSettings loaded;
  files_.LoadGeneralSettings(loaded);
  EXPECT_EQ(loaded.RefreshRate, 10);
  EXPECT_EQ(loaded.EncryptionEnabled, 1);
  EXPECT_EQ(loaded.InactivityLimit, 15);
  // A field that fails ends its line, not the next; an empty refresh field gives 0.
  Put("general.dat", "1,1,abc,1,1\r\n1,7\r\n");
  ServerSettings failed;
  files_.LoadGeneralSettings(failed);
  EXPECT_EQ(failed.RunMinimized, 1.0);
  EXPECT_EQ(failed.RefreshRate, 5);  // the failing field: unchanged
  EXPECT_FALSE(failed.KeepLogFile);  // after it: unchanged
  EXPECT_EQ(failed.InactivityLimit, 7);
  Put("general.dat", "1,0,,1,0\r\n0,3\r\n");
  files_.LoadGeneralSettings(failed);
  EXPECT_EQ(failed.RefreshRate, 0);
}

// What docs/settings.md says of files written by hand.
TEST_F(SettingsFilesTest, HandWrittenFilesReadAsTheOperatorsGuideSays) {
  // The guide's example, then a general.dat of one line: the second line's fields are
  // nothing, so one logon per name and no inactivity check.
  Put("general.dat", "0,0,5,1,1\r\n0,10\r\n");
  ServerSettings settings;
  files_.LoadGeneralSettings(settings);
  EXPECT_EQ(settings.KeepLogFile, 1.0);
  EXPECT_EQ(settings.EncryptionEnabled, 1);
  EXPECT_EQ(settings.InactivityLimit, 10);
  Put("general.dat", "0,0,5,1,1\r\n");
  files_.LoadGeneralSettings(settings);
  EXPECT_FALSE(settings.AllowMultipleLogons);
  EXPECT_EQ(settings.InactivityLimit, 0);
  // A line end only ends the field before it: a short first line takes from the next.
  Put("general.dat", "1,1\r\n30,1,1\r\n");
  ServerSettings shortLine;
  files_.LoadGeneralSettings(shortLine);
  EXPECT_EQ(shortLine.RefreshRate, 30);
  EXPECT_EQ(shortLine.EncryptionEnabled, 1);
  EXPECT_FALSE(shortLine.AllowMultipleLogons);

  // database.dat takes its fields two at a time; an odd last one is a read error that keeps
  // the records before it.
  Put("one.db", "x");
  Put("two.db", "x");
  const QByteArray one = PathOf("one.db").toUtf8();
  const QByteArray two = PathOf("two.db").toUtf8();
  Put("database.dat", "\"One\"\r\n\"" + one + "\",\"Two\"\r\n\"" + two + "\"\r\n");
  PublishedList published;
  EXPECT_TRUE(files_.LoadDatabaseList(published));
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[1].name, "Two");
  Put("database.dat", "\"One\",\"" + one + "\"\r\n\"Two\"\r\n");
  EXPECT_FALSE(files_.LoadDatabaseList(published));
  EXPECT_EQ(published.size(), 1u);

  // User.dat: the guide's example, and one field short is ignored whole.
  Put("User.dat", "1500,3000\r\n15000,9000\r\n");
  EXPECT_TRUE(files_.LoadWindowPlacement(settings));
  EXPECT_EQ(settings.WindowTop, 1500.0);
  EXPECT_EQ(settings.WindowWidth, 15000);
  Put("User.dat", "1,2\r\n3\r\n");
  ServerSettings unplaced;
  EXPECT_FALSE(files_.LoadWindowPlacement(unplaced));
  EXPECT_FALSE(unplaced.WindowTop);

  // postgres.dat: a freshness limit of 0 or more; anything else leaves the default.
  const PostgresSettingsFile postgres(dir_.path());
  EXPECT_FALSE(postgres.LoadFreshMs());
  Put("postgres.dat", "0\r\n");
  EXPECT_EQ(postgres.LoadFreshMs(), 0);
  Put("postgres.dat", "-1\r\n");
  EXPECT_FALSE(postgres.LoadFreshMs());
}

TEST_F(SettingsFilesTest, PortsAndTheDatabaseListLoadSaveAndDelete) {
  ServerSettings settings;
  EXPECT_FALSE(files_.LoadNetworkSettings(settings));
  settings.ListenPort = 8080;
  files_.SaveNetworkSettings(settings);
  EXPECT_EQ(Get("network.dat"), "8080\r\n");
  for (const QByteArray& content :
       {QByteArray("0\r\n"), QByteArray("40000\r\n"), QByteArray("x\r\n")}) {
    Put("network.dat", content);
    EXPECT_FALSE(files_.LoadNetworkSettings(settings)) << content.constData();
  }
  settings.ListenPort = 0;
  files_.SaveNetworkSettings(settings);
  EXPECT_FALSE(QFile::exists(PathOf("network.dat")));
  // The web port has the same format, ports beyond 16 bits too; unusable ones mean off.
  WebSettingsFile web(dir_.path());
  settings.WebPort = 50443;
  web.Save(settings);
  EXPECT_EQ(ReadFileBytes(web.FilePath()), "50443\r\n");
  ServerSettings loaded;
  EXPECT_TRUE(web.Load(loaded));
  EXPECT_EQ(loaded.WebPort, 50443);
  ASSERT_TRUE(WriteFileBytes(web.FilePath(), "70000\r\n"));
  EXPECT_FALSE(web.Load(loaded));

  // The database list round-trips and drops entries without a file.
  const QString sales = PathOf("sales.mdb");
  const QString stock = PathOf("stock.mdb");
  ASSERT_TRUE(WriteFileBytes(sales, "") && WriteFileBytes(stock, ""));
  files_.SaveDatabaseList({{"sales.mdb", sales}, {"stock.mdb", stock}});
  const QByteArray stockLine = "\"stock.mdb\",\"" + QFile::encodeName(stock) + "\"\r\n";
  EXPECT_EQ(Get("database.dat"),
            "\"sales.mdb\",\"" + QFile::encodeName(sales) + "\"\r\n" + stockLine);
  QFile::remove(sales);
  PublishedList published = {{"old", "old"}};
  EXPECT_TRUE(files_.LoadDatabaseList(published));
  EXPECT_EQ(published, (PublishedList{{"stock.mdb", stock}}));
  // Saving an empty list deletes the file.
  files_.SaveDatabaseList({});
  EXPECT_FALSE(QFile::exists(PathOf("database.dat")));
}

TEST(SequentialRecords, NumbersUseADecimalPointWithoutExponentWhateverTheLocale) {
  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  SequentialWriter writer;
  writer.WriteText(QString::fromUtf8("Caf\u00e9.mdb"));
  writer.WriteNumber(SettingNumber());
  for (double value : {1234.5, -0.0, 1e20, 1e-7}) writer.WriteNumber(value);
  writer.EndRecord();
  EXPECT_EQ(writer.bytes(), "\"Caf\xe9.mdb\",,1234.5,0,100000000000000000000,0.0000001\r\n");
}

TEST(SequentialReader, ReadsFieldsAcrossCommasAndLineEndsAndRoundsHalfToEvenWhateverTheLocale) {
  const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
  SequentialReader reader(" \"a, b\" ,  12.5 ,\r\n\"x\"\ny\r,5,");
  QString text;
  SettingNumber number;
  int16_t small = -1;
  ASSERT_TRUE(reader.ReadText(text));
  EXPECT_EQ(text, "a, b");
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_EQ(number, 12.5);
  ASSERT_TRUE(reader.ReadInt16(small));  // the empty field before the line end
  EXPECT_EQ(small, 0);
  for (const char* expected : {"x", "y"}) {
    ASSERT_TRUE(reader.ReadText(text));
    EXPECT_EQ(text, expected);
  }
  ASSERT_TRUE(reader.ReadNumber(number));  // empty: nothing
  EXPECT_FALSE(number.has_value());
  ASSERT_TRUE(reader.ReadInt16(small));
  EXPECT_FALSE(reader.AtEnd());  // a comma promises one more field
  ASSERT_TRUE(reader.ReadNumber(number));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.ReadText(text));
  EXPECT_TRUE(reader.failed_past_end());

  // Integers round half to even; a failed field is consumed.
  reader = SequentialReader("2.5,3.5,40000,abc,1e3,\"open\r\n");
  int16_t value = 0;
  for (int16_t want : {2, 4}) {
    ASSERT_TRUE(reader.ReadInt16(value));
    EXPECT_EQ(value, want);
  }
  for (int failing = 0; failing < 2; ++failing) {
    EXPECT_FALSE(reader.ReadInt16(value));
    EXPECT_EQ(value, 4);  // the target keeps its value
  }
  ASSERT_TRUE(reader.ReadInt16(value));
  EXPECT_EQ(value, 1000);
  text = "kept";
  EXPECT_FALSE(reader.ReadText(text));  // an unterminated quote
  EXPECT_EQ(text, "kept");
}

}  // namespace
}  // namespace corvane::test
