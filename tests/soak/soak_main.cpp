// Soak run: a real headless server and 99 clients doing random sessions for a while (browse,
// update, add, delete, find, sort, the wizard, disconnects in the middle of a request, logons
// with wrong passwords). Checks that every request is answered with a well-formed reply, that
// the database ends equal to the model of the acknowledged changes, and that the server's
// resident memory stops growing after the warm-up.
//
//   corvane-soak [minutes]      (default 10; fractions allowed)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "client/corvane_client.h"
#include "support/file_bytes.h"
#include "support/server_process.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

constexpr int kClients = 99;
// Past this many records the adding steps retire the oldest record instead, so that the
// table, and what every open set and page cache holds of it, stops growing: memory can
// then only keep rising through a leak.
constexpr int kSteadyRecords = 1000;

long ResidentKiB(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return -1;
}

class Soak {
 public:
  Soak(quint16 port, int32_t key) : port_(port), key_(key) {}

  void Step(std::mt19937& random) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const int k = pick(kClients);
    std::unique_ptr<CorvaneClient>& client = clients_[k];
    if (!client || !client->IsConnected()) client = Open();
    if (!client) return;
    const int action = pick(100);
    const QByteArray name = "c" + QByteArray::number(k) + "-" + QByteArray::number(++serial_);
    if (action < 30) {
      static const char* kMoves[] = {"First", "Next", "Prev", "Last", "SendTheData"};
      Ask(*client, kMoves[pick(5)]);
    } else if (action < 50 && TableCount(*client) > kSteadyRecords) {
      // Deletes the oldest record; whatever it was, it is gone once that is acknowledged.
      const auto first = Ask(*client, "First");
      if (first && first->word == "Data" && Acknowledged(Ask(*client, "Delete"), {"Data", "EOF"}))
        Settle(first->fields.value(2), std::nullopt);
    } else if (action < 50) {
      // Add, then change the quantity or delete it again.
      const int qty = 1 + pick(1000);
      uncertain_.insert(name);
      const auto added = Ask(*client, "Add", {"", name, QByteArray::number(qty)});
      if (!Acknowledged(added)) return;
      Settle(name, qty);
      if (action < 40) {
        uncertain_.insert(name);
        if (Acknowledged(Ask(*client, "Update",
                             {added->fields.value(1), name, QByteArray::number(qty + 1)})))
          Settle(name, qty + 1);
      } else if (action < 45) {
        uncertain_.insert(name);
        if (Acknowledged(Ask(*client, "Delete"))) Settle(name, std::nullopt);
      }
    } else if (action < 60) {
      Ask(*client, "FindFirst", {"0", "c" + QByteArray::number(k)});
      Ask(*client, "FindNext", {"0", "c" + QByteArray::number(k)});
    } else if (action < 67) {
      static const char* kOrders[] = {"Qty", "Name DESC", "Qty, Name", "nosuchfield"};
      Ask(*client, "Sort", {kOrders[pick(4)]});
      Ask(*client, "RequestTheTable", {"0", "0"});
    } else if (action < 75) {
      Ask(*client, "RequestTablesWiz", {"0"});
      Ask(*client, "RequestTheFieldsWiz", {"0", "0"});
      const auto created = Ask(*client, "CreateQuery",
                               {"soak" + QByteArray::number(serial_),
                                "SELECT [Name], [Qty] FROM [Stock] WHERE Qty > 500"});
      if (created && created->word == "FieldsCreateQuery") {
        Ask(*client, "SendQueryData");
        client->Send("RemoveQuery");  // no reply
      }
      Ask(*client, "RequestTheTable", {"0", "0"});
    } else if (action < 82) {
      Ask(*client, "ThankYou");
      Ask(*client, "RequestTables", {"0"});
      Ask(*client, "RequestQuery", {"0"});
    } else if (action < 90) {
      // Gone in the middle of a request: half a frame, or a whole one without waiting.
      if (action % 2) {
        client->SendRaw(QByteArray("\x02") + "Add\x04");
      } else {
        uncertain_.insert(name);
        client->Send("Add", {"", name, "7"});
      }
      client->Disconnect();
      client.reset();
    } else if (action < 95) {
      Intrude();
    } else {
      client->Send("Close");  // no reply
      Ask(*client, "RequestTheTable", {"0", "0"});
    }
    // "ErrorDB" ends the logon: the client starts over.
    if (loggedOff_) client.reset();
    loggedOff_ = false;
  }

  void Finish() { clients_.clear(); }

  long requests = 0;
  long unanswered = 0;
  long malformed = 0;
  long errorReplies = 0;
  // Acknowledged rows by name with their quantity; names whose fate is unknown (the client
  // went away before the reply) may or may not be in the file.
  QMap<QByteArray, int> rows;
  QSet<QByteArray> uncertain_;

 private:
  std::unique_ptr<CorvaneClient> Open() {
    auto client = std::make_unique<CorvaneClient>(10000);
    // All slots may be taken: departed clients wait for the next refresh to be reaped.
    if (!client->Connect(QStringLiteral("127.0.0.1"), port_)) return nullptr;
    const auto logon = client->Logon("demo", "pw", key_);
    Count(logon);
    if (!logon || logon->word != "Accepted") return nullptr;
    Ask(*client, "RequestTheTable", {"0", "0"});
    return client;
  }

  // A refused logon makes its address wait (and holds its other logons): each intruder comes
  // from a loopback address of its own, so that the clients are not held up and its one
  // refusal waits the shortest delay.
  void Intrude() {
    CorvaneClient intruder(5000);
    intruder.SetLocalAddress(QHostAddress((127u << 24) | (1u << 16) | (++intruders_ & 0xffffu)));
    if (!intruder.Connect(QStringLiteral("127.0.0.1"), port_)) return;
    const auto reply = intruder.Logon("demo", "wrong", key_);
    Count(reply);
    if (reply && reply->word != "PassDenied") ++malformed;
    // With encryption on, requests after a refused logon go enciphered with the session key
    // 0 the slot still has.
    intruder.SetEncryption(ClientEncryption::kEncrypted);
    const auto refused = intruder.Request("RequestTheTable", {"0", "0"});
    Count(refused);
    if (refused && refused->word != "UserDenied") ++malformed;
    loggedOff_ = false;
  }

  // The record count of a freshly opened set; 0 when the open failed.
  int TableCount(CorvaneClient& client) {
    const auto fields = Ask(client, "RequestTheTable", {"0", "0"});
    return fields && fields->word == "Fields" ? fields->fields.value(0).toInt() : 0;
  }

  static bool Acknowledged(const std::optional<ClientReply>& reply,
                           const QList<QByteArray>& words = {"Data"}) {
    return reply && words.contains(reply->word);
  }
  // The row's fate is known: there with this quantity, or gone.
  void Settle(const QByteArray& name, std::optional<int> qty) {
    qty ? void(rows[name] = *qty) : void(rows.remove(name));
    uncertain_.remove(name);
  }

  void Count(const std::optional<ClientReply>& reply) {
    ++requests;
    if (!reply) {
      ++unanswered;
    } else if (reply->word.isEmpty() || !reply->text.startsWith('\x02') ||
               !reply->text.endsWith('\x04')) {
      ++malformed;
    } else if (reply->word.startsWith("Error")) {
      ++errorReplies;
    }
    if (reply && (reply->word == "ErrorDB" || reply->word == "UserDenied")) loggedOff_ = true;
  }

  // After "ErrorDB" the slot is no longer logged on and the server may close it at its
  // next refresh: the client logs on again before asking more.
  std::optional<ClientReply> Ask(CorvaneClient& client, const char* word,
                                 const QList<QByteArray>& fields = {}) {
    if (loggedOff_) return std::nullopt;
    std::optional<ClientReply> reply = client.Request(word, fields);
    Count(reply);
    if (!reply) std::fprintf(stderr, "no reply to %s\n", word);
    // An "ErrorUpdate" of a write comes before the record it concerns.
    const QByteArray command(word);
    if (reply && reply->word == "ErrorUpdate" && command != "Sort" && !command.startsWith("Find")) {
      reply = client.ReadReply();
      Count(reply);
      if (reply) reply->word = "ErrorUpdate";
    }
    return reply;
  }

  quint16 port_;
  int32_t key_;
  std::vector<std::unique_ptr<CorvaneClient>> clients_ =
      std::vector<std::unique_ptr<CorvaneClient>>(kClients);
  long serial_ = 0;
  quint32 intruders_ = 0;
  bool loggedOff_ = false;
};

int Run(double minutes) {
  QTemporaryDir temp;
  const QString dir = temp.path();
  const quint16 port = FreeListenPort();
  WriteFileBytes(dir + "/network.dat", QByteArray::number(port) + "\r\n");
  WriteFileBytes(dir + "/general.dat", "0,0,5,0,1\r\n1,0\r\n");  // encryption on
  const int32_t key = RunServer({"--dir", dir, "--add-user", "demo", "pw"}).out.trimmed().toInt();
  const QString db = dir + "/stock.db";
  ExecOnFile(db, QStringLiteral("CREATE TABLE Stock (ItemID INTEGER PRIMARY KEY "
                                "AUTOINCREMENT, Name VARCHAR(40), Qty LONG)"));
  WriteFileBytes(dir + "/database.dat", "\"stock.db\",\"" + db.toUtf8() + "\"\r\n");

  QProcess server;
  server.setStandardOutputFile(QProcess::nullDevice());
  server.start(QStringLiteral(CORVANE_SERVER_PATH),
               {QStringLiteral("--headless"), QStringLiteral("--dir"), dir});
  if (!server.waitForStarted(5000)) return 2;
  QThread::msleep(1000);

  Soak soak(port, key);
  std::mt19937 random(2026);
  QElapsedTimer clock;
  clock.start();
  const qint64 total = static_cast<qint64>(minutes * 60'000);
  std::vector<long> memory;  // resident KiB, sampled about 20 times
  for (qint64 nextSample = 0; clock.elapsed() < total && server.state() == QProcess::Running;) {
    soak.Step(random);
    if (clock.elapsed() < nextSample) continue;
    memory.push_back(ResidentKiB(server.processId()));
    std::printf("t=%llds rss=%ldKiB requests=%ld\n", clock.elapsed() / 1000, memory.back(),
                soak.requests);
    std::fflush(stdout);
    nextSample += std::max<qint64>(5000, total / 20);
  }
  const bool serverAlive = server.state() == QProcess::Running;
  soak.Finish();
  server.terminate();
  server.waitForFinished(10000);

  // The file against the model.
  long wrong = 0;
  QMap<QByteArray, int> inFile;
  for (const auto& row : RowsOnFile(db, "SELECT Name, Qty FROM Stock"))
    inFile[row[0].toString().toUtf8()] = row[1].toInt();
  const QList<QByteArray> names = inFile.keys() + soak.rows.keys();
  for (const QByteArray& name : QSet<QByteArray>(names.begin(), names.end())) {
    if (!soak.uncertain_.contains(name) && inFile.value(name, -1) != soak.rows.value(name, -1))
      ++wrong;
  }
  const QString integrity = QueryOnFile(db, QStringLiteral("PRAGMA integrity_check")).toString();
  std::printf("requests %ld, unanswered %ld, malformed %ld, error replies %ld\n", soak.requests,
              soak.unanswered, soak.malformed, soak.errorReplies);
  std::printf("rows in file %lld, in model %lld (uncertain %lld): wrong %ld; integrity %s\n",
              static_cast<long long>(inFile.size()), static_cast<long long>(soak.rows.size()),
              static_cast<long long>(soak.uncertain_.size()), wrong, qPrintable(integrity));
  // Memory: the last sample against the one at a third of the run (after the warm-up).
  const long warm = memory.empty() ? 0 : memory[memory.size() / 3];
  const long last = memory.empty() ? 0 : memory.back();
  std::printf("rss after warm-up %ldKiB, at the end %ldKiB\n", warm, last);
  const bool ok = serverAlive && soak.unanswered == 0 && soak.malformed == 0 && wrong == 0 &&
                  integrity == QStringLiteral("ok") && last <= warm + warm / 10;
  std::printf("%s\n", ok ? "SOAK PASSED" : "SOAK FAILED");
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace corvane::test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const double minutes = argc > 1 ? QByteArray(argv[1]).toDouble() : 10.0;
  return corvane::test::Run(minutes > 0 ? minutes : 10.0);
}
