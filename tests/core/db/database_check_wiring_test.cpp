// The server's database check: real files, the operator told of unreadable ones.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "server/server_instance.h"
#include "support/file_bytes.h"
#include "support/sqlite_files.h"

namespace corvane::test {
namespace {

class RecordingPrompts : public OperatorPrompts {
 public:
  bool ConfirmOkCancel(const QString&, const QString&, Icon) override { return true; }
  void ShowMessage(const QString& text, const QString& title, Icon icon) override {
    messages << title + QStringLiteral(": ") + text;
    critical = critical && icon == Icon::Critical;
  }
  QStringList messages;
  bool critical = true;
};

TEST(DatabaseCheckWiringTest, ASavedSetupRebuildsTheListsAndWithdrawsUnreadableDatabases) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString good = QDir(dir.path()).filePath(QStringLiteral("good.db"));
  const QString bad = QDir(dir.path()).filePath(QStringLiteral("bad.db"));
  ExecOnFile(good, QStringLiteral("CREATE TABLE a (x LONG); CREATE TABLE b (y LONG); "
                                  "CREATE VIEW q AS SELECT x FROM a; "
                                  "CREATE VIEW [~hidden] AS SELECT y FROM b"));
  ASSERT_TRUE(WriteFileBytes(bad, QByteArray(2048, 'x')));

  RecordingPrompts prompts;
  ServerInstance server(dir.path(), prompts, HostIdentity{"HOST", "10.0.0.1"});
  UserListModel noUsers;
  server.ApplySetup({server.Settings(),
                     {{QStringLiteral("bad.db"), bad}, {QStringLiteral("good.db"), good}},
                     noUsers});
  server.RunDatabaseCheck();
  const Catalogue& catalogue = server.CatalogueLists();
  ASSERT_EQ(catalogue.published.size(), 1u);
  EXPECT_EQ(catalogue.published[0].name, "good.db");
  EXPECT_EQ(catalogue.tableLists, (std::vector<QStringList>{{"a", "b"}}));
  EXPECT_EQ(catalogue.queryLists, (std::vector<QStringList>{{"q"}}));
  ASSERT_EQ(prompts.messages.size(), 1);
  EXPECT_TRUE(
      prompts.messages[0].startsWith(QStringLiteral("Database Error: Database Error: bad.db")));
  EXPECT_TRUE(prompts.critical);
}

}  // namespace
}  // namespace corvane::test
