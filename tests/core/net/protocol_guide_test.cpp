// The worked session of docs/protocol.md, replayed from the document's own bytes against a
// live server, so that the guide cannot drift from what the server sends.
//
// The session is written as blocks fenced "```replay plain" or "```replay encrypted" (the
// encryption setting), after one block fenced "```sql replay-database" that builds the
// database. In a replay block, "A>" begins the bytes client A sends and "A<" the bytes it
// must receive; lines that begin with blanks continue the bytes above; "|...|" holds the
// bytes as text and "#" begins a comment. Each client makes the handshake before its first
// request. When the server's answers change on purpose, the blocks are written anew by the
// printer this file held until the tests were trimmed (see its history).
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <map>
#include <memory>

#include "base/printable_bytes.h"
#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "config/registry_store.h"
#include "config/user_store.h"
#include "server/command_line.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

struct Step {
  char client = 'A';
  bool fromClient = true;
  QByteArray bytes;
};

struct ReplayBlock {
  bool encrypted = false;
  std::vector<Step> steps;
};

struct Guide {
  QString databaseSql;
  std::vector<ReplayBlock> blocks;
};

// The fenced blocks of the guide that the replay reads.
Guide ReadGuide(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  Guide guide;
  enum class In { kNothing, kOther, kSql, kReplay } in = In::kNothing;
  static const QRegularExpression kStepStart(QStringLiteral("^([A-Z])([<>])(.*)$"));
  for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
    if (line.startsWith(QLatin1String("```"))) {
      const QString info = line.mid(3).trimmed();
      if (in != In::kNothing) {
        in = In::kNothing;
      } else if (info == QLatin1String("sql replay-database")) {
        in = In::kSql;
      } else if (info.startsWith(QLatin1String("replay "))) {
        in = In::kReplay;
        guide.blocks.push_back({info == QLatin1String("replay encrypted"), {}});
      } else {
        in = In::kOther;
      }
      continue;
    }
    if (in == In::kSql) guide.databaseSql += line + QLatin1Char('\n');
    if (in != In::kReplay) continue;
    QString bytesText = line.section(QLatin1Char('|'), 0, 0);
    if (bytesText.trimmed().isEmpty() || bytesText.trimmed().startsWith(QLatin1Char('#'))) continue;
    std::vector<Step>& steps = guide.blocks.back().steps;
    if (const QRegularExpressionMatch start = kStepStart.match(bytesText); start.hasMatch()) {
      steps.push_back(
          {start.captured(1)[0].toLatin1(), start.captured(2) == QLatin1String(">"), {}});
      bytesText = start.captured(3);
    } else {
      EXPECT_TRUE(line.startsWith(QLatin1Char(' ')) && !steps.empty()) << line.toStdString();
    }
    for (const QString& hex : bytesText.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      bool ok = false;
      const uint value = hex.toUInt(&ok, 16);
      EXPECT_TRUE(ok && hex.size() == 2) << line.toStdString();
      if (!steps.empty()) steps.back().bytes.append(static_cast<char>(value));
    }
  }
  return guide;
}

// The users, database and regional settings of the worked session.
class GuideServer {
 public:
  GuideServer(const QString& databaseSql, bool encrypted) {
    const QString path = dir_.filePath(QStringLiteral("shop.db"));
    ExecOnFile(path, databaseSql);
    server_.settings.EncryptionEnabled = encrypted ? 1 : 0;
    server_.settings.AllowMultipleLogons = 0;
    server_.catalogue.Replace(
        {{{QStringLiteral("shop.db"), path}}, {{QStringLiteral("parts")}}, {{}}});
    EXPECT_TRUE(server_.Start());
  }

  // A connection to a slot of the server, made with the handshake.
  std::unique_ptr<QTcpSocket> Connect(QByteArray& received) {
    CorvaneClient handshake(5000);
    const std::optional<quint16> port = handshake.RequestSlotPort(server_.host(), server_.port());
    EXPECT_TRUE(port && *port != 0);
    auto socket = std::make_unique<QTcpSocket>();
    QObject::connect(socket.get(), &QTcpSocket::readyRead,
                     [&received, s = socket.get()] { received += s->readAll(); });
    socket->connectToHost(server_.host(), port.value_or(0));
    EXPECT_TRUE(
        WaitUntil([&] { return socket->state() == QAbstractSocket::ConnectedState; }, 5000));
    return socket;
  }

 private:
  // The guide's users, made by the command line's own admin action in this process (a fork
  // beside the server's threads would blind the thread checker).
  static bool MakeUsers(const QTemporaryDir& dir) {
    QString text;
    QTextStream out(&text);
    for (const QStringList& user :
         {QStringList{"bob", "secret", "12345678"}, {"ann", "pw", "23456789"}}) {
      const auto parsed = ParseCommandLine({"--add-user", user[0], user[1], "--key", user[2]});
      EXPECT_EQ(RunAdminAction(parsed.options, dir.path(), out, out), 0) << text.toStdString();
    }
    return dir.isValid();
  }

  QTemporaryDir dir_;
  bool usersMade_ = MakeUsers(dir_);
  RegistryStore registry_{dir_.path()};
  UserStore store_{registry_, dir_.path()};
  TestServer server_{{}, QLocale(QLocale::English, QLocale::UnitedStates), &store_};
};

struct Connection {
  QByteArray received;
  std::unique_ptr<QTcpSocket> socket;
};

QString GuidePath() { return QStringLiteral(CORVANE_SOURCE_DIR "/docs/protocol.md"); }

TEST(ProtocolGuideTest, TheWorkedSessionReplaysByteForByte) {
  const Guide guide = ReadGuide(GuidePath());
  ASSERT_FALSE(guide.databaseSql.trimmed().isEmpty());
  ASSERT_EQ(guide.blocks.size(), 2u);
  EXPECT_FALSE(guide.blocks[0].encrypted);
  EXPECT_TRUE(guide.blocks[1].encrypted);
  for (const ReplayBlock& block : guide.blocks) {
    SCOPED_TRACE(block.encrypted ? "encrypted" : "plain");
    ASSERT_GT(block.steps.size(), 20u);
    GuideServer server(guide.databaseSql, block.encrypted);
    std::map<char, Connection> clients;
    int number = 0;
    for (const Step& step : block.steps) {
      SCOPED_TRACE(::testing::Message() << "step " << ++number << " of client " << step.client);
      Connection& client = clients[step.client];
      if (!client.socket) client.socket = server.Connect(client.received);
      if (step.fromClient) {
        client.socket->write(step.bytes);
        client.socket->flush();
        continue;
      }
      ASSERT_TRUE(WaitUntil([&] { return client.received.size() >= step.bytes.size(); }, 5000))
          << "expected " << PrintableBytes(step.bytes).toStdString() << ", received "
          << PrintableBytes(client.received).toStdString();
      EXPECT_EQ(PrintableBytes(client.received.left(step.bytes.size())).toStdString(),
                PrintableBytes(step.bytes).toStdString());
      ASSERT_EQ(client.received.left(step.bytes.size()).toHex(' '), step.bytes.toHex(' '));
      client.received.remove(0, step.bytes.size());
    }
    // Nothing came that the guide does not show.
    WaitUntil([] { return false; }, 200);
    for (const auto& [name, client] : clients) {
      EXPECT_TRUE(client.received.isEmpty())
          << name << ": " << PrintableBytes(client.received).toStdString();
    }
  }
}

}  // namespace
}  // namespace corvane::test
