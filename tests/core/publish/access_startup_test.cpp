// Access files named in database.dat are imported at start-up and served from the import.
#include <QDir>
#include <QFileInfo>

#include "publish_fixture.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

using AccessStartupTest = PublishTest;

TEST_F(AccessStartupTest, AnAccessFileIsServedFromItsImportUnderItsOwnName) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const QByteArray original = ReadFileBytes(mdb);
  WriteSetup({mdb});
  auto server = StartedServer();
  ASSERT_EQ(server->CatalogueLists().published.size(), 1u);
  const PublishedDatabase& entry = server->CatalogueLists().published[0];
  EXPECT_EQ(entry.name, "Unicode.mdb");
  EXPECT_EQ(entry.location, mdb);
  EXPECT_EQ(QFileInfo(entry.servedLocation).absolutePath(), ProgramPath("databases"));
  EXPECT_EQ(server->CatalogueLists().tableLists, (std::vector<QStringList>{{"Table"}}));
  EXPECT_EQ(Notes(*server), QStringList{"Unicode.mdb: Imported 1 table (8 rows) and 0 queries."});
  EXPECT_TRUE(prompts_.boxes.empty());

  // database.dat goes on naming the Access file, which was never written.
  server->SaveSettingsFiles();
  EXPECT_TRUE(ReadFileBytes(ProgramPath("database.dat")).contains(mdb.toUtf8()));
  EXPECT_EQ(ReadFileBytes(mdb), original);

  // The next start finds the unchanged file imported: no import, the same database.
  const QString served = entry.servedLocation;
  ExecOnFile(served, "UPDATE \"Table\" SET \"Unicode\" = 'kept' WHERE ID = 1");
  server.reset();
  auto again = StartedServer();
  EXPECT_EQ(again->CatalogueLists().published.at(0).servedLocation, served);
  EXPECT_TRUE(Notes(*again).isEmpty());
  EXPECT_EQ(QueryOnFile(served, "SELECT \"Unicode\" FROM \"Table\" WHERE ID = 1").toString(),
            "kept");
}

TEST_F(AccessStartupTest, ADamagedAccessFileIsWithdrawnWithOneDatabaseError) {
  // The signature of an Access file and then nothing of one.
  QByteArray damaged = ReadFileBytes(Fixture("test2V2003.mdb")).left(4096);
  damaged.replace(2048, 2048, QByteArray(2048, '\xAB'));
  const QString broken = sources_.filePath("Broken.mdb");
  ASSERT_TRUE(WriteFileBytes(broken, damaged));
  const QString sqlite = sources_.filePath("plain.db");
  ExecOnFile(sqlite, "CREATE TABLE t (x LONG)");
  WriteSetup({broken, CopyFixture("weirdObjectNames.mdb", "Good.mdb"), sqlite});
  auto server = StartedServer();
  const Catalogue& catalogue = server->CatalogueLists();
  ASSERT_EQ(catalogue.published.size(), 2u);
  EXPECT_EQ(catalogue.published[0].name, "Good.mdb");
  EXPECT_TRUE(catalogue.published[1].servedLocation.isEmpty());  // SQLite is served as it is
  EXPECT_EQ(catalogue.tableLists, (std::vector<QStringList>{{"19 MB 01 BEZAHLT ???"}, {"t"}}));
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].title, "Database Error");
  EXPECT_EQ(prompts_.boxes[0].icon, OperatorPrompts::Icon::Critical);
  EXPECT_TRUE(prompts_.boxes[0].text.startsWith("Database Error: Broken.mdb\r\r"));
  EXPECT_TRUE(prompts_.boxes[0].text.contains(broken)) << prompts_.boxes[0].text.toStdString();
  EXPECT_EQ(ReadFileBytes(broken), damaged);
  // Nothing is left of the failed import.
  for (const QString& name : QDir(ProgramPath("databases")).entryList(QDir::Files))
    EXPECT_FALSE(name.startsWith("Broken")) << name.toStdString();
}

TEST(AccessPublisherTest, AccessFilesAreKnownByTheirFirstBytesWhateverTheirName) {
  QTemporaryDir dir;
  const QString sqliteNamedMdb = dir.filePath("renamed.mdb");
  ExecOnFile(sqliteNamedMdb, "CREATE TABLE t (x LONG)");
  EXPECT_FALSE(AccessPublisher::NeedsImport(sqliteNamedMdb));
  EXPECT_FALSE(AccessPublisher::NeedsImport(dir.filePath("missing.db")));
  EXPECT_TRUE(AccessPublisher::NeedsImport(dir.filePath("missing.accdb")));
  SKIP_WITHOUT_FIXTURES();
  const QString renamed = dir.filePath("data.bin");
  ASSERT_TRUE(QFile::copy(Fixture("test2V1997.mdb"), renamed));
  EXPECT_TRUE(AccessPublisher::NeedsImport(renamed));
}

}  // namespace
}  // namespace corvane::test
