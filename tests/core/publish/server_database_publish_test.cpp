// Server databases named in database.dat: one that does not answer is reported and
// withdrawn from the clients' list, yet stays in database.dat; one whose connection text
// carries a password is refused and dropped.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "config/user_list_model.h"
#include "server/server_instance.h"
#include "support/file_bytes.h"
#include "support/recording_prompts.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

TEST(ServerDatabasePublish, AnUnreachableServerDatabaseIsWithdrawnButKeptInDatabaseDat) {
  QTemporaryDir program;
  ASSERT_TRUE(program.isValid());
  const QString file = program.filePath("shop.db");
  ExecOnFile(file, "CREATE TABLE items (id INTEGER PRIMARY KEY)");
  // Nothing listens on port 1: the connection is refused at once.
  const QByteArray down = "postgresql://127.0.0.1:1/stock";
  const QByteArray secret = "postgresql://ann:pw@127.0.0.1:1/stock";
  const QByteArray list = "\"shop.db\",\"" + file.toUtf8() + "\"\r\n\"Stock\",\"" + down +
                          "\"\r\n\"Secret\",\"" + secret + "\"\r\n";
  ASSERT_TRUE(WriteFileBytes(program.filePath("database.dat"), list));
  ASSERT_TRUE(WriteFileBytes(program.filePath("network.dat"), "5000\r\n"));
  RecordingPrompts prompts;
  {
    ServerInstance server(program.path(), prompts, HostIdentity{"HOST", "127.0.0.1"});
    UserListModel users;
    users.Append({"ANN", "PW1", "12345678"});
    server.Users().SaveUsers(users);
    ASSERT_EQ(server.RunStartup(), StartupBranch::kReady);
    ASSERT_EQ(server.CatalogueLists().published.size(), 1u);
    EXPECT_EQ(server.CatalogueLists().published[0].name, "shop.db");
    ASSERT_EQ(prompts.boxes.size(), 2u);
    EXPECT_TRUE(prompts.boxes[0].text.startsWith("Database Error: Stock"));
    EXPECT_TRUE(prompts.boxes[1].text.contains(".pgpass"));
    // Checked again (a saved setup): still down, reported again, still kept once.
    server.RunDatabaseCheck();
    EXPECT_EQ(server.CatalogueLists().published.size(), 1u);
    server.SaveSettingsFiles();
  }
  const QByteArray saved = ReadFileBytes(program.filePath("database.dat"));
  EXPECT_EQ(saved.count(down), 1) << saved.constData();
  EXPECT_FALSE(saved.contains("ann:pw")) << saved.constData();
}

}  // namespace
}  // namespace corvane::test
