// The main window's commands (Exit, Setup, Refresh), the window placement kept in User.dat,
// the activity list's length and the About window.
#include <QAction>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "activity/host_identity.h"
#include "desktop_fixture.h"
#include "gui/config/setup_dialog.h"
#include "gui/desktop/about_window.h"

namespace corvane::test {
namespace {

using Icon = OperatorPrompts::Icon;

TEST_F(DesktopTest, ExitAsksFirstThenDisconnectsEveryClientWritesTheSettingsAndEnds) {
  Start({});
  QSignalSpy ended(desktop_.get(), &DesktopController::Ended);
  Window().findChild<QAction*>("mExit")->trigger();
  ASSERT_EQ(prompts_.boxes.size(), 1u);
  EXPECT_EQ(prompts_.boxes[0].title, "Shutdown CorvaneDB Server");
  EXPECT_EQ(prompts_.boxes[0].icon, Icon::Question);
  EXPECT_FALSE(desktop_->Unloaded());  // cancelled

  // With clients the question counts every connected socket, logged on or not.
  auto loggedOn = Client(true);
  auto silent = Client(false);
  desktop_->RunExitCommand();
  ASSERT_EQ(prompts_.boxes.size(), 2u);
  EXPECT_EQ(prompts_.boxes[1].text,
            "Are you sure you want to exit?\r\rYou have 2 user(s)  connected." + QString(25, ' '));
  EXPECT_EQ(prompts_.boxes[1].icon, Icon::Critical);
  EXPECT_TRUE(loggedOn->Request("ThankYou").has_value());  // cancelled: still served
  EXPECT_TRUE(Window().isVisible());

  prompts_.answers = {true};
  Window().findChild<QAction*>("mExit")->trigger();
  EXPECT_TRUE(desktop_->Unloaded());
  EXPECT_EQ(ended.count(), 1);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_TRUE(loggedOn->WaitForDisconnected(3000));
  EXPECT_TRUE(silent->WaitForDisconnected(3000));
  EXPECT_EQ(server_->Slots().ListenerState(), 0);
  for (const char* file : {"database.dat", "network.dat", "general.dat", "User.dat"}) {
    EXPECT_TRUE(QFile::exists(Path(file))) << file;
  }
  EXPECT_EQ(LastEvent(), "Server Shutdown");
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
  EXPECT_EQ(rows.Row(rows.rowCount() - 1).event, "Setup Run");
  EXPECT_EQ(rows.Row(rows.rowCount() - 1).database, "Users Disconnected:  2");
  EXPECT_EQ(server_->Slots().ListenerState(), 0);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_TRUE(desktop_->Setup()->isVisible());
  EXPECT_FALSE(desktop_->Setup()->isModal());
}

TEST_F(DesktopTest, PlacementIsSavedInTwipsFromTheNormalStateAndRestoredAtTheNextStart) {
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
  ServerSettings saved;
  ASSERT_TRUE(SettingsFiles(dir_.path()).LoadWindowPlacement(saved));
  EXPECT_EQ(SettingValue(saved.WindowLeft), 40 * 15);
  EXPECT_EQ(SettingValue(saved.WindowTop), 30 * 15);
  EXPECT_EQ(saved.WindowWidth.value_or(0), 800 * 15);
  EXPECT_EQ(SettingValue(saved.WindowHeight), 500 * 15);

  saved.WindowLeft = 1500;
  saved.WindowTop = 750;
  saved.WindowWidth = 9000;
  saved.WindowHeight = 6000;
  SettingsFiles(dir_.path()).SaveWindowPlacement(saved);
  desktop_.reset();
  server_.reset();
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
}

// The refresh itself is the net suite's business; here F5 and the menu run it.
TEST_F(DesktopTest, RefreshFromTheKeyAndTheMenuReportsLeavers) {
  Start({});
  auto leaver = Client(true);
  QTest::keyClick(&Window(), Qt::Key_F5);
  EXPECT_EQ(Window().PanelText(3), "Users: 1");
  leaver->Disconnect();
  QTRY_COMPARE(server_->Slots().SlotState(1), 8);  // the peer is closing
  Window().findChild<QAction*>("mRefresh")->trigger();
  EXPECT_EQ(LastEvent(), "User Logoff");
  EXPECT_EQ(Window().PanelText(3), "Users: 0");
}

TEST_F(DesktopTest, TheAboutWindowShowsItsWholeTitleAndTheComputerAsTheListNamesIt) {
  Start({});
  desktop_->ShowAbout();
  AboutWindow* about = desktop_->About();
  ASSERT_NE(about, nullptr);
  EXPECT_GT(about->width(), about->fontMetrics().horizontalAdvance(about->windowTitle()));
  EXPECT_EQ(about->minimumSize(), about->maximumSize());
  EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(AboutWindow::ComputerName(), LocalHostIdentity().host_name);
  EXPECT_EQ(AboutWindow::ComputerName(), AboutWindow::ComputerName().toUpper());
}

TEST_F(DesktopTest, TheActivityListKeepsItsFirstRowAndAtMostTheNewestTenThousand) {
  Start({});
  ActivityRowsModel& rows = server_->ActivityRows();
  int most = 0;
  for (int n = 0; n < 25000; ++n) {
    ActivityRow row;
    row.event = "Move";
    row.record = QString::number(n);
    rows.AppendRow(row);
    most = std::max(most, rows.rowCount());
  }
  EXPECT_EQ(most, 10000);
  EXPECT_GE(rows.rowCount(), 9000);
  EXPECT_EQ(rows.Row(0).event, "Server Started");
  EXPECT_EQ(rows.Row(rows.rowCount() - 1).record, "24999");
}

}  // namespace
}  // namespace corvane::test
