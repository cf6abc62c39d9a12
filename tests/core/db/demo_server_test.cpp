// The headless server as a real process over the sample database of the demo: the
// start-up's database check fills the lists, and a client browses and edits.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "db_session_fixture.h"

namespace corvane::testing {
namespace {

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

class DemoServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    sample_ = Path(QStringLiteral("sample.db"));
    QFile sql(QStringLiteral(CORVANE_SOURCE_DIR "/data/sample.sql"));
    ASSERT_TRUE(sql.open(QIODevice::ReadOnly));
    ExecOnFile(sample_, QString::fromUtf8(sql.readAll()));
    // A published file that is no database: reported and withdrawn at start-up.
    WriteAll(Path(QStringLiteral("broken.db")), QByteArray(4096, 'x'));
    port_ = test::FreeListenPort();
    WriteAll(Path(QStringLiteral("network.dat")), QByteArray::number(port_) + "\r\n");
    WriteAll(Path(QStringLiteral("database.dat")),
             "\"broken.db\",\"" + Path(QStringLiteral("broken.db")).toUtf8() + "\"\r\n" +
                 "\"sample.db\",\"" + sample_.toUtf8() + "\"\r\n");
    QProcess admin;
    admin.start(QStringLiteral(CORVANE_SERVER_PATH),
                {QStringLiteral("--dir"), dir_.path(), QStringLiteral("--add-user"),
                 QStringLiteral("DEMO"), QStringLiteral("DEMO")});
    ASSERT_TRUE(admin.waitForFinished(10000));
    key_ = admin.readAllStandardOutput().trimmed().toInt();
    server_.start(QStringLiteral(CORVANE_SERVER_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--dir"), dir_.path()});
    ASSERT_TRUE(server_.waitForStarted(5000));
  }

  void TearDown() override {
    if (server_.state() != QProcess::NotRunning) {
      server_.terminate();
      if (!server_.waitForFinished(5000)) server_.kill();
    }
  }

  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

  std::unique_ptr<CorvaneClient> LoggedOn() {
    auto client = std::make_unique<CorvaneClient>(5000);
    QElapsedTimer timer;
    timer.start();
    while (!client->Connect(QStringLiteral("127.0.0.1"), port_) && timer.elapsed() < 10000) {
      server_.waitForReadyRead(100);
    }
    const auto reply = client->Logon("DEMO", "DEMO", key_);
    EXPECT_TRUE(reply && reply->word == "Accepted");
    return client;
  }

  QTemporaryDir dir_;
  QString sample_;
  quint16 port_ = 0;
  int32_t key_ = 0;
  QProcess server_;
};

TEST_F(DemoServerTest, ANewcomerBrowsesAndEditsTheSampleDatabase) {
  auto client = LoggedOn();
  ASSERT_EQ(client->Request("ThankYou")->fields, QList<QByteArray>{"sample.db"});
  EXPECT_EQ(client->Request("RequestTables", {"0"})->fields,
            (QList<QByteArray>{"Customers", "Products", "Orders"}));
  EXPECT_EQ(client->Request("RequestQuery", {"0"})->fields,
            (QList<QByteArray>{"Products In Stock", "Customers In London"}));
  const auto fields = client->Request("RequestTheTable", {"0", "0"});
  EXPECT_EQ(fields->fields.mid(0, 3), (QList<QByteArray>{"120", "CustomerID", "CompanyName"}));
  EXPECT_EQ(client->Request("Next")->fields.mid(0, 3),
            (QList<QByteArray>{"2", "2", "Birch Provisions"}));
  auto shown = client->Request("SendTheData")->fields;
  shown[5] = "Mexico City";
  EXPECT_EQ(client->Request("Update", shown.mid(1))->fields.value(5), "Mexico City");
  EXPECT_EQ(QueryOnFile(sample_, QStringLiteral("SELECT Country FROM Customers WHERE "
                                                "CustomerID = 2"))
                .toString(),
            "Mexico City");
  EXPECT_EQ(client->Request("FindFirst", {"0", "Dogwood"})->fields.mid(0, 4),
            (QList<QByteArray>{"2", "4", "4", "Dogwood Traders"}));
  EXPECT_EQ(client->Request("Sort", {"CompanyName DESC"})->fields.value(0), "1");
  const QByteArray out = server_.readAllStandardOutput() + server_.readAllStandardError();
  EXPECT_TRUE(out.contains("Database Error")) << out.constData();
}

}  // namespace
}  // namespace corvane::testing
