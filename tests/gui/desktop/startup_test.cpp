// The start-up routine's windows, the second start, the session's end and the closing
// of the main window.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "desktop_fixture.h"
#include "gui/config/setup_dialog.h"
#include "server/instance_lock.h"

namespace corvane::test {
namespace {

constexpr int kListening = 2;
constexpr int kClosed = 0;

TEST_F(DesktopTest, AMissingSetupFileOpensItsTabNextToTheServerWhenItCanRun) {
  Start({.network = false});
  EXPECT_EQ(branch_, StartupBranch::kNetworkMissing);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_TRUE(desktop_->Setup()->isVisible());
  EXPECT_FALSE(desktop_->Setup()->isModal());
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kNetworkTab);
  EXPECT_TRUE(Window().isVisible());
  // Users exist, so the listener runs on a port of the platform's choosing.
  EXPECT_EQ(server_->Slots().ListenerState(), kListening);
  // The list is read although the port was missing, so saving the setup keeps it, and the
  // saved port is listened on at once.
  ASSERT_EQ(server_->CatalogueLists().published.size(), 1u);
  auto* port = desktop_->Setup()->findChild<QLineEdit*>("txtPort");
  ASSERT_NE(port, nullptr);
  port->setText(QString::number(port_));
  desktop_->Setup()->findChild<QPushButton*>("cmdSetup_0")->click();
  EXPECT_EQ(server_->Slots().ListenerPort(), port_);
  EXPECT_NE(Client(true), nullptr);
  PublishedList stored;
  EXPECT_TRUE(SettingsFiles(dir_.path()).LoadDatabaseList(stored));
  EXPECT_EQ(stored.size(), 1u);

  desktop_.reset();
  server_.reset();
  QFile::remove(Path("database.dat"));
  Start({.databases = false});
  EXPECT_EQ(branch_, StartupBranch::kDatabasesMissing);
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kDatabaseTab);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(server_->Slots().ListenerState(), kListening);
}

TEST_F(DesktopTest, MissingUsersShowOnlyTheSetupUntilItIsDone) {
  Start({.users = false});
  EXPECT_EQ(branch_, StartupBranch::kUsersMissing);
  EXPECT_EQ(server_->CatalogueLists().published.size(), 1u);
  ASSERT_NE(desktop_->Setup(), nullptr);
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kUsersTab);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(server_->Slots().ListenerState(), kClosed);
  Q_EMIT desktop_->Setup()->Finished();
  EXPECT_TRUE(Window().isVisible());
}

TEST_F(DesktopTest, ACompleteSetupShowsTheServerAloneWhichTheOperatorCannotClose) {
  Start({});
  EXPECT_EQ(branch_, StartupBranch::kReady);
  EXPECT_EQ(desktop_->Setup(), nullptr);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(LastEvent(), "Server Started");
  EXPECT_EQ(Window().PanelText(1), "Status: Listening");
  EXPECT_EQ(Window().PanelText(2), "Port: " + QString::number(port_));
  EXPECT_FALSE(Window().close());
  EXPECT_TRUE(Window().isVisible());
  EXPECT_FALSE(desktop_->Unloaded());
}

TEST_F(DesktopTest, RunMinimizedLeavesOnlyTheTrayIconOrAMinimizedWindowWithoutOne) {
  Start({.runMinimized = true});
  QTRY_VERIFY(!Window().isVisible());
  EXPECT_TRUE(desktop_->Tray().Shown());
  desktop_->Tray().SimulateDoubleClick();
  EXPECT_TRUE(Window().isVisible());
  EXPECT_FALSE(Window().isMinimized());
  desktop_->RunSessionEnd();
  desktop_.reset();
  server_.reset();

  Start({.runMinimized = true, .tray = false});
  QCoreApplication::processEvents();
  EXPECT_TRUE(Window().isVisible());
  EXPECT_TRUE(Window().isMinimized());
}

TEST_F(DesktopTest, SessionEndUnloadsWithoutAskingAndWritesOnlyThePlacement) {
  Start({.databases = false});
  QFile::remove(Path("network.dat"));
  QFile::remove(Path("general.dat"));
  desktop_->RunSessionEnd();
  EXPECT_TRUE(desktop_->Unloaded());
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_TRUE(QFile::exists(Path("User.dat")));
  for (const char* file : {"network.dat", "general.dat", "database.dat"}) {
    EXPECT_FALSE(QFile::exists(Path(file))) << file;
  }
  EXPECT_EQ(LastEvent(), "Server Shutdown");
  EXPECT_EQ(server_->Slots().ListenerState(), kClosed);
}

TEST(DesktopSecondStart, EndsAtOnceWhileAnotherHoldsTheDirectory) {
  QTemporaryDir dir;
  InstanceLock first(dir.path());
  ASSERT_TRUE(first.TryAcquire());
  EXPECT_EQ(RunDesktop(dir.path()), 0);
  const QWidgetList windows = QApplication::topLevelWidgets();
  EXPECT_TRUE(
      std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
}

}  // namespace
}  // namespace corvane::test
