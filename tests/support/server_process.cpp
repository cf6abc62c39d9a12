#include "support/server_process.h"

#include <QElapsedTimer>

#include "support/file_bytes.h"
#include "support/test_server.h"

namespace corvane::test {

ServerRun RunServer(const QStringList& arguments, int timeoutMs) {
  QProcess process;
  process.start(QStringLiteral(CORVANE_SERVER_PATH), arguments);
  ServerRun run;
  if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput();
  run.err = process.readAllStandardError();
  return run;
}

void ServerProcessTest::TearDown() {
  if (server_.state() != QProcess::NotRunning) {
    server_.kill();
    server_.waitForFinished(5000);
  }
}

void ServerProcessTest::WriteSetup(const QStringList& databases) {
  port_ = FreeListenPort();
  ASSERT_TRUE(WriteFileBytes(Path("network.dat"), QByteArray::number(port_) + "\r\n"));
  const ServerRun added = Run({"--add-user", "demo", "pw"});
  ASSERT_EQ(added.exitCode, 0) << added.err.constData();
  key_ = added.out.trimmed().toInt();
  QByteArray list;
  for (const QString& name : databases) {
    list += '"' + name.toUtf8() + "\",\"" + Path(name).toUtf8() + "\"\r\n";
  }
  ASSERT_TRUE(WriteFileBytes(Path("database.dat"), list));
}

void ServerProcessTest::StartServer(const QStringList& arguments) {
  output_.clear();
  server_.start(QStringLiteral(CORVANE_SERVER_PATH),
                QStringList{"--headless", "--dir", dir_.path()} + arguments);
  ASSERT_TRUE(server_.waitForStarted(5000));
  ASSERT_TRUE(WaitForOutput("Server Started").contains("Server Started")) << output_.constData();
}

QByteArray ServerProcessTest::WaitForOutput(const QByteArray& text, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!output_.contains(text) && timer.elapsed() < timeoutMs &&
         server_.state() == QProcess::Running) {
    server_.waitForReadyRead(100);
    output_ += server_.readAllStandardOutput();
  }
  return output_ += server_.readAllStandardOutput();
}

std::unique_ptr<CorvaneClient> ServerProcessTest::LoggedOn() {
  return LoggedOnClient(port_, "demo", "pw", key_, 5000);
}

}  // namespace corvane::test
