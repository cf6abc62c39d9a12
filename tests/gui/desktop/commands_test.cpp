// The Exit and Setup commands and the window placement kept in User.dat.
#include <QAction>
#include <QSignalSpy>
#include <QTest>

#include "desktop_fixture.h"
#include "gui/config/setup_dialog.h"

namespace corvane::test {
namespace {

using Icon = OperatorPrompts::Icon;

TEST_F(DesktopTest, ExitWithoutClientsAsksTheShortQuestion) {
  Start({});
  QSignalSpy ended(desktop_.get(), &DesktopController::Ended);
  Window().findChild<QAction*>("mExit")->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text, "Are you sure you want to exit?" + QString(10, ' '));
  EXPECT_EQ(prompts_.boxes[0].title, "Shutdown CorvaneDB Server");
  EXPECT_EQ(prompts_.boxes[0].icon, Icon::Question);
  EXPECT_FALSE(desktop_->Unloaded());
  EXPECT_TRUE(Window().isVisible());

  prompts_.answers = {true};
  Window().findChild<QAction*>("mExit")->trigger();
  EXPECT_TRUE(desktop_->Unloaded());
  EXPECT_EQ(ended.count(), 1);
  EXPECT_FALSE(Window().isVisible());
  for (const char* file : {"database.dat", "network.dat", "general.dat", "User.dat"}) {
    EXPECT_TRUE(QFile::exists(Path(file))) << file;
  }
  EXPECT_EQ(LastEvent(), "Server Shutdown");
}

TEST_F(DesktopTest, ExitWithClientsCountsEveryConnectedSocket) {
  Start({});
  auto loggedOn = Client(true);
  auto silent = Client(false);
  desktop_->RunExitCommand();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "Are you sure you want to exit?\r\rYou have 2 user(s)  "
            "connected." +
                QString(25, ' '));
  EXPECT_EQ(prompts_.boxes[0].title, "Disconnect Users");
  EXPECT_EQ(prompts_.boxes[0].icon, Icon::Critical);
  // Cancel: every connection stays.
  EXPECT_EQ(server_->Slots().ConnectedCount(), 2);
  EXPECT_TRUE(loggedOn->Request("ThankYou").has_value());

  prompts_.answers = {true};
  desktop_->RunExitCommand();
  EXPECT_TRUE(loggedOn->WaitForDisconnected(3000));
  EXPECT_TRUE(silent->WaitForDisconnected(3000));
  EXPECT_EQ(server_->Slots().ListenerState(), 0);
}

TEST_F(DesktopTest, SetupCancelledKeepsTheUsersAndTheListener) {
  Start({});
  auto client = Client(true);
  Window().findChild<QAction*>("mSetup")->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].text,
            "You have 1 user(s)  connected.\r\rWould you like to disconnect them before "
            "running setup?");
  EXPECT_EQ(prompts_.boxes[0].title, "Disconnect Users");
  EXPECT_EQ(prompts_.boxes[0].icon, Icon::Critical);
  EXPECT_EQ(desktop_->Setup(), nullptr);
  EXPECT_EQ(server_->Slots().ListenerState(), 2);
  EXPECT_EQ(server_->Slots().CurrentUsers().rowCount(), 1);
  EXPECT_NE(LastEvent(), "Setup Run");
  EXPECT_TRUE(client->IsConnected());
}

TEST_F(DesktopTest, SetupConfirmedDisconnectsLogsAndClosesTheListener) {
  Start({});
  auto first = Client(true);
  auto second = Client(true);
  prompts_.answers = {true};
  desktop_->RunSetupCommand();
  EXPECT_TRUE(first->WaitForDisconnected(3000));
  EXPECT_TRUE(second->WaitForDisconnected(3000));
  const ActivityRowsModel& rows = server_->ActivityRows();
  const ActivityRow& row = rows.Row(rows.rowCount() - 1);
  EXPECT_EQ(row.event, "Setup Run");
  EXPECT_EQ(row.database, "Users Disconnected:  2");
  EXPECT_EQ(server_->Slots().CurrentUsers().rowCount(), 0);
  EXPECT_EQ(server_->Slots().ListenerState(), 0);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_TRUE(desktop_->Setup()->isVisible());
  EXPECT_FALSE(desktop_->Setup()->isModal());
}

TEST_F(DesktopTest, SetupWithoutClientsAsksNothing) {
  Start({});
  desktop_->RunSetupCommand();
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_EQ(server_->ActivityRows().Row(1).database, "Users Disconnected:  0");
  EXPECT_NE(desktop_->Setup(), nullptr);
  EXPECT_EQ(server_->Slots().ListenerState(), 0);
}

TEST_F(DesktopTest, PlacementIsSavedInTwipsFromTheNormalStateOnly) {
  Start({});
  Window().move(40, 30);
  Window().resize(800, 500);
  QCoreApplication::processEvents();
  Window().showMaximized();
  QCoreApplication::processEvents();
  ASSERT_NE(Window().size(), QSize(800, 500));
  Window().showMinimized();
  QCoreApplication::processEvents();
  prompts_.answers = {true};
  desktop_->RunExitCommand();
  ASSERT_TRUE(desktop_->Unloaded());

  ServerSettings saved;
  ASSERT_TRUE(SettingsFiles(dir_.path()).LoadWindowPlacement(saved));
  EXPECT_EQ(SettingValue(saved.WindowLeft), 40 * 15);
  EXPECT_EQ(SettingValue(saved.WindowTop), 30 * 15);
  EXPECT_EQ(saved.WindowWidth.value_or(0), 800 * 15);
  EXPECT_EQ(SettingValue(saved.WindowHeight), 500 * 15);
}

TEST_F(DesktopTest, SavedPlacementPlacesTheWindowAtTheNextStart) {
  {
    SettingsFiles files(dir_.path());
    ServerSettings placement;
    placement.WindowLeft = 1500;
    placement.WindowTop = 750;
    placement.WindowWidth = 9000;
    placement.WindowHeight = 6000;
    files.SaveWindowPlacement(placement);
  }
  Start({});
  EXPECT_EQ(Window().pos(), QPoint(100, 50));
  EXPECT_EQ(Window().size(), QSize(600, 400));
}

}  // namespace
}  // namespace corvane::test
