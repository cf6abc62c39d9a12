// The worked session of docs/protocol.md, replayed from the document's own bytes against a
// live server, so that the guide cannot drift from what the server sends.
//
// The session is written as blocks fenced "```replay plain" or "```replay encrypted" (the
// encryption setting), after one block fenced "```sql replay-database" that builds the
// database. In a replay block, "A>" begins the bytes client A sends and "A<" the bytes it
// must receive; lines that begin with blanks continue the bytes above; "|...|" holds the
// bytes as text and "#" begins a comment. Each client makes the handshake before its first
// request.
//
// With CORVANE_PRINT_REPLAY set, the test prints the blocks as the server answers the
// session today, for the document.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <iostream>
#include <map>
#include <memory>

#include "base/printable_bytes.h"
#include "base/text_scramble.h"
#include "client/client_frames.h"
#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"
#include "wire/cipher.h"

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
    EXPECT_TRUE(dir_.isValid());
    const QString path = dir_.filePath(QStringLiteral("shop.db"));
    ExecOnFile(path, databaseSql);
    server_.settings.EncryptionEnabled = encrypted ? 1 : 0;
    server_.settings.AllowMultipleLogons = 0;
    server_.catalogue.published = {{QStringLiteral("shop.db"), path}};
    server_.catalogue.tableLists = {{QStringLiteral("parts")}};
    server_.catalogue.queryLists = {{}};
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
  QTemporaryDir dir_;
  TestServer server_;
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

// --- Writing the blocks for the document ---

struct ScriptStep {
  char client;
  QByteArray word;
  QList<QByteArray> fields;
  int replies = 1;
};

// The worked session: two users on one table, a conflict, a find, a sort, the wizard.
const std::vector<ScriptStep>& Script() {
  static const std::vector<ScriptStep> script = {
      {'A', "Logon", {"bob", MirrorText("secret"), "10.0.0.5"}},
      {'A', "ThankYou", {}},
      {'A', "RequestTables", {"0"}},
      {'A', "RegionalFormats", {}},
      {'A', "RequestTheTable", {"0", "0"}},
      {'A', "Next", {}},
      {'B', "Logon", {"ann", MirrorText("pw"), "10.0.0.6"}},
      {'B', "RequestTheTable", {"0", "0"}},
      {'B', "Next", {}},
      {'B', "Update", {"2", "Nut M6", "$0.15", "3/1/2026 9:30:00 AM", "250"}},
      {'A', "Update", {"2", "Nut M5", "$0.12", "2/1/2026", "500"}, 2},
      {'A', "Update", {"2", "Nut M6", "$0.15", "3/1/2026 9:30:00 AM", "240"}},
      {'A', "FindFirst", {"0", "washer"}},
      {'A', "FindNext", {"0", "washer"}},
      {'A', "Sort", {"price DESC"}},
      {'A', "Next", {}},
      {'A', "RequestTablesWiz", {"0"}},
      {'A', "RequestTheFieldsWiz", {"0", "0"}},
      {'A', "CreateQuery", {"Cheap", "SELECT name, price FROM parts WHERE price < 1"}},
      {'A', "SendQueryData", {}},
      {'A', "SendQueryData", {}},
      {'A', "SendQueryData", {}},
      {'A', "SendQueryData", {}},
      {'A', "SaveQuery", {"0"}},
      {'A', "RequestQuery", {"0"}},
  };
  return script;
}

constexpr int32_t kBobKey = 12345678;
constexpr int32_t kAnnKey = 23456789;
// Any four bytes from 1 to 255 will do as a request's trailer; the guide's are these.
const QByteArray kRequestTrailer("\x11\x22\x33\x44", 4);

QByteArray MessageOf(const QByteArray& word, const QList<QByteArray>& fields) {
  QByteArray text = "\x02" + word + '\x04';
  for (const QByteArray& field : fields) text += field + '\x04';
  return text;
}

void PrintFrame(char client, char direction, const QByteArray& frame, const QByteArray& text) {
  if (frame.at(0) != '\x02') {
    std::cout << "# " << (direction == '>' ? "enciphered: " : "deciphers to: ")
              << PrintableBytes(text).toStdString() << "\n";
  }
  for (qsizetype at = 0; at < frame.size(); at += 16) {
    const QByteArray row = frame.mid(at, 16);
    QString line = QStringLiteral("   ");
    if (at == 0) {
      line[0] = QLatin1Char(client);
      line[1] = QLatin1Char(direction);
    }
    line += QString::fromLatin1(row.toHex(' ').toUpper()).leftJustified(48);
    QString shown;
    for (char c : row) shown += c >= 0x20 && c < 0x7F ? QLatin1Char(c) : QLatin1Char('.');
    std::cout << line.toStdString() << " |" << shown.toStdString() << "|\n";
  }
}

TEST(ProtocolGuideTest, PrintTheWorkedSessionForTheGuide) {
  if (!qEnvironmentVariableIsSet("CORVANE_PRINT_REPLAY")) GTEST_SKIP() << "CORVANE_PRINT_REPLAY";
  const Guide guide = ReadGuide(GuidePath());
  for (bool encrypted : {false, true}) {
    std::cout << "```replay " << (encrypted ? "encrypted" : "plain") << "\n";
    GuideServer server(guide.databaseSql, encrypted);
    std::map<char, Connection> clients;
    std::map<char, int16_t> sessionKeys;
    for (const ScriptStep& step : Script()) {
      Connection& client = clients[step.client];
      const bool first = !client.socket;
      if (first) client.socket = server.Connect(client.received);
      const int32_t privateKey = step.client == 'A' ? kBobKey : kAnnKey;
      const QByteArray text = MessageOf(step.word, step.fields);
      QByteArray frame;
      if (first) {
        frame = EncryptPayload(text, DerivedIntegerKey(LogonKey), LogonKey) + "\x03\x03\x03" +
                kRequestTrailer;
      } else if (sessionKeys[step.client] != 0) {
        frame = EncryptPayload(text, sessionKeys[step.client], privateKey) + "\x03\x03\x03" +
                kRequestTrailer;
      } else {
        frame = text + "\x03\x03\x03\x04";
      }
      PrintFrame(step.client, '>', frame, text);
      client.socket->write(frame);
      for (int n = 0; n < step.replies; ++n) {
        std::optional<ClientReply> reply;
        QByteArray before;
        const std::vector<ClientKeys> keys{
            {sessionKeys[step.client], privateKey}, {ReplyKey, privateKey}, {ReplyKey, LogonKey}};
        ASSERT_TRUE(WaitUntil(
            [&] {
              before = client.received;
              reply = TakeReplyFrame(client.received, keys);
              return reply.has_value();
            },
            5000))
            << step.word.constData();
        PrintFrame(step.client, '<', before.left(before.size() - client.received.size()),
                   reply->text);
        if (reply->word == "Accepted") sessionKeys[step.client] = reply->fields.value(0).toShort();
      }
    }
    std::cout << "```\n";
  }
}

}  // namespace
}  // namespace corvane::test
