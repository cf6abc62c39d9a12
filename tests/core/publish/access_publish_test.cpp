// Access files named in database.dat: imported at start-up, served from the import under
// their own names to clients that browse and update them, and never written themselves.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include "client/corvane_client.h"
#include "config/user_list_model.h"
#include "server/server_instance.h"
#include "support/access_fixtures.h"
#include "support/file_bytes.h"
#include "support/recording_prompts.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

// A server in a temporary program directory whose database.dat names Access files
// copied from the third-party fixtures, with the operator's message boxes recorded.
class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }

  QString ProgramPath(const QString& name) const { return program_.filePath(name); }

  // A writable copy of a fixture among the operator's files.
  QString CopyFixture(const QString& fixture, const QString& name) {
    const QString path = sources_.filePath(name);
    EXPECT_TRUE(QFile::copy(Fixture(fixture), path)) << fixture.toStdString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
  }

  // database.dat with one entry per file, and network.dat.
  void WriteSetup(const QStringList& published, quint16 port = 5000) {
    QByteArray list;
    for (const QString& path : published)
      list += "\"" + QFileInfo(path).fileName().toUtf8() + "\",\"" + path.toUtf8() + "\"\r\n";
    ASSERT_TRUE(WriteFileBytes(ProgramPath("database.dat"), list));
    ASSERT_TRUE(WriteFileBytes(ProgramPath("network.dat"), QByteArray::number(port) + "\r\n"));
  }

  // A server that ran its start-up over the program directory, with the user ANN.
  std::unique_ptr<ServerInstance> StartedServer() {
    auto server = std::make_unique<ServerInstance>(program_.path(), prompts_,
                                                   HostIdentity{"HOST", "127.0.0.1"});
    server->SetConversionChild(ServerConversion());
    UserListModel users;
    users.Append({"ANN", "PW1", "12345678"});
    server->Users().SaveUsers(users);
    EXPECT_EQ(server->RunStartup(), StartupBranch::kReady);
    return server;
  }

  // The free-text rows of the activity list.
  static QStringList Notes(ServerInstance& server) {
    QStringList notes;
    const ActivityRowsModel& rows = server.ActivityRows();
    for (int i = 0; i < rows.rowCount(); ++i) notes << rows.Row(i).event;
    return notes;
  }

  QTemporaryDir program_;
  QTemporaryDir sources_;
  RecordingPrompts prompts_;
};

TEST_F(PublishTest, AnAccessFileIsServedFromItsImportUnderItsOwnName) {
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

TEST_F(PublishTest, AClientBrowsesAndUpdatesTheImportedDatabase) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const QByteArray original = ReadFileBytes(mdb);
  const quint16 port = FreeListenPort();
  WriteSetup({mdb, CopyFixture("queryTestV2003.mdb", "Queries.mdb")}, port);
  auto server = StartedServer();
  server->Slots().StartListening();
  const QString served = server->CatalogueLists().published.at(0).servedLocation;

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
  EXPECT_EQ(
      QueryOnFile(served, "SELECT \"Unicode\" FROM \"Table\" WHERE ID = " + shown[1]).toString(),
      "Written by a handheld");
  EXPECT_EQ(ReadFileBytes(mdb), original);

  // The saved select query of the other file opens as a query of the published database.
  EXPECT_EQ(client.Request("RequestQuery", {"1"})->fields, QList<QByteArray>{"SelectQuery"});
  EXPECT_EQ(client.Request("RequestTheQuery", {"1", "0"}).value_or(ClientReply{}).word, "Fields");
  client.Disconnect();
  server->Slots().FreeEverySlot(FreeReason::kShutdown);
  server->Slots().CloseListener();
}

// queryTestV2003.mdb with the WHERE clause of its saved select query replaced, as a hostile
// file would have it: the same number of UTF-16 units, so that the file stays readable.
QByteArray WithWhereClause(const QString& where) {
  const QString original =
      QStringLiteral("(((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))");
  const auto utf16 = [](const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
  };
  QByteArray bytes = ReadFileBytes(Fixture("queryTestV2003.mdb"));
  const qsizetype at = bytes.indexOf(utf16(original));
  EXPECT_GE(at, 0);
  EXPECT_EQ(bytes.indexOf(utf16(original), at + 1), -1);
  EXPECT_LE(where.size(), original.size());
  bytes.replace(at, original.size() * 2, utf16(where.leftJustified(original.size())));
  return bytes;
}

TEST_F(PublishTest, ASavedQueryWithMoreThanOneStatementRunsNothingAndIsSkipped) {
  // The server runs in its program folder, as the systemd unit starts it, where the user
  // store is "registry.db".
  const QString hostile = sources_.filePath("Hostile.mdb");
  ASSERT_TRUE(WriteFileBytes(
      hostile, WithWhereClause("1;ATTACH'registry.db'AS p;DELETE FROM p.registry_values--")));
  WriteSetup({hostile});
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(program_.path()));
  auto server = StartedServer();
  QDir::setCurrent(previous);
  EXPECT_TRUE(server->Users().UserExists("ANN"));
  // The tables are served; the query is not, and the summary counts it among the skipped.
  ASSERT_EQ(server->CatalogueLists().published.size(), 1u);
  EXPECT_EQ(server->CatalogueLists().tableLists.at(0).size(), 3);
  EXPECT_TRUE(server->CatalogueLists().queryLists.at(0).isEmpty());
  ASSERT_EQ(Notes(*server).size(), 1);
  EXPECT_TRUE(Notes(*server)[0].contains("and 0 queries; skipped"))
      << Notes(*server)[0].toStdString();
}

TEST_F(PublishTest, AnImportIsNoMoreReadableThanItsAccessFile) {
  const QString mdb = CopyFixture("test2V2003.mdb", "Private.mdb");  // mode 0600
  WriteSetup({mdb});
  auto server = StartedServer();
  ASSERT_EQ(server->CatalogueLists().published.size(), 1u);
  const QFileInfo served(server->CatalogueLists().published[0].servedLocation);
  ASSERT_TRUE(served.exists());
  EXPECT_EQ(served.permissions() &
                (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
            QFile::Permissions());
}

}  // namespace
}  // namespace corvane::test
