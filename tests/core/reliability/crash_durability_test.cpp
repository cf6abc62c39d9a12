// A real server process killed with SIGKILL while a client adds and updates records: after
// the kill every change the client saw acknowledged is in the file, and the file is sound.
// The same for the user store while users are being saved.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <random>

#include "client/corvane_client.h"
#include "support/file_bytes.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  EXPECT_TRUE(WriteFileBytes(path, bytes)) << path.toStdString();
}

class CrashDurabilityTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void TearDown() override {
    if (server_.state() != QProcess::NotRunning) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

  // Exit code of an admin run, or -1 when it was killed or did not finish.
  int RunAdmin(const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess admin;
    admin.start(QStringLiteral(CORVANE_SERVER_PATH),
                QStringList{QStringLiteral("--dir"), dir_.path()} + arguments);
    if (!admin.waitForFinished(10000) || admin.exitStatus() != QProcess::NormalExit) return -1;
    if (output) *output = admin.readAllStandardOutput().trimmed();
    return admin.exitCode();
  }

  void Prepare() {
    port_ = FreeListenPort();
    WriteFile(Path("network.dat"), QByteArray::number(port_) + "\r\n");
    // Refresh 5 s, no log file, encryption off; multiple logons, no inactivity limit.
    WriteFile(Path("general.dat"), "0,0,5,0,0\r\n1,0\r\n");
    QByteArray key;
    ASSERT_EQ(RunAdmin({QStringLiteral("--add-user"), QStringLiteral("demo"), QStringLiteral("pw")},
                       &key),
              0);
    key_ = key.toInt();
    ExecOnFile(Path("items.db"),
               QStringLiteral("CREATE TABLE Items (ItemID INTEGER PRIMARY KEY AUTOINCREMENT, "
                              "Name VARCHAR(40), Qty LONG)"));
    WriteFile(Path("database.dat"), "\"items.db\",\"" + Path("items.db").toUtf8() + "\"\r\n");
  }

  void StartServer() {
    output_.clear();
    server_.start(QStringLiteral(CORVANE_SERVER_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--dir"), dir_.path()});
    ASSERT_TRUE(server_.waitForStarted(5000));
    QElapsedTimer timer;
    timer.start();
    while (!output_.contains("Server Started") && timer.elapsed() < 10000 &&
           server_.state() == QProcess::Running) {
      server_.waitForReadyRead(100);
      output_ += server_.readAllStandardOutput();
    }
    ASSERT_TRUE(output_.contains("Server Started")) << output_.toStdString();
  }

  void Kill() {
    server_.kill();  // SIGKILL
    ASSERT_TRUE(server_.waitForFinished(5000));
  }

  std::unique_ptr<CorvaneClient> LoggedOnWithItems() {
    auto client = std::make_unique<CorvaneClient>(5000);
    EXPECT_TRUE(client->Connect(QStringLiteral("127.0.0.1"), port_));
    const auto logon = client->Logon("demo", "pw", key_);
    EXPECT_TRUE(logon && logon->word == "Accepted");
    const auto fields = client->Request("RequestTheTable", {"0", "0"});
    EXPECT_TRUE(fields && fields->word == "Fields");
    return client;
  }

  QTemporaryDir dir_;
  QProcess server_;
  QByteArray output_;
  quint16 port_ = 0;
  int32_t key_ = 0;
};

TEST_F(CrashDurabilityTest, AcknowledgedAddsAndUpdatesSurviveSigkill) {
  Prepare();
  StartServer();
  auto client = LoggedOnWithItems();

  // Item i is added with Qty i, then updated to Qty 10 i. What the client saw acknowledged:
  QMap<QString, int> acknowledged;
  constexpr int kChanges = 200;
  for (int i = 1; 2 * i <= kChanges; ++i) {
    const QByteArray name = "item " + QByteArray::number(i);
    const auto added = client->Request("Add", {"", name, QByteArray::number(i)});
    ASSERT_TRUE(added && added->word == "Data") << i;
    acknowledged[QString::fromLatin1(name)] = i;
    const auto updated =
        client->Request("Update", {added->fields.value(1), name, QByteArray::number(10 * i)});
    ASSERT_TRUE(updated && updated->word == "Data") << i;
    acknowledged[QString::fromLatin1(name)] = 10 * i;
  }
  // More changes on the wire, unacknowledged, when the server dies.
  for (int i = 0; i < 20; ++i) client->Send("Add", {"", "in flight", "1"});
  Kill();

  const QString file = Path("items.db");
  EXPECT_EQ(QueryOnFile(file, QStringLiteral("PRAGMA integrity_check")).toString(),
            QStringLiteral("ok"));
  for (auto it = acknowledged.cbegin(); it != acknowledged.cend(); ++it) {
    EXPECT_EQ(
        QueryOnFile(file, QStringLiteral("SELECT Qty FROM Items WHERE Name = '%1'").arg(it.key()))
            .toInt(),
        it.value())
        << it.key().toStdString();
  }
  EXPECT_EQ(QueryOnFile(file, QStringLiteral("SELECT count(*) FROM Items WHERE Name <> "
                                             "'in flight'"))
                .toInt(),
            kChanges / 2);

  // The restarted server serves the same records.
  StartServer();
  auto again = LoggedOnWithItems();
  const auto last = again->Request("Last");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->word, "Data");
}

TEST_F(CrashDurabilityTest, UserStoreStaysSoundWhenSavesAreKilled) {
  std::mt19937 random(7);
  QStringList saved;
  for (int i = 0; i < 12; ++i) {
    const QString name = QStringLiteral("USER%1").arg(i);
    QProcess admin;
    admin.start(QStringLiteral(CORVANE_SERVER_PATH),
                {QStringLiteral("--dir"), dir_.path(), QStringLiteral("--add-user"), name,
                 QStringLiteral("pw")});
    ASSERT_TRUE(admin.waitForStarted(5000));
    // Kill some of them at a random moment of their run.
    if (i % 2 == 1) {
      QThread::msleep(std::uniform_int_distribution<int>(0, 60)(random));
      admin.kill();
    }
    admin.waitForFinished(10000);
    if (admin.exitStatus() == QProcess::NormalExit && admin.exitCode() == 0) saved << name;
  }
  ASSERT_FALSE(saved.isEmpty());
  EXPECT_EQ(QueryOnFile(Path("registry.db"), QStringLiteral("PRAGMA integrity_check")).toString(),
            QStringLiteral("ok"));
  QByteArray listing;
  ASSERT_EQ(RunAdmin({QStringLiteral("--list-users")}, &listing), 0);
  for (const QString& name : saved) {
    EXPECT_TRUE(listing.contains(name.toLatin1() + '\t')) << name.toStdString();
  }
}

}  // namespace
}  // namespace corvane::test
