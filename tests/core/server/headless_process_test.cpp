// The headless server run as a real process: start-up branches, one instance per
// directory, serving a client over the demo's sample database, and the shutdown that
// SIGTERM runs.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "client/corvane_client.h"
#include "support/file_bytes.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

class HeadlessServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  void TearDown() override {
    if (server_.state() != QProcess::NotRunning) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

  // Runs an admin action to completion and returns its stdout.
  QByteArray RunAdmin(const QStringList& arguments) {
    QProcess admin;
    admin.start(QStringLiteral(CORVANE_SERVER_PATH),
                QStringList{QStringLiteral("--dir"), dir_.path()} + arguments);
    EXPECT_TRUE(admin.waitForFinished(10000));
    EXPECT_EQ(admin.exitCode(), 0) << admin.readAllStandardError().toStdString();
    return admin.readAllStandardOutput().trimmed();
  }

  void PrepareComplete() {
    port_ = FreeListenPort();
    WriteFileBytes(Path("network.dat"), QByteArray::number(port_) + "\r\n");
    key_ = RunAdmin({QStringLiteral("--add-user"), QStringLiteral("demo"), QStringLiteral("pw")});
    // The demo's sample database, and a published file that is no database: reported and
    // withdrawn at start-up.
    ExecOnFile(
        Path("sample.db"),
        QString::fromUtf8(ReadFileBytes(QStringLiteral(CORVANE_SOURCE_DIR "/data/sample.sql"))));
    WriteFileBytes(Path("broken.db"), QByteArray(4096, 'x'));
    WriteFileBytes(Path("database.dat"), "\"broken.db\",\"" + Path("broken.db").toUtf8() +
                                             "\"\r\n\"sample.db\",\"" + Path("sample.db").toUtf8() +
                                             "\"\r\n");
  }

  void StartServer() {
    server_.start(QStringLiteral(CORVANE_SERVER_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--dir"), dir_.path()});
    ASSERT_TRUE(server_.waitForStarted(5000));
  }

  // Waits until the server's stdout holds `text`; returns everything read so far.
  QByteArray WaitForOutput(const QByteArray& text, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!output_.contains(text) && timer.elapsed() < timeoutMs &&
           server_.state() == QProcess::Running) {
      server_.waitForReadyRead(100);
      output_ += server_.readAllStandardOutput();
    }
    output_ += server_.readAllStandardOutput();
    return output_;
  }

  // Runs the server to its end and returns the exit code.
  int RunToEnd(const QStringList& extra = {}) {
    QProcess process;
    process.start(
        QStringLiteral(CORVANE_SERVER_PATH),
        QStringList{QStringLiteral("--headless"), QStringLiteral("--dir"), dir_.path()} + extra);
    process.waitForFinished(10000);
    errors_ = process.readAllStandardError();
    return process.exitCode();
  }

  QTemporaryDir dir_;
  QProcess server_;
  QByteArray output_;
  QByteArray errors_;
  quint16 port_ = 0;
  QByteArray key_;
};

TEST_F(HeadlessServerTest, IncompleteSetupNamesWhatIsMissingAndExitsWithTwo) {
  EXPECT_EQ(RunToEnd(), 2);
  EXPECT_TRUE(errors_.contains("network.dat")) << errors_.toStdString();

  WriteFileBytes(Path("network.dat"), "0\r\n");
  EXPECT_EQ(RunToEnd(), 2);
  EXPECT_TRUE(errors_.contains("network.dat"));

  WriteFileBytes(Path("network.dat"), "5123\r\n");
  EXPECT_EQ(RunToEnd(), 2);
  EXPECT_TRUE(errors_.contains("--add-user")) << errors_.toStdString();

  RunAdmin({QStringLiteral("--add-user"), QStringLiteral("bob"), QStringLiteral("pw")});
  EXPECT_EQ(RunToEnd(), 2);
  EXPECT_TRUE(errors_.contains("database.dat")) << errors_.toStdString();
  // Nothing was written back by a start that could not serve.
  EXPECT_FALSE(QFile::exists(Path("general.dat")));
  EXPECT_FALSE(QFile::exists(Path("User.dat")));
}

TEST_F(HeadlessServerTest, MissingDirectoryIsRefused) {
  QProcess process;
  process.start(QStringLiteral(CORVANE_SERVER_PATH),
                {QStringLiteral("--headless"), QStringLiteral("--dir"), Path("nowhere")});
  ASSERT_TRUE(process.waitForFinished(10000));
  EXPECT_EQ(process.exitCode(), 1);
}

TEST_F(HeadlessServerTest, ServesPrintsRowsAndShutsDownCleanlyOnSigterm) {
  PrepareComplete();
  StartServer();
  ASSERT_TRUE(WaitForOutput("Server Started").contains("Server Started"));

  // A second server on the same directory ends at once.
  EXPECT_EQ(RunToEnd(), 1);
  EXPECT_TRUE(errors_.contains("already running")) << errors_.toStdString();

  CorvaneClient client;
  ASSERT_TRUE(client.Connect(QStringLiteral("127.0.0.1"), port_));
  const auto logon = client.Logon("demo", "pw", key_.toInt());
  ASSERT_TRUE(logon.has_value());
  EXPECT_EQ(logon->word, "Accepted");
  const auto databases = client.Request("ThankYou");
  ASSERT_TRUE(databases.has_value());
  EXPECT_EQ(databases->word, "Databases");
  EXPECT_EQ(databases->fields, QList<QByteArray>{"sample.db"});
  // A newcomer browses and edits the sample database.
  EXPECT_EQ(client.Request("RequestTables", {"0"})->fields,
            (QList<QByteArray>{"Customers", "Products", "Orders"}));
  EXPECT_EQ(client.Request("RequestQuery", {"0"})->fields,
            (QList<QByteArray>{"Products In Stock", "Customers In London"}));
  EXPECT_EQ(client.Request("RequestTheTable", {"0", "0"})->fields.mid(0, 3),
            (QList<QByteArray>{"120", "CustomerID", "CompanyName"}));
  EXPECT_EQ(client.Request("Next")->fields.mid(0, 3),
            (QList<QByteArray>{"2", "2", "Birch Provisions"}));
  auto shown = client.Request("SendTheData")->fields;
  shown[5] = "Mexico City";
  EXPECT_EQ(client.Request("Update", shown.mid(1))->fields.value(5), "Mexico City");
  EXPECT_EQ(client.Request("FindFirst", {"0", "Dogwood"})->fields.mid(0, 4),
            (QList<QByteArray>{"2", "4", "4", "Dogwood Traders"}));
  EXPECT_EQ(client.Request("Sort", {"CompanyName DESC"})->fields.value(0), "1");
  EXPECT_TRUE(WaitForOutput("New User").contains("New User     demo     Remote IP: "));

  ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
  ASSERT_TRUE(server_.waitForFinished(10000));
  EXPECT_EQ(server_.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server_.exitCode(), 0);
  output_ += server_.readAllStandardOutput();
  EXPECT_TRUE(output_.contains("Server Shutdown"));
  EXPECT_TRUE((output_ + server_.readAllStandardError()).contains("Database Error"));

  // The confirmed exit writes the three settings files, then the unload writes User.dat.
  EXPECT_EQ(ReadFileBytes(Path("network.dat")), QByteArray::number(port_) + "\r\n");
  EXPECT_EQ(ReadFileBytes(Path("general.dat")), ",,5,,0\r\n,0\r\n");
  EXPECT_EQ(ReadFileBytes(Path("database.dat")),
            "\"sample.db\",\"" + Path("sample.db").toUtf8() + "\"\r\n");
  EXPECT_EQ(ReadFileBytes(Path("User.dat")), ",\r\n0,\r\n");

  // The lock went with the process: the directory can be served again, and a killed
  // server's lock does not block the next start either.
  for (int run = 0; run < 2; ++run) {
    output_.clear();
    StartServer();
    ASSERT_TRUE(WaitForOutput("Server Started").contains("Server Started")) << run;
    server_.kill();
    ASSERT_TRUE(server_.waitForFinished(5000));
  }
}

}  // namespace
}  // namespace corvane::test
