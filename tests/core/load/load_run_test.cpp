// The load generator against a real headless server: handshake, logon, opening, the
// closed-loop run and what it counts.
#include "load_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "process_memory.h"
#include "support/file_bytes.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::load {
namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  EXPECT_TRUE(corvane::testing::WriteFileBytes(path, bytes)) << path.toStdString();
}

class LoadRunTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (server_.state() != QProcess::NotRunning) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

  // A server with one table of five records; `encryption` is the setting's value.
  void StartServer(int encryption) {
    ASSERT_TRUE(dir_.isValid());
    const quint16 port = test::FreeListenPort();
    ASSERT_NE(port, 0);
    WriteFile(Path("network.dat"), QByteArray::number(port) + "\r\n");
    WriteFile(Path("general.dat"), "0,0,5,0," + QByteArray::number(encryption) + "\r\n1,0\r\n");
    testing::ExecOnFile(Path("items.db"),
                        "CREATE TABLE Items (id INTEGER PRIMARY KEY, name VARCHAR(20));"
                        "INSERT INTO Items (name) VALUES ('a'), ('b'), ('c'), ('d'), ('e');");
    WriteFile(Path("database.dat"), "\"items.db\",\"" + Path("items.db").toUtf8() + "\"\r\n");
    QProcess admin;
    admin.start(QStringLiteral(CORVANE_SERVER_PATH),
                {QStringLiteral("--dir"), dir_.path(), QStringLiteral("--add-user"),
                 QStringLiteral("bench"), QStringLiteral("pw")});
    ASSERT_TRUE(admin.waitForFinished(10000));
    target_.port = port;
    target_.user = "bench";
    target_.password = "pw";
    target_.privateKey = admin.readAllStandardOutput().trimmed().toInt();
    target_.timeoutMs = 5000;

    server_.start(QStringLiteral(CORVANE_SERVER_PATH),
                  {QStringLiteral("--headless"), QStringLiteral("--dir"), dir_.path()});
    ASSERT_TRUE(server_.waitForStarted(5000));
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    while (!output.contains("Server Started") && timer.elapsed() < 10000) {
      server_.waitForReadyRead(100);
      output += server_.readAllStandardOutput();
    }
    ASSERT_TRUE(output.contains("Server Started")) << output.toStdString();
  }

  RunResult Run(const WorkloadSpec& spec, const RunLimits& limits) {
    LoadRun run(target_, spec, limits);
    run.Prepare();
    return run.Measure();
  }

  QTemporaryDir dir_;
  QProcess server_;
  LoadTarget target_;
};

TEST_F(LoadRunTest, NextRunsEveryClientThroughTheTableEnciphered) {
  StartServer(1);
  RunLimits limits;
  limits.clients = 3;
  limits.seconds = 0;
  limits.warmupSeconds = 0;
  limits.requests = 10;
  RunResult result = Run({}, limits);

  EXPECT_TRUE(result.encrypted);
  EXPECT_EQ(result.requests, 30);
  EXPECT_EQ(result.errors, 0);
  EXPECT_TRUE(result.failure.isEmpty()) << result.failure.toStdString();
  // From the first record: four "Next" to the last, "EOF", then "First" and five more.
  EXPECT_EQ(result.replyWords["EOF"], 3);
  EXPECT_EQ(result.replyWords["Data"], 27);
  EXPECT_EQ(result.latency.Count(), 30u);
  EXPECT_GT(result.latency.Percentile(0.5), 0);
  EXPECT_GT(result.RequestsPerSecond(), 0.0);
}

TEST_F(LoadRunTest, TimedRunKeepsClientsBusyUntilTheEnd) {
  StartServer(0);
  RunLimits limits;
  limits.clients = 2;
  limits.seconds = 0.3;
  limits.warmupSeconds = 0.1;
  WorkloadSpec spec;
  spec.kind = WorkloadKind::kSendTheData;
  RunResult result = Run(spec, limits);

  EXPECT_FALSE(result.encrypted);
  EXPECT_GT(result.requests, 10);
  EXPECT_NEAR(result.seconds, 0.3, 0.05);
  EXPECT_EQ(result.errors, 0);
  // Requests answered during the warm-up are not counted.
  EXPECT_GT(result.replyWords["Data"], result.requests);
}

TEST_F(LoadRunTest, UpdatesChangeEachClientsOwnRecord) {
  StartServer(0);
  RunLimits limits;
  limits.clients = 3;
  limits.seconds = 0;
  limits.warmupSeconds = 0;
  limits.requests = 3;
  WorkloadSpec spec;
  spec.kind = WorkloadKind::kUpdate;
  RunResult result = Run(spec, limits);

  EXPECT_EQ(result.requests, 9);
  EXPECT_EQ(result.errors, 0) << result.replyWords.size();
  // Three updates each toggle the name three times: changed; records 4 and 5 untouched.
  const QString db = Path("items.db");
  EXPECT_EQ(testing::QueryOnFile(db,
                                 "SELECT group_concat(name, ',') FROM "
                                 "(SELECT name FROM Items ORDER BY id)")
                .toString(),
            QStringLiteral("ax,bx,cx,d,e"));
}

TEST_F(LoadRunTest, HoldOpensTheSetsAndSendsNothing) {
  StartServer(0);
  RunLimits limits;
  limits.clients = 2;
  limits.seconds = 0;
  WorkloadSpec spec;
  spec.kind = WorkloadKind::kHold;
  LoadRun run(target_, spec, limits);
  run.Prepare();
  const std::optional<int64_t> rss = ResidentKib(static_cast<pid_t>(server_.processId()));
  ASSERT_TRUE(rss.has_value());
  EXPECT_GT(*rss, 0);
  const RunResult result = run.Measure();
  EXPECT_EQ(result.requests, 0);
  EXPECT_TRUE(result.replyWords.empty());
  EXPECT_FALSE(ResidentKib(-1).has_value());
}

TEST_F(LoadRunTest, RefusedLogonAndMissingTableStopThePreparation) {
  StartServer(1);
  RunLimits limits;
  target_.password = "wrong";
  LoadRun refused(target_, {}, limits);
  try {
    refused.Prepare();
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const LoadError& error) {
    EXPECT_NE(std::string(error.what()).find("PassDenied"), std::string::npos) << error.what();
  }

  target_.password = "pw";
  WorkloadSpec spec;
  spec.table = 5;
  LoadRun missing(target_, spec, limits);
  EXPECT_THROW(missing.Prepare(), LoadError);
}

}  // namespace
}  // namespace corvane::load
