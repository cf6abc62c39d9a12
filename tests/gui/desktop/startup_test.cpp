// The start-up routine's windows, the second start, the session's end and the closing
// of the main window.
#include <QApplication>
#include <QTest>

#include "server/instance_lock.h"
#include "desktop_fixture.h"
#include "gui/config/setup_dialog.h"

namespace corvane::test {
namespace {

constexpr int kListening = 2;
constexpr int kClosed = 0;

TEST_F(DesktopTest, MissingNetworkOpensNetworkTabNextToTheWindow) {
  Start({.network = false});
  EXPECT_EQ(branch_, StartupBranch::kNetworkMissing);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_TRUE(desktop_->Setup()->isVisible());
  EXPECT_FALSE(desktop_->Setup()->isModal());
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kNetworkTab);
  EXPECT_TRUE(Window().isVisible());
  // Users exist, so the listener runs on a port of the platform's choosing.
  EXPECT_EQ(server_->Slots().ListenerState(), kListening);
}

TEST_F(DesktopTest, MissingUsersShowOnlyTheSetupUntilItIsDone) {
  Start({.users = false});
  EXPECT_EQ(branch_, StartupBranch::kUsersMissing);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kUsersTab);
  EXPECT_TRUE(desktop_->Setup()->isVisible());
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(server_->Slots().ListenerState(), kClosed);
  Q_EMIT desktop_->Setup()->Finished();
  EXPECT_TRUE(Window().isVisible());
}

TEST_F(DesktopTest, MissingDatabasesOpenDatabaseTabNextToTheRunningServer) {
  Start({.databases = false});
  EXPECT_EQ(branch_, StartupBranch::kDatabasesMissing);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kDatabaseTab);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(server_->Slots().ListenerState(), kListening);
}

TEST_F(DesktopTest, CompleteSetupShowsTheServerAlone) {
  Start({});
  EXPECT_EQ(branch_, StartupBranch::kReady);
  EXPECT_EQ(desktop_->Setup(), nullptr);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(Window().windowState(), Qt::WindowNoState);
  EXPECT_EQ(Window().objectName(), "Form1");
  EXPECT_EQ(Window().windowTitle(), "Corvane Database Server");
  EXPECT_EQ(LastEvent(), "Server Started");
  EXPECT_EQ(Window().PanelText(1), "Status: Listening");
  EXPECT_EQ(Window().PanelText(2), "Port: " + QString::number(port_));
  EXPECT_EQ(Window().PanelText(3), "Users: 0");
  // Neither the title bar nor Alt+F4 closes it.
  EXPECT_FALSE(Window().close());
  EXPECT_TRUE(Window().isVisible());
  EXPECT_FALSE(Window().windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(desktop_->Unloaded());
}

TEST_F(DesktopTest, RunMinimizedLeavesOnlyTheTrayIcon) {
  Start({.runMinimized = true});
  QTRY_VERIFY(!Window().isVisible());
  EXPECT_TRUE(desktop_->Tray().Shown());
  desktop_->Tray().SimulateDoubleClick();
  EXPECT_TRUE(Window().isVisible());
  EXPECT_FALSE(Window().isMinimized());
  EXPECT_FALSE(desktop_->Tray().Shown());
}

TEST_F(DesktopTest, RunMinimizedWithoutTrayKeepsAnOrdinaryMinimizedWindow) {
  Start({.runMinimized = true, .tray = false});
  QCoreApplication::processEvents();
  EXPECT_TRUE(Window().isVisible());
  EXPECT_TRUE(Window().isMinimized());
  EXPECT_FALSE(desktop_->Tray().Shown());
}

TEST_F(DesktopTest, SessionEndUnloadsWithoutAskingAndWritesOnlyThePlacement) {
  Start({.databases = false});
  QFile::remove(Path("network.dat"));
  QFile::remove(Path("general.dat"));
  desktop_->RunSessionEnd();
  EXPECT_TRUE(desktop_->Unloaded());
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_TRUE(QFile::exists(Path("User.dat")));
  EXPECT_FALSE(QFile::exists(Path("network.dat")));
  EXPECT_FALSE(QFile::exists(Path("general.dat")));
  EXPECT_FALSE(QFile::exists(Path("database.dat")));
  EXPECT_EQ(LastEvent(), "Server Shutdown");
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(server_->Slots().ListenerState(), kClosed);
}

TEST(DesktopSecondStart, EndsAtOnceWhileAnotherHoldsTheDirectory) {
  QTemporaryDir dir;
  InstanceLock first(dir.path());
  ASSERT_TRUE(first.TryAcquire());
  EXPECT_EQ(RunDesktop(dir.path()), 0);
  EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
              std::none_of(QApplication::topLevelWidgets().begin(),
                           QApplication::topLevelWidgets().end(),
                           [](QWidget* widget) { return widget->isVisible(); }));
}

}  // namespace
}  // namespace corvane::test
