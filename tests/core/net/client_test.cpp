// The reference client: how it reads what the server sends, and its command line run
// against a server.
#include <gtest/gtest.h>

#include <QProcess>

#include "base/printable_bytes.h"
#include "client/client_frames.h"
#include "client/event_wait.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

const QByteArray kEot("\x04");
const QByteArray kEnd("\x03\x03\x03");

TEST(ClientFramesTest, RedirectMessage) {
  EXPECT_EQ(ParseRedirect(kEot + "4321" + kEot + kEnd), std::optional<quint16>(4321));
  EXPECT_EQ(ParseRedirect(kEot + "0" + kEot + kEnd), std::optional<quint16>(0));
  EXPECT_FALSE(ParseRedirect(kEot + "4321" + kEot + "\x03\x03"));
  EXPECT_FALSE(ParseRedirect("4321" + kEot + kEnd));
  EXPECT_FALSE(ParseRedirect(kEot + "99999" + kEot + kEnd));
}

TEST(ClientFramesTest, PlainFramesOneAfterTheOther) {
  QByteArray buffer =
      "\x02Tables" + kEot + "a" + kEot + kEot + kEnd + kEot + "\x02" + "EOF" + kEot + kEnd;
  const auto first = TakeReplyFrame(buffer, {});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->word, "Tables");
  EXPECT_EQ(first->fields, (QList<QByteArray>{"a", ""}));
  // The second one still lacks its trailer.
  EXPECT_FALSE(TakeReplyFrame(buffer, {}));
  buffer += kEot;
  const auto second = TakeReplyFrame(buffer, {});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->word, "EOF");
  EXPECT_TRUE(buffer.isEmpty());
}

TEST(ClientFramesTest, ControlCharactersArePrintedByName) {
  const char bytes[] = {'\x02', 'D', 'a', 't', 'a', '\x04', '\x03', '\x7F', '\0', 'x'};
  EXPECT_EQ(PrintableBytes(QByteArray(bytes, sizeof bytes)), "<STX>Data<EOT><ETX><DEL><NUL>x");
  EXPECT_EQ(PrintableBytes("\x80\xE9"), QString::fromUtf8("€é"));
}

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

// A sequence of commands, the extension request among them; a word the server does not know
// (as "RegionalFormats" is to an older server) gets "(no reply)" and the client goes on.
TEST(ClientCliTest, RunsASequenceOfCommandsAndEndsARefusedLogonWithItsOwnCode) {
  TestServer server;
  server.catalogue.Replace({{{"Orders.mdb", "/data/Orders.mdb"}}, {{"Customers", "Parts"}}, {}});
  ASSERT_TRUE(server.Start());
  int exitCode = -1;
  const QString output =
      RunClient(server,
                {"--user", "bob", "--password", "secret", "--key", "12345678", "RegionalFormats",
                 ",", "NoSuchWord", ",", "ThankYou", ",", "RequestTables", "0"},
                &exitCode);
  EXPECT_EQ(exitCode, 0) << output.toStdString();
  EXPECT_TRUE(output.contains("< Accepted (enciphered) [000]")) << output.toStdString();
  EXPECT_TRUE(output.contains("< RegionalFormats [M/d/yyyy | 12/31/2026 | "))
      << output.toStdString();
  EXPECT_TRUE(output.contains("> NoSuchWord\n  (no reply)\n> ThankYou")) << output.toStdString();
  EXPECT_TRUE(output.contains("< Databases [Orders.mdb]")) << output.toStdString();
  EXPECT_TRUE(output.contains("<STX>Tables<EOT>Customers<EOT>Parts<EOT>")) << output.toStdString();
  const QString refused = RunClient(
      server, {"--user", "nobody", "--password", "x", "--key", "1", "ThankYou"}, &exitCode);
  EXPECT_EQ(exitCode, 3);
  EXPECT_TRUE(refused.contains("< UserDenied")) << refused.toStdString();
}

}  // namespace
}  // namespace corvane::test
