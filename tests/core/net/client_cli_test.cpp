#include <gtest/gtest.h>

#include <QProcess>

#include "client/event_wait.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

// Runs the command-line client against the in-process server; the server keeps serving
// while the test waits for the process.
QString RunClient(TestServer& server, const QStringList& arguments, int* exitCode) {
  QProcess process;
  QStringList all{"--host",    server.host(), "--port", QString::number(server.port()),
                  "--timeout", "2000"};
  all += arguments;
  process.start(QStringLiteral(CORVANE_CLIENT_PATH), all);
  EXPECT_TRUE(WaitUntil([&] { return process.state() == QProcess::NotRunning; }, 20000));
  *exitCode = process.exitCode();
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

TEST(ClientCliTest, RunsASequenceOfCommandsAndEndsARefusedLogonWithItsOwnCode) {
  TestServer server;
  server.catalogue.published = {{"Orders.mdb", "/data/Orders.mdb"}};
  server.catalogue.tableLists = {{"Customers", "Parts"}};
  ASSERT_TRUE(server.Start());
  int exitCode = -1;
  const QString output = RunClient(server,
                                   {"--user", "bob", "--password", "secret", "--key", "12345678",
                                    "ThankYou", ",", "RequestTables", "0"},
                                   &exitCode);
  EXPECT_EQ(exitCode, 0) << output.toStdString();
  EXPECT_TRUE(output.contains("< Accepted (enciphered) [000]")) << output.toStdString();
  EXPECT_TRUE(output.contains("< Databases [Orders.mdb]")) << output.toStdString();
  EXPECT_TRUE(output.contains("<STX>Tables<EOT>Customers<EOT>Parts<EOT>")) << output.toStdString();
  // A refused logon ends with its own code.
  const QString refused = RunClient(
      server, {"--user", "nobody", "--password", "x", "--key", "1", "ThankYou"}, &exitCode);
  EXPECT_EQ(exitCode, 3);
  EXPECT_TRUE(refused.contains("< UserDenied")) << refused.toStdString();
}

}  // namespace
}  // namespace corvane::test
