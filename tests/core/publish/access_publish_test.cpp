// Access files named in database.dat: imported at start-up, served from the import under
// their own names to clients that browse and update them, and never written themselves.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "server/server_instance.h"
#include "support/access_fixtures.h"
#include "support/file_bytes.h"
#include "support/program_folder.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

// A server in a temporary program folder whose database.dat names Access files copied
// from the third-party fixtures, with the operator's message boxes recorded.
class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }

  // A writable copy of a fixture among the operator's files.
  QString CopyFixture(const QString& fixture, const QString& name) {
    const QString path = sources_.filePath(name);
    EXPECT_TRUE(QFile::copy(Fixture(fixture), path)) << fixture.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }

  // database.dat naming each file by its file name.
  void WriteSetup(const QStringList& published, quint16 port = 5000) {
    std::vector<std::pair<QString, QString>> entries;
    for (const QString& path : published) entries.emplace_back(QFileInfo(path).fileName(), path);
    folder_.Write(entries, port);
  }

  std::unique_ptr<ServerInstance> StartedServer() {
    auto server = folder_.NewServer();
    server->SetConversionChild(ServerConversion());
    EXPECT_EQ(ProgramFolder::Start(*server), StartupBranch::kReady);
    return server;
  }

  static QStringList Notes(ServerInstance& server) { return ProgramFolder::Events(server); }

  ProgramFolder folder_;
  QTemporaryDir sources_;
  RecordingPrompts& prompts_ = folder_.prompts;
};

TEST_F(PublishTest, AnAccessFileIsServedFromItsImportAndImportedAgainOnlyOnceChanged) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const QByteArray original = ReadFileBytes(mdb);
  const quint16 port = FreeListenPort();
  WriteSetup({mdb, CopyFixture("queryTestV2003.mdb", "Queries.mdb")}, port);
  auto server = StartedServer();
  ASSERT_EQ(server->CatalogueLists().published.size(), 2u);
  const PublishedDatabase entry = server->CatalogueLists().published[0];
  const QString served = entry.servedLocation;
  EXPECT_EQ(entry.name, "Unicode.mdb");
  EXPECT_EQ(entry.location, mdb);
  EXPECT_EQ(QFileInfo(served).absolutePath(), folder_.Path("databases"));
  EXPECT_TRUE(QFileInfo(served).fileName().startsWith("Unicode")) << served.toStdString();
  EXPECT_EQ(server->CatalogueLists().tableLists.at(0), QStringList{"Table"});
  EXPECT_EQ(Notes(*server).value(0), "Unicode.mdb: Imported 1 table (8 rows) and 0 queries.");
  EXPECT_TRUE(prompts_.boxes.empty());

  // A client browses and updates the import under the Access file's name.
  server->Slots().StartListening();
  CorvaneClient client(5000);
  ASSERT_TRUE(client.Connect("127.0.0.1", port));
  ASSERT_EQ(client.Logon("ANN", "PW1", 12345678).value_or(ClientReply{}).word, "Accepted");
  EXPECT_EQ(client.Request("ThankYou")->fields, (QList<QByteArray>{"Unicode.mdb", "Queries.mdb"}));
  EXPECT_EQ(client.Request("RequestTheTable", {"0", "0"})->fields.mid(0, 3),
            (QList<QByteArray>{"8", "ID", "Unicode"}));
  auto shown = client.Request("Next")->fields;
  ASSERT_GE(shown.size(), 3);
  shown[2] = "Written by a handheld";
  EXPECT_EQ(client.Request("Update", shown.mid(1))->fields.value(2), "Written by a handheld");
  const QString written =
      "SELECT count(*) FROM \"Table\" WHERE \"Unicode\" = 'Written by a handheld'";
  EXPECT_EQ(QueryOnFile(served, written).toInt(), 1);
  // The saved select query of the other file opens as a query of the published database.
  EXPECT_EQ(client.Request("RequestQuery", {"1"})->fields, QList<QByteArray>{"SelectQuery"});
  EXPECT_EQ(client.Request("RequestTheQuery", {"1", "0"}).value_or(ClientReply{}).word, "Fields");
  client.Disconnect();
  server->Slots().FreeEverySlot(FreeReason::kShutdown);
  server->Slots().CloseListener();

  // database.dat goes on naming the Access file, which was never written.
  server->SaveSettingsFiles();
  EXPECT_TRUE(ReadFileBytes(folder_.Path("database.dat")).contains(mdb.toUtf8()));
  EXPECT_EQ(ReadFileBytes(mdb), original);

  // The next start finds the unchanged file imported: no import, the same database, and the
  // report of the import it made.
  server.reset();
  auto again = StartedServer();
  EXPECT_EQ(again->CatalogueLists().published.at(0).servedLocation, served);
  EXPECT_TRUE(Notes(*again).isEmpty());
  std::optional<PublishedAccess> reused;
  again->PrepareAccessDatabase(mdb, [&reused](const PublishedAccess& access) { reused = access; });
  ASSERT_TRUE(WaitUntil([&reused] { return reused.has_value(); }, 30000));
  EXPECT_FALSE(reused->imported);
  EXPECT_EQ(reused->report.Summary(), "Imported 1 table (8 rows) and 0 queries.");

  // A changed file goes to a new database, so that sessions on the old one are never
  // disturbed; the old one, with the client's change, is kept and named.
  again.reset();
  QFile file(mdb);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  ASSERT_TRUE(file.setFileTime(QFileInfo(mdb).lastModified().addSecs(60),
                               QFileDevice::FileModificationTime));
  file.close();
  auto changed = StartedServer();
  const QString fresh = changed->CatalogueLists().published.at(0).servedLocation;
  EXPECT_NE(fresh, served);
  EXPECT_EQ(QueryOnFile(fresh, written).toInt(), 0);
  EXPECT_EQ(QueryOnFile(served, written).toInt(), 1);
  ASSERT_EQ(Notes(*changed).size(), 1);
  EXPECT_TRUE(Notes(*changed)[0].endsWith("are kept: " + served))
      << Notes(*changed)[0].toStdString();
}

TEST_F(PublishTest, ADamagedAccessFileIsWithdrawnWithOneDatabaseError) {
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
  for (const QString& name : QDir(folder_.Path("databases")).entryList(QDir::Files))
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
