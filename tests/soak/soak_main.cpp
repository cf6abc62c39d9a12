// Soak run: a real headless server and 99 clients doing random sessions for a while (browse,
// update, add, delete, find, sort, the wizard, disconnects in the middle of a request, logons
// with wrong passwords). Checks that every request is answered with a well-formed reply, that
// the database ends equal to the model of the acknowledged changes, and that the server's
// resident memory stops growing after the warm-up.
//
//   corvane-soak [minutes]      (default 10; fractions allowed)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
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

struct Totals {
  long requests = 0;
  long unanswered = 0;
  long malformed = 0;
  long retired = 0;
  long errorReplies = 0;
  long disconnects = 0;
  long refusedLogons = 0;
  long connectFailures = 0;
};

// What the file must hold: acknowledged rows by name with their quantity; names whose fate
// is unknown (the client went away before the reply) may or may not be there.
struct Model {
  QMap<QByteArray, int> rows;
  QSet<QByteArray> uncertain;
};

class Soak {
 public:
  Soak(QString dir, quint16 port, int32_t key) : dir_(std::move(dir)), port_(port), key_(key) {}

  void Step(std::mt19937& random) {
    const int k = std::uniform_int_distribution<int>(0, kClients - 1)(random);
    std::unique_ptr<CorvaneClient>& client = clients_[k];
    if (!client || !client->IsConnected()) {
      client = Open();
      if (!client) return;
    }
    const int action = std::uniform_int_distribution<int>(0, 99)(random);
    const QByteArray name = "c" + QByteArray::number(k) + "-" + QByteArray::number(++serial_);
    if (action < 30) {
      static const char* kMoves[] = {"First", "Next", "Prev", "Last", "SendTheData"};
      Ask(*client, kMoves[std::uniform_int_distribution<int>(0, 4)(random)], {});
    } else if (action < 50 && TableCount(*client) > kSteadyRecords) {
      Retire(*client);
    } else if (action < 50) {
      // Add, then change the quantity, sometimes delete it again.
      const int qty = std::uniform_int_distribution<int>(1, 1000)(random);
      model_.uncertain.insert(name);
      const auto added = Ask(*client, "Add", {"", name, QByteArray::number(qty)});
      if (!added || added->word != "Data") return;
      model_.rows[name] = qty;
      model_.uncertain.remove(name);
      if (action < 40) {
        model_.uncertain.insert(name);
        const auto updated =
            Ask(*client, "Update", {added->fields.value(1), name, QByteArray::number(qty + 1)});
        if (updated && updated->word == "Data") {
          model_.rows[name] = qty + 1;
          model_.uncertain.remove(name);
        }
      } else if (action < 45) {
        model_.uncertain.insert(name);
        const auto deleted = Ask(*client, "Delete", {});
        if (deleted && deleted->word == "Data") {
          model_.rows.remove(name);
          model_.uncertain.remove(name);
        }
      }
    } else if (action < 60) {
      Ask(*client, "FindFirst", {"0", "c" + QByteArray::number(k)});
      Ask(*client, "FindNext", {"0", "c" + QByteArray::number(k)});
    } else if (action < 67) {
      static const char* kOrders[] = {"Qty", "Name DESC", "Qty, Name", "nosuchfield"};
      Ask(*client, "Sort", {kOrders[std::uniform_int_distribution<int>(0, 3)(random)]});
      Reopen(*client);
    } else if (action < 75) {
      Ask(*client, "RequestTablesWiz", {"0"});
      Ask(*client, "RequestTheFieldsWiz", {"0", "0"});
      const auto created = Ask(*client, "CreateQuery",
                               {"soak" + QByteArray::number(serial_),
                                "SELECT [Name], [Qty] FROM [Stock] WHERE Qty > 500"});
      if (created && created->word == "FieldsCreateQuery") {
        Ask(*client, "SendQueryData", {});
        Ask(*client, "RemoveQuery", {});
      }
      Reopen(*client);
    } else if (action < 82) {
      Ask(*client, "ThankYou", {});
      Ask(*client, "RequestTables", {"0"});
      Ask(*client, "RequestQuery", {"0"});
    } else if (action < 90) {
      // Gone in the middle of a request: half a frame, or a whole one without waiting.
      ++totals_.disconnects;
      if (action % 2) {
        client->SendRaw(QByteArray("\x02") + "Add\x04");
      } else {
        model_.uncertain.insert(name);
        client->Send("Add", {"", name, "7"});
      }
      client->Disconnect();
      client.reset();
    } else if (action < 95) {
      // Refused logons make their address wait (and hold its other logons): each intruder
      // comes from a loopback address of its own, so that the clients are not held up and
      // its one refusal waits the shortest delay.
      CorvaneClient intruder(5000);
      ++intruders_;
      intruder.SetLocalAddress(QHostAddress((127u << 24) | (1u << 16) | (intruders_ & 0xffffu)));
      if (intruder.Connect(QStringLiteral("127.0.0.1"), port_)) {
        const auto reply = intruder.Logon("demo", "wrong", key_);
        Count(reply);
        if (reply && reply->word == "PassDenied") ++totals_.refusedLogons;
        // With encryption on, requests after a refused logon go enciphered with the session
        // key 0 the slot still has.
        intruder.SetEncryption(ClientEncryption::kEncrypted);
        const auto refused = intruder.Request("RequestTheTable", {"0", "0"});
        Count(refused);
        if (!refused || refused->word != "UserDenied") ++totals_.malformed;
      }
    } else {
      Ask(*client, "Close", {});
      Reopen(*client);
    }
    // "ErrorDB" ends the logon: the client starts over.
    if (loggedOff_ && client) client.reset();
    loggedOff_ = false;
  }

  void Finish() {
    for (auto& client : clients_) client.reset();
  }

  const Totals& totals() const { return totals_; }
  const Model& model() const { return model_; }

 private:
  std::unique_ptr<CorvaneClient> Open() {
    auto client = std::make_unique<CorvaneClient>(10000);
    if (!client->Connect(QStringLiteral("127.0.0.1"), port_)) {
      // All slots taken (departed clients wait for the next refresh to be reaped) or no
      // answer from the listener.
      ++totals_.connectFailures;
      return nullptr;
    }
    const auto logon = client->Logon("demo", "pw", key_);
    Count(logon);
    if (!logon) std::fprintf(stderr, "no reply to Logon\n");
    if (!logon || logon->word != "Accepted") return nullptr;
    Reopen(*client);
    return client;
  }

  void Reopen(CorvaneClient& client) { Ask(client, "RequestTheTable", {"0", "0"}); }

  // The record count of a freshly opened set; 0 when the open failed.
  int TableCount(CorvaneClient& client) {
    const auto fields = Ask(client, "RequestTheTable", {"0", "0"});
    return fields && fields->word == "Fields" ? fields->fields.value(0).toInt() : 0;
  }

  // Deletes the first record of the set (the oldest); whatever it was, it is gone for sure
  // once the deletion is acknowledged.
  void Retire(CorvaneClient& client) {
    const auto first = Ask(client, "First", {});
    if (!first || first->word != "Data") return;
    const QByteArray name = first->fields.value(2);
    const auto deleted = Ask(client, "Delete", {});
    if (deleted && (deleted->word == "Data" || deleted->word == "EOF")) {
      model_.rows.remove(name);
      model_.uncertain.remove(name);
      ++totals_.retired;
    }
  }

  void Count(const std::optional<ClientReply>& reply) {
    ++totals_.requests;
    if (!reply) {
      ++totals_.unanswered;
    } else if (reply->word.isEmpty() || !reply->text.startsWith('\x02') ||
               !reply->text.endsWith('\x04')) {
      ++totals_.malformed;
    } else if (reply->word.startsWith("Error")) {
      ++totals_.errorReplies;
    }
    if (reply && (reply->word == "ErrorDB" || reply->word == "UserDenied")) loggedOff_ = true;
  }

  // Some requests legitimately get no reply ("RemoveQuery", "Close"); the others must.
  std::optional<ClientReply> Ask(CorvaneClient& client, const char* word,
                                 const QList<QByteArray>& fields) {
    const QByteArray command(word);
    // After "ErrorDB" the slot is no longer logged on and the server may close it at its
    // next refresh: the client logs on again before asking more.
    if (loggedOff_) return std::nullopt;
    if (command == "RemoveQuery" || command == "Close") {
      client.Send(command, fields);
      return std::nullopt;
    }
    std::optional<ClientReply> reply = client.Request(command, fields);
    Count(reply);
    if (!reply) std::fprintf(stderr, "no reply to %s\n", word);
    // An "ErrorUpdate" comes before the record it concerns.
    if (reply && reply->word == "ErrorUpdate" && command != "Sort" && command != "FindFirst" &&
        command != "FindNext") {
      std::optional<ClientReply> record = client.ReadReply();
      Count(record);
      if (record) record->word = "ErrorUpdate";
      return record;
    }
    return reply;
  }

  QString dir_;
  quint16 port_;
  int32_t key_;
  std::vector<std::unique_ptr<CorvaneClient>> clients_ =
      std::vector<std::unique_ptr<CorvaneClient>>(kClients);
  Totals totals_;
  Model model_;
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

  Soak soak(dir, port, key);
  std::mt19937 random(2026);
  QElapsedTimer clock;
  clock.start();
  const qint64 total = static_cast<qint64>(minutes * 60'000);
  qint64 nextSample = 0;
  std::vector<std::pair<qint64, long>> memory;
  while (clock.elapsed() < total && server.state() == QProcess::Running) {
    soak.Step(random);
    if (clock.elapsed() >= nextSample) {
      memory.push_back({clock.elapsed() / 1000, ResidentKiB(server.processId())});
      std::printf("t=%llds rss=%ldKiB requests=%ld\n", static_cast<long long>(memory.back().first),
                  memory.back().second, soak.totals().requests);
      std::fflush(stdout);
      nextSample += std::max<qint64>(5000, total / 20);
    }
  }
  const bool serverAlive = server.state() == QProcess::Running;
  soak.Finish();
  server.terminate();
  server.waitForFinished(10000);

  // The file against the model.
  long missing = 0, wrong = 0, extra = 0;
  QMap<QByteArray, int> inFile;
  for (const auto& row : RowsOnFile(db, "SELECT Name, Qty FROM Stock")) {
    inFile[row[0].toString().toUtf8()] = row[1].toInt();
  }
  const Model& model = soak.model();
  for (auto it = model.rows.cbegin(); it != model.rows.cend(); ++it) {
    if (model.uncertain.contains(it.key())) continue;
    if (!inFile.contains(it.key())) {
      ++missing;
    } else if (inFile[it.key()] != it.value()) {
      ++wrong;
    }
  }
  for (auto it = inFile.cbegin(); it != inFile.cend(); ++it) {
    if (!model.rows.contains(it.key()) && !model.uncertain.contains(it.key())) ++extra;
  }
  const QString integrity = QueryOnFile(db, QStringLiteral("PRAGMA integrity_check")).toString();

  const Totals& t = soak.totals();
  std::printf(
      "requests %ld, unanswered %ld, malformed %ld, error replies %ld, disconnects %ld, "
      "refused logons %ld, connections without a slot %ld, oldest records retired %ld\n",
      t.requests, t.unanswered, t.malformed, t.errorReplies, t.disconnects, t.refusedLogons,
      t.connectFailures, t.retired);
  std::printf(
      "rows in file %lld, in model %lld (uncertain %lld): missing %ld, wrong %ld, "
      "extra %ld; integrity %s\n",
      static_cast<long long>(inFile.size()), static_cast<long long>(model.rows.size()),
      static_cast<long long>(model.uncertain.size()), missing, wrong, extra, qPrintable(integrity));
  // Memory: the last sample against the one at a third of the run (after the warm-up).
  long warm = memory.empty() ? 0 : memory[memory.size() / 3].second;
  long last = memory.empty() ? 0 : memory.back().second;
  std::printf("rss after warm-up %ldKiB, at the end %ldKiB\n", warm, last);
  const bool ok = serverAlive && t.unanswered == 0 && t.malformed == 0 && missing == 0 &&
                  wrong == 0 && extra == 0 && integrity == QStringLiteral("ok") &&
                  last <= warm + warm / 10;
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
