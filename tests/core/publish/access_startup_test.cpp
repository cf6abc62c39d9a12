// Access files named in database.dat are imported at start-up and served from the import.
#include <QFileInfo>

#include "engine/database.h"
#include "publish_fixture.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

using AccessStartupTest = PublishTest;

TEST_F(AccessStartupTest, AnAccessFileIsServedFromItsImportUnderItsOwnName) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const QByteArray original = Bytes(mdb);
  WriteSetup({mdb});
  auto server = StartedServer();
  const Catalogue& catalogue = server->CatalogueLists();
  ASSERT_EQ(catalogue.published.size(), 1u);
  const PublishedDatabase& entry = catalogue.published[0];
  EXPECT_EQ(entry.name, "Unicode.mdb");
  EXPECT_EQ(entry.location, mdb);
  EXPECT_EQ(QFileInfo(entry.servedLocation).absolutePath(), ProgramPath("databases"));
  EXPECT_EQ(QueryOnFile(entry.servedLocation, "SELECT count(*) FROM \"Table\"").toInt(), 8);
  EXPECT_EQ(catalogue.tableLists, (std::vector<QStringList>{{"Table"}}));
  EXPECT_EQ(Notes(*server), QStringList{"Unicode.mdb: Imported 1 table (8 rows) and 0 queries."});
  EXPECT_TRUE(prompts_.texts.isEmpty()) << prompts_.texts.join(" | ").toStdString();

  // database.dat goes on naming the Access file, which was never written.
  server->SaveSettingsFiles();
  EXPECT_TRUE(Bytes(ProgramPath("database.dat")).contains(mdb.toUtf8()));
  EXPECT_FALSE(Bytes(ProgramPath("database.dat")).contains("databases/"));
  EXPECT_EQ(Bytes(mdb), original);

  // The next start finds the unchanged file imported: no import, the same database.
  const QString served = entry.servedLocation;
  ExecOnFile(served, "UPDATE \"Table\" SET \"Unicode\" = 'kept' WHERE ID = 1");
  server.reset();
  auto again = StartedServer();
  ASSERT_EQ(again->CatalogueLists().published.size(), 1u);
  EXPECT_EQ(again->CatalogueLists().published[0].servedLocation, served);
  EXPECT_TRUE(Notes(*again).isEmpty());
  EXPECT_EQ(QueryOnFile(served, "SELECT \"Unicode\" FROM \"Table\" WHERE ID = 1").toString(),
            "kept");
}

TEST_F(AccessStartupTest, ADamagedAccessFileIsWithdrawnWithOneDatabaseError) {
  // The signature of an Access file and then nothing of one.
  QByteArray damaged = Bytes(Fixture("test2V2003.mdb")).left(4096);
  damaged.replace(2048, 2048, QByteArray(2048, '\xAB'));
  const QString broken = WriteSource("Broken.mdb", damaged);
  const QString good = CopyFixture("weirdObjectNames.mdb", "Good.mdb");
  const QString sqlite = QDir(sources_.path()).filePath("plain.db");
  ExecOnFile(sqlite, "CREATE TABLE t (x LONG)");
  WriteSetup({broken, good, sqlite});
  auto server = StartedServer();
  const Catalogue& catalogue = server->CatalogueLists();
  ASSERT_EQ(catalogue.published.size(), 2u);
  EXPECT_EQ(catalogue.published[0].name, "Good.mdb");
  EXPECT_EQ(catalogue.published[1].name, "plain.db");
  EXPECT_TRUE(catalogue.published[1].servedLocation.isEmpty());
  EXPECT_EQ(catalogue.tableLists, (std::vector<QStringList>{{"19 MB 01 BEZAHLT ???"}, {"t"}}));
  ASSERT_EQ(prompts_.texts.size(), 1);
  EXPECT_EQ(prompts_.titles[0], "Database Error");
  EXPECT_TRUE(prompts_.texts[0].startsWith("Database Error: Broken.mdb\r\r"));
  EXPECT_TRUE(prompts_.texts[0].contains(broken)) << prompts_.texts[0].toStdString();
  EXPECT_TRUE(prompts_.critical);
  EXPECT_EQ(Bytes(broken), damaged);
  // Nothing is left of the failed import.
  for (const QString& name : QDir(ProgramPath("databases")).entryList(QDir::Files))
    EXPECT_FALSE(name.startsWith("Broken")) << name.toStdString();
}

TEST_F(AccessStartupTest, SavedSelectQueriesAreListedAfterTheCheck) {
  const QString accdb = CopyFixture("badDb.accdb", "odd names.accdb");
  WriteSetup({accdb});
  auto server = StartedServer();
  const Catalogue& catalogue = server->CatalogueLists();
  ASSERT_EQ(catalogue.published.size(), 1u);
  ASSERT_EQ(catalogue.queryLists.size(), 1u);
  QStringList queries = catalogue.queryLists[0];
  queries.sort();
  EXPECT_EQ(queries, QStringList({"Query1", "q 1", "q 1 Query", "q2", "where"}));
  ASSERT_EQ(Notes(*server).size(), 1);
  EXPECT_TRUE(Notes(*server)[0].startsWith("odd names.accdb: Imported "));
  EXPECT_TRUE(Notes(*server)[0].contains("and 5 queries")) << Notes(*server)[0].toStdString();
}

TEST(AccessPublisherTest, OnlyAccessFilesGoThroughAnImport) {
  QTemporaryDir dir;
  const QString sqliteNamedMdb = dir.filePath("renamed.mdb");
  ExecOnFile(sqliteNamedMdb, "CREATE TABLE t (x LONG)");
  EXPECT_FALSE(AccessPublisher::NeedsImport(sqliteNamedMdb));
  EXPECT_FALSE(AccessPublisher::NeedsImport(dir.filePath("missing.db")));
  EXPECT_TRUE(AccessPublisher::NeedsImport(dir.filePath("missing.accdb")));
  if (!FixtureDir().isEmpty()) {
    // An Access file is known by its first bytes, whatever its name.
    const QString renamed = dir.filePath("data.bin");
    ASSERT_TRUE(QFile::copy(Fixture("test2V1997.mdb"), renamed));
    EXPECT_TRUE(AccessPublisher::NeedsImport(renamed));
  }
}

}  // namespace
}  // namespace corvane::test
