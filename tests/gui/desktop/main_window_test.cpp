// The main window's commands (Exit, Setup, Refresh), its lists fed from the server's thread,
// the window placement kept in User.dat, and the About window.
#include <QAction>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include "activity/host_identity.h"
#include "desktop_fixture.h"
#include "gui/config/setup_dialog.h"
#include "gui/desktop/about_window.h"
#include "protocol/socket_state.h"
#include "support/file_bytes.h"

namespace corvane::test {
namespace {

using Icon = OperatorPrompts::Icon;

TEST_F(DesktopTest, ExitAsksFirstThenDisconnectsEveryClientWritesTheSettingsAndEnds) {
  Start({});
  QSignalSpy ended(desktop_.get(), &DesktopController::Ended);
  Window().findChild<QAction*>("mExit")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return prompts_.boxes.size() == 1; }, kServerWaitMs));
  EXPECT_EQ(prompts_.boxes[0].title, "Shutdown CorvaneDB Server");
  EXPECT_EQ(prompts_.boxes[0].icon, Icon::Question);
  EXPECT_FALSE(desktop_->Unloaded());  // cancelled

  // With clients the question counts every connected socket, logged on or not.
  auto loggedOn = Client(true);
  auto silent = Client(false);
  desktop_->RunExitCommand();
  ASSERT_TRUE(WaitUntil([&] { return prompts_.boxes.size() == 2; }, kServerWaitMs));
  EXPECT_EQ(prompts_.boxes[1].text,
            "Are you sure you want to exit?\r\rYou have 2 user(s)  connected." + QString(25, ' '));
  EXPECT_EQ(prompts_.boxes[1].icon, Icon::Critical);
  EXPECT_TRUE(loggedOn->Request("ThankYou").has_value());  // cancelled: still served
  EXPECT_TRUE(Window().isVisible());

  prompts_.answers = {true};
  Window().findChild<QAction*>("mExit")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return desktop_->Unloaded(); }, kServerWaitMs));
  EXPECT_EQ(ended.count(), 1);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(loggedOn->WaitForDisconnected(3000));
  EXPECT_TRUE(silent->WaitForDisconnected(3000));
  EXPECT_EQ(ListenerState(), kSocketClosed);
  for (const char* file : {"database.dat", "network.dat", "general.dat", "User.dat"}) {
    EXPECT_TRUE(QFile::exists(Path(file))) << file;
  }
  EXPECT_TRUE(ShowsLastEvent("Server Shutdown"));
}

TEST_F(DesktopTest, SetupConfirmedDisconnectsLogsAndClosesTheListener) {
  Start({});
  auto first = Client(true);
  auto second = Client(true);
  prompts_.answers = {true};
  desktop_->RunSetupCommand();
  ASSERT_TRUE(WaitUntil([&] { return desktop_->Setup() != nullptr; }, kServerWaitMs));
  EXPECT_TRUE(desktop_->Setup()->isVisible());
  EXPECT_FALSE(desktop_->Setup()->isModal());
  EXPECT_TRUE(first->WaitForDisconnected(3000));
  EXPECT_TRUE(second->WaitForDisconnected(3000));
  ASSERT_TRUE(ShowsLastEvent("Setup Run"));
  const ActivityRowsModel& rows = server_->ActivityRows();
  EXPECT_EQ(rows.Row(rows.rowCount() - 1).database, "Users Disconnected:  2");
  EXPECT_EQ(ListenerState(), kSocketClosed);
}

// What the server reports comes to the window's lists a few times a second, and they show
// it: F5 and the menu refresh the users list, which shows the users logged on and then none.
TEST_F(DesktopTest, TheListsShowWhatTheServerReportsAndRefreshFollowsTheUsers) {
  Start({});
  auto* activity = Window().findChild<QTableView*>("whList");
  auto* users = Window().findChild<QTableView*>("ListView1");
  ASSERT_NE(activity, nullptr);
  ASSERT_NE(users, nullptr);
  std::vector<std::unique_ptr<CorvaneClient>> clients;
  for (int n = 0; n < 3; ++n) clients.push_back(Client(true));
  QTest::keyClick(&Window(), Qt::Key_F5);
  ASSERT_TRUE(WaitUntil([&] { return Window().PanelText(3) == "Users: 3"; }, kServerWaitMs));
  EXPECT_EQ(users->model()->rowCount(), 3);
  EXPECT_EQ(users->model()->index(0, 1).data().toString(), "BOB");
  ASSERT_TRUE(WaitUntil([&] { return activity->model()->rowCount() == 4; }, kServerWaitMs));
  EXPECT_EQ(activity->model()->index(3, 0).data().toString(), "New User");
  EXPECT_TRUE(activity->visualRect(activity->model()->index(3, 0))
                  .intersects(activity->viewport()->rect()));

  for (auto& client : clients) client->Disconnect();
  ASSERT_TRUE(ShowsLastEvent("User Logoff"));
  Window().findChild<QAction*>("mRefresh")->trigger();
  ASSERT_TRUE(WaitUntil([&] { return Window().PanelText(3) == "Users: 0"; }, kServerWaitMs));
  EXPECT_EQ(users->model()->rowCount(), 0);
}

TEST_F(DesktopTest, PlacementIsSavedFromTheNormalStateAndRestoredUnlessItWouldHideTheLists) {
  Start({});
  Window().move(40, 30);
  Window().resize(800, 500);
  QCoreApplication::processEvents();
  Window().showMaximized();
  QCoreApplication::processEvents();
  Window().showMinimized();
  QCoreApplication::processEvents();
  prompts_.answers = {true};
  desktop_->RunExitCommand();
  ASSERT_TRUE(WaitUntil([&] { return desktop_->Unloaded(); }, kServerWaitMs));
  ServerSettings saved;
  ASSERT_TRUE(SettingsFiles(dir_.path()).LoadWindowPlacement(saved));
  EXPECT_EQ(SettingValue(saved.WindowLeft), 40 * 15);
  EXPECT_EQ(SettingValue(saved.WindowTop), 30 * 15);
  EXPECT_EQ(saved.WindowWidth.value_or(0), 800 * 15);
  EXPECT_EQ(SettingValue(saved.WindowHeight), 500 * 15);

  desktop_.reset();
  server_.reset();
  ASSERT_TRUE(WriteFileBytes(Path("User.dat"), "750,1500\r\n9000,6000\r\n"));
  Start({});
  EXPECT_EQ(Window().pos(), QPoint(100, 50));
  EXPECT_EQ(Window().size(), QSize(600, 400));
  // The frames follow the window's own size alone: a resize there and back puts them where
  // they were, the lower one above the status bar.
  auto* users = Window().findChild<QWidget*>("Frame2");
  ASSERT_NE(users, nullptr);
  const QRect placed = users->geometry();
  Window().resize(900, 700);
  QCoreApplication::processEvents();
  EXPECT_GT(users->geometry().height(), placed.height());
  Window().resize(600, 400);
  QCoreApplication::processEvents();
  EXPECT_EQ(users->geometry(), placed);
  EXPECT_LT(users->mapTo(&Window(), users->rect().bottomLeft()).y(),
            Window().statusBar()->geometry().top());

  // One that would hide the lists (what a headless run used to write, one too small, one off
  // every screen) gives way to the default window in the middle of the screen.
  for (const QByteArray& hiding :
       {QByteArray(",\r\n0,\r\n"), QByteArray("750,1500\r\n9000,1200\r\n"),
        QByteArray("750,300000\r\n9000,6000\r\n")}) {
    desktop_->RunSessionEnd();
    desktop_.reset();
    server_.reset();
    ASSERT_TRUE(WriteFileBytes(Path("User.dat"), hiding));
    Start({});
    EXPECT_EQ(Window().size(), QSize(760, 540)) << hiding.constData();
    for (const char* name : {"whList", "ListView1"}) {
      const auto* list = Window().findChild<QTableView*>(name);
      EXPECT_GT(list->height(), 3 * list->verticalHeader()->defaultSectionSize()) << name;
    }
  }
}

TEST_F(DesktopTest, TheActivityListKeepsItsFirstRowAndTheNewestTenThousandAndAboutNamesTheHost) {
  Start({});
  ActivityRowsModel& rows = server_->ActivityRows();
  ASSERT_TRUE(WaitUntil([&] { return rows.rowCount() == 1; }, kServerWaitMs));
  int most = 0;
  for (int batch = 0; batch < 25; ++batch) {
    ActivityRow move;
    move.event = "Move";
    std::vector<ActivityRow> taken(1000, move);
    taken.back().record = QString::number(batch);
    rows.AppendRows(taken);
    most = std::max(most, rows.rowCount());
  }
  EXPECT_EQ(most, 10000);
  EXPECT_GE(rows.rowCount(), 9000);
  EXPECT_EQ(rows.Row(0).event, "Server Started");
  EXPECT_EQ(rows.Row(rows.rowCount() - 1).record, "24");

  // The About window shows its whole title and the computer as the list names it.
  desktop_->ShowAbout();
  AboutWindow* about = desktop_->About();
  ASSERT_NE(about, nullptr);
  EXPECT_GT(about->width(), about->fontMetrics().horizontalAdvance(about->windowTitle()));
  EXPECT_EQ(about->minimumSize(), about->maximumSize());
  EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(AboutWindow::ComputerName(), LocalHostIdentity().host_name);
  EXPECT_EQ(AboutWindow::ComputerName(), AboutWindow::ComputerName().toUpper());
}

}  // namespace
}  // namespace corvane::test
