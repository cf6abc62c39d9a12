// The server's event loop beside what waits on databases and beside the windows: the
// start-up's check runs on a worker while the loop goes on and before anything listens,
// and the desktop's thread takes the lists in batches.
#include "server/server_thread.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <optional>

#include "client/event_wait.h"
#include "protocol/socket_state.h"
#include "server/server_instance.h"
#include "support/file_bytes.h"
#include "support/program_folder.h"
#include "support/sqlite_files.h"
#include "support/test_server.h"

namespace corvane::test {
namespace {

constexpr int kWaitMs = 20000;

// A server that accepts the connection and never answers holds the check for the whole
// connect timeout: the loop's timers run meanwhile, the listener starts only after it, and
// then clients are offered the database that answered.
TEST(ServerStartup, TheCheckWaitsOnASilentServerBesideTheLoopAndTheListenerWaitsForIt) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  int accepted = 0;
  QObject::connect(&silent, &QTcpServer::newConnection, [&] { ++accepted; });
  ProgramFolder folder;
  const quint16 port = FreeListenPort();
  ExecOnFile(folder.Path("a.db"), "CREATE TABLE a (id INTEGER PRIMARY KEY)");
  folder.Write({{"A", folder.Path("a.db")},
                {"Silent", QStringLiteral("postgresql://127.0.0.1:%1/stock?sslmode=disable")
                               .arg(silent.serverPort())}},
               port);
  auto server = folder.NewServer();
  server->SetServerConnectTimeout(2);
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(50);

  QElapsedTimer took;
  took.start();
  ASSERT_EQ(server->RunStartup(), StartupBranch::kReady);
  bool loaded = false;
  server->AfterCheck([&] {
    server->LoadMainWindow();
    loaded = true;
  });
  // libpq never waits less than 2 s for the silent server; the start-up did not wait.
  EXPECT_LT(took.elapsed(), 1500);
  EXPECT_FALSE(loaded);
  ASSERT_TRUE(WaitUntil([&] { return accepted >= 1 && ticks >= 3; }, kWaitMs));
  EXPECT_TRUE(server->CheckRunning());
  EXPECT_EQ(server->Slots().ListenerState(), kSocketClosed);

  ASSERT_TRUE(WaitUntil([&] { return loaded; }, kWaitMs));
  EXPECT_GE(took.elapsed(), 1500);
  EXPECT_EQ(server->Slots().ListenerState(), kSocketListening);
  ASSERT_EQ(folder.prompts.boxes.size(), 1u);
  EXPECT_TRUE(folder.prompts.boxes[0].text.startsWith("Database Error: Silent"));
  auto client = LoggedOnClient(port, "ANN", "PW1", 12345678);
  EXPECT_EQ(client->Request("ThankYou")->fields, QList<QByteArray>{"A"});
  EXPECT_EQ(client->Request("RequestTables", {"0"})->fields, QList<QByteArray>{"a"});
}

// A rate of 0 stops the refresh timer; a positive rate saved later starts it again at once,
// without waiting for a restart.
TEST(ServerSetup, ASavedRefreshRateStartsTheStoppedRefreshTimerAgain) {
  ProgramFolder folder;
  ExecOnFile(folder.Path("a.db"), "CREATE TABLE a (id INTEGER PRIMARY KEY)");
  folder.Write({{"A", folder.Path("a.db")}}, FreeListenPort());
  auto server = folder.NewServer();
  ASSERT_EQ(ProgramFolder::Start(*server), StartupBranch::kReady);
  server->LoadMainWindow();
  int refreshes = 0;
  QObject::connect(server.get(), &ServerInstance::StatusRefreshed, [&] { ++refreshes; });
  const auto save = [&](int32_t rate) {
    std::optional<SetupValues> values;
    server->TakeSetupValues([&](SetupValues taken) { values = std::move(taken); });
    ASSERT_TRUE(WaitUntil([&] { return values.has_value(); }, kWaitMs));
    values->settings.RefreshRate = rate;
    bool saved = false;
    server->ApplySetup(*values, [&] { saved = true; });
    ASSERT_TRUE(WaitUntil([&] { return saved; }, kWaitMs));
  };
  save(0);
  server->OnRefreshTick();
  const int before = refreshes;
  save(1);
  EXPECT_TRUE(WaitUntil([&] { return refreshes > before; }, 3000));
}

// The desktop's server: its loop on a thread of its own, the lists and the status on the
// windows' thread, taken a few times a second rather than row by row; the unload writes
// the placement the windows hand it.
TEST(ServerThreadTest, TheWindowsTakeTheListsInBatchesAndTheUnloadKeepsTheirPlacement) {
  ProgramFolder folder;
  const quint16 port = FreeListenPort();
  ExecOnFile(
      folder.Path("a.db"),
      "CREATE TABLE a (id INTEGER PRIMARY KEY); INSERT INTO a VALUES (1), (2), (3), (4), (5), (6)");
  folder.Write({{"A", folder.Path("a.db")}}, port);
  WriteFileBytes(folder.Path("general.dat"), "0,0,5,0,0\r\n1,0\r\n");  // several logons a user
  folder.StoreUser();
  ServerThread server(folder.Path(""), folder.prompts, HostIdentity{"HOST", "127.0.0.1"});
  std::optional<StartupBranch> started;
  QObject::connect(&server, &ServerThread::Started,
                   [&](StartupBranch branch) { started = branch; });
  int insertions = 0;
  QObject::connect(&server.ActivityRows(), &QAbstractItemModel::rowsInserted,
                   [&] { ++insertions; });
  server.Start();
  ASSERT_TRUE(WaitUntil([&] { return started.has_value(); }, kWaitMs));
  EXPECT_EQ(*started, StartupBranch::kReady);
  EXPECT_EQ(server.Status().status, "Status: Listening");
  EXPECT_EQ(server.Status().port, "Port: " + QString::number(port));

  std::vector<std::unique_ptr<CorvaneClient>> clients;
  for (int n = 0; n < 4; ++n) {
    clients.push_back(LoggedOnClient(port, "ANN", "PW1", 12345678));
    ASSERT_EQ(clients.back()->Request("RequestTheTable", {"0", "0"})->word, "Fields");
    for (int request = 0; request < 4; ++request) {
      ASSERT_EQ(clients.back()->Request("Next")->word, "Data");
    }
  }
  server.RefreshStatus();
  const ActivityRowsModel& rows = server.ActivityRows();
  ASSERT_TRUE(WaitUntil([&] { return server.CurrentUsers().rowCount() == 4; }, kWaitMs));
  ASSERT_TRUE(WaitUntil([&] { return rows.rowCount() >= 1 + 4 * 6; }, kWaitMs));
  EXPECT_EQ(rows.Row(0).event, "Server Started");
  EXPECT_EQ(rows.Row(1).event, "New User");
  EXPECT_EQ(server.CurrentUsers().Rows()[0].user, "ANN");
  EXPECT_EQ(server.Status().users, "Users: 4");
  // 25 rows, in far fewer insertions.
  EXPECT_LE(insertions * 3, rows.rowCount()) << insertions;

  server.Unload(false, WindowPlacement{450, 600, 9000, 6000});
  EXPECT_TRUE(clients[0]->WaitForDisconnected(3000));
  EXPECT_EQ(ReadFileBytes(folder.Path("User.dat")), "450,600\r\n9000,6000\r\n");
}

}  // namespace
}  // namespace corvane::test
