// Server databases named in database.dat: one that does not answer is reported and
// withdrawn from the clients' list, yet stays in database.dat in its place; one whose
// connection text carries a password is refused and dropped.
#include <gtest/gtest.h>

#include "server/server_instance.h"
#include "support/file_bytes.h"
#include "support/program_folder.h"
#include "support/recording_prompts.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

// A server database that is down keeps its place in database.dat between the databases
// around it, however often the list is checked and saved (also a second name for the same
// server); a damaged file before it is dropped (a file that cannot be read is not kept)
// without moving it, and so is one whose connection text carries a password.
TEST(ServerDatabasePublish, AWithdrawnServerDatabaseKeepsItsPlaceInDatabaseDat) {
  ProgramFolder folder;
  ExecOnFile(folder.Path("a.db"), "CREATE TABLE a (id INTEGER PRIMARY KEY)");
  ExecOnFile(folder.Path("c.db"), "CREATE TABLE c (id INTEGER PRIMARY KEY)");
  ASSERT_TRUE(WriteFileBytes(folder.Path("damaged.db"), QByteArray(4096, 'x')));
  folder.Write({{"Damaged", folder.Path("damaged.db")},
                {"A", folder.Path("a.db")},
                {"Down", "postgresql://127.0.0.1:1/stock"},
                {"C", folder.Path("c.db")},
                {"Down too", "postgresql://127.0.0.1:1/stock"},
                {"Secret", "postgresql://ann:pw@127.0.0.1:1/stock"}});
  auto server = folder.NewServer();
  ASSERT_EQ(ProgramFolder::Start(*server), StartupBranch::kReady);
  QStringList boxes;
  for (const auto& box : folder.prompts.boxes) boxes << box.text;
  ASSERT_EQ(boxes.size(), 4) << boxes.join('\n').toStdString();
  EXPECT_TRUE(boxes[0].startsWith("Database Error: Damaged\r\r"));
  EXPECT_TRUE(boxes[1].startsWith("Database Error: Down\r\r"));
  EXPECT_TRUE(boxes[1].contains("could not be reached"));
  EXPECT_TRUE(boxes[3].startsWith("Database Error: Secret\r\r"));
  EXPECT_TRUE(boxes[3].contains(".pgpass"));
  const PublishedList& published = server->CatalogueLists().published;
  ASSERT_EQ(published.size(), 2u);
  EXPECT_EQ(published[0].name, "A");
  EXPECT_EQ(published[1].name, "C");
  server->SaveSettingsFiles();
  EXPECT_EQ(folder.SavedNames(), (QStringList{"A", "Down", "C", "Down too"}));
  ProgramFolder::Check(*server);
  server->SaveSettingsFiles();
  EXPECT_EQ(folder.SavedNames(), (QStringList{"A", "Down", "C", "Down too"}));
  EXPECT_EQ(folder.prompts.boxes.size(), 4u + 2u);  // the check tells of the two again
  EXPECT_FALSE(ReadFileBytes(folder.Path("database.dat")).contains("ann:pw"));
  // The activity list says once that it does not answer, not at each check.
  const QStringList events = ProgramFolder::Events(*server);
  EXPECT_EQ(ProgramFolder::Count(events, "Server database Down does not answer"), 1)
      << events.join('\n').toStdString();
}

}  // namespace
}  // namespace corvane::test
