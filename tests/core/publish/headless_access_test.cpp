// The headless server as a real process over a database.dat that names an Access file:
// the import is reported on its output and clients see the file under its own name.
#include <QElapsedTimer>
#include <QProcess>
#include <csignal>

#include "client/corvane_client.h"
#include "publish_fixture.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class HeadlessAccessTest : public PublishTest {
 protected:
  void TearDown() override {
    if (server_.state() != QProcess::NotRunning) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  QByteArray WaitForOutput(const QByteArray& text) {
    QElapsedTimer timer;
    timer.start();
    while (!output_.contains(text) && timer.elapsed() < 20000 &&
           server_.state() == QProcess::Running) {
      server_.waitForReadyRead(100);
      output_ += server_.readAllStandardOutput();
    }
    return output_ += server_.readAllStandardOutput();
  }

  QProcess server_;
  QByteArray output_;
};

TEST_F(HeadlessAccessTest, AnAccessFileInDatabaseDatIsImportedAndServed) {
  const QString mdb = CopyFixture("testUnicodeCompV2003.mdb", "Unicode.mdb");
  const quint16 port = FreeListenPort();
  ASSERT_NE(port, 0);
  WriteSetup({mdb}, port);
  QProcess admin;
  admin.start(QStringLiteral(CORVANE_SERVER_PATH),
              {QStringLiteral("--dir"), program_.path(), QStringLiteral("--add-user"),
               QStringLiteral("DEMO"), QStringLiteral("DEMO")});
  ASSERT_TRUE(admin.waitForFinished(10000));
  const int key = admin.readAllStandardOutput().trimmed().toInt();

  server_.start(QStringLiteral(CORVANE_SERVER_PATH),
                {QStringLiteral("--headless"), QStringLiteral("--dir"), program_.path()});
  ASSERT_TRUE(server_.waitForStarted(5000));
  const QByteArray out = WaitForOutput("Server Started");
  ASSERT_TRUE(out.contains("Server Started")) << out.constData();
  EXPECT_TRUE(out.contains("Unicode.mdb: Imported 1 table (8 rows) and 0 queries."))
      << out.constData();

  CorvaneClient client;
  ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1"), port));
  const auto logon = client.Logon("DEMO", "DEMO", key);
  ASSERT_TRUE(logon && logon->word == "Accepted");
  EXPECT_EQ(client.Request("ThankYou")->fields, QList<QByteArray>{"Unicode.mdb"});
  EXPECT_EQ(client.Request("RequestTables", {"0"})->fields, QList<QByteArray>{"Table"});
  EXPECT_EQ(client.Request("RequestTheTable", {"0", "0"})->fields.value(0), "8");

  ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
  ASSERT_TRUE(server_.waitForFinished(10000));
  EXPECT_EQ(server_.exitCode(), 0);
  // The saved list still names the Access file.
  EXPECT_EQ(Bytes(ProgramPath("database.dat")), "\"Unicode.mdb\",\"" + mdb.toUtf8() + "\"\r\n");
}

}  // namespace
}  // namespace corvane::test
