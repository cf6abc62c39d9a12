// The start-up routine's windows, the second start, the session's end and the closing
// of the main window.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "desktop_fixture.h"
#include "gui/config/checking_window.h"
#include "gui/config/setup_dialog.h"
#include "protocol/socket_state.h"
#include "server/instance_lock.h"

namespace corvane::test {
namespace {

class StartupTest : public DesktopTest {
 protected:
  SetupDialog* OpenedSetup() {
    EXPECT_TRUE(WaitUntil([this] { return desktop_->Setup() != nullptr; }, kServerWaitMs));
    return desktop_->Setup();
  }
};

TEST_F(StartupTest, AMissingSetupFileOpensItsTabNextToTheServerWhenItCanRunAloneWhenNot) {
  Start({.network = false});
  EXPECT_EQ(desktop_->Branch(), StartupBranch::kNetworkMissing);
  SetupDialog* setup = OpenedSetup();
  ASSERT_NE(setup, nullptr);
  EXPECT_TRUE(setup->isVisible());
  EXPECT_FALSE(setup->isModal());
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kNetworkTab);
  EXPECT_TRUE(Window().isVisible());
  // Users exist, so the listener runs on a port of the platform's choosing.
  EXPECT_EQ(ListenerState(), kSocketListening);
  // The list is read although the port was missing, so saving the setup keeps it, and the
  // saved port is listened on at once.
  EXPECT_EQ(setup->findChild<QTreeWidget*>("ListView1")->topLevelItemCount(), 1);
  auto* port = setup->findChild<QLineEdit*>("txtPort");
  ASSERT_NE(port, nullptr);
  port->setText(QString::number(port_));
  setup->findChild<QPushButton*>("cmdSetup_0")->click();
  ASSERT_TRUE(WaitUntil([this] { return desktop_->Setup() == nullptr; }, kServerWaitMs));
  EXPECT_NE(Client(true), nullptr);
  PublishedList stored;
  EXPECT_TRUE(SettingsFiles(dir_.path()).LoadDatabaseList(stored));
  EXPECT_EQ(stored.size(), 1u);

  desktop_.reset();
  server_.reset();
  QFile::remove(Path("database.dat"));
  Start({.databases = false});
  EXPECT_EQ(desktop_->Branch(), StartupBranch::kDatabasesMissing);
  ASSERT_NE(OpenedSetup(), nullptr);
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kDatabaseTab);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(ListenerState(), kSocketListening);

  // Missing users show only the setup, and no listener, until it is done.
  desktop_->RunSessionEnd();
  desktop_.reset();
  server_.reset();
  QFile::remove(Path("registry.db"));
  Start({.users = false});
  EXPECT_EQ(desktop_->Branch(), StartupBranch::kUsersMissing);
  setup = OpenedSetup();
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup->findChild<QTreeWidget*>("ListView1")->topLevelItemCount(), 1);
  EXPECT_EQ(desktop_->SetupTab(), SetupDialog::kUsersTab);
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(ListenerState(), kSocketClosed);
  Q_EMIT setup->Finished();
  EXPECT_TRUE(Window().isVisible());
}

TEST_F(StartupTest, ACompleteSetupIsCheckedThenShowsTheServerAloneWhichTheOperatorCannotClose) {
  Start({});
  EXPECT_EQ(desktop_->Branch(), StartupBranch::kReady);
  // The check's steps came to its window, which went when it was done.
  EXPECT_EQ(desktop_->Checking().DatabaseLabel(), "sample.db");
  EXPECT_FALSE(desktop_->Checking().isVisible());
  EXPECT_EQ(desktop_->Setup(), nullptr);
  EXPECT_TRUE(Window().isVisible());
  EXPECT_TRUE(ShowsLastEvent("Server Started"));
  EXPECT_EQ(Window().PanelText(1), "Status: Listening");
  EXPECT_EQ(Window().PanelText(2), "Port: " + QString::number(port_));
  EXPECT_FALSE(Window().close());
  EXPECT_TRUE(Window().isVisible());
  EXPECT_FALSE(desktop_->Unloaded());
}

TEST_F(StartupTest, RunMinimizedLeavesOnlyTheTrayIconOrAMinimizedWindowWithoutOne) {
  Start({.runMinimized = true});
  ASSERT_TRUE(WaitUntil([this] { return !Window().isVisible(); }, kServerWaitMs));
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

TEST_F(StartupTest, SessionEndUnloadsWithoutAskingAndWritesOnlyThePlacement) {
  Start({.databases = false});
  ASSERT_NE(OpenedSetup(), nullptr);
  QFile::remove(Path("network.dat"));
  QFile::remove(Path("general.dat"));
  desktop_->RunSessionEnd();
  EXPECT_TRUE(desktop_->Unloaded());
  EXPECT_TRUE(prompts_.boxes.empty());
  EXPECT_TRUE(QFile::exists(Path("User.dat")));
  for (const char* file : {"network.dat", "general.dat", "database.dat"}) {
    EXPECT_FALSE(QFile::exists(Path(file))) << file;
  }
  EXPECT_TRUE(ShowsLastEvent("Server Shutdown"));
  EXPECT_EQ(ListenerState(), kSocketClosed);
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
