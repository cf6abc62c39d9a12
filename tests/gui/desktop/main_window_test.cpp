// What the main window's refresh, keys and tray icon do.
#include <QAction>
#include <QTest>
#include <QTreeView>

#include "desktop_fixture.h"
#include "gui/desktop/desktop_links.h"
#include "transport/tcp/connection_limits.h"

namespace corvane::test {
namespace {

TEST_F(DesktopTest, RefreshDropsSilentConnectionsAndReportsLeavers) {
  Start({});
  auto silent = Client(false);
  auto leaver = Client(true);
  const int rowsBefore = server_->ActivityRows().rowCount();
  // A refresh leaves a new connection time to log on; after that it goes.
  QTest::keyClick(&Window(), Qt::Key_F5);
  EXPECT_FALSE(silent->WaitForDisconnected(200));
  QTest::qWait(kLogonGraceMs);
  QTest::keyClick(&Window(), Qt::Key_F5);
  EXPECT_TRUE(silent->WaitForDisconnected(3000));
  EXPECT_EQ(server_->ActivityRows().rowCount(), rowsBefore);  // nothing logged for it
  EXPECT_EQ(Window().PanelText(3), "Users: 1");

  leaver->Disconnect();
  QTRY_COMPARE(server_->Slots().SlotState(1), 8);  // the peer is closing
  Window().findChild<QAction*>("mRefresh")->trigger();
  EXPECT_EQ(LastEvent(), "User Logoff");
  EXPECT_EQ(Window().PanelText(3), "Users: 0");
}

TEST_F(DesktopTest, HelpOpensTheManualBesideTheExecutableOrInstalledAndContactTheVendor) {
  Start({});
  QTest::keyClick(&Window(), Qt::Key_F1);  // no manual: nothing opens
  EXPECT_TRUE(opened_.empty());
  const QString installed = Path("share/corvane-server/help/index.html");
  QDir().mkpath(QFileInfo(installed).path());
  QDir().mkpath(Path("bin"));
  ASSERT_TRUE(QFile(installed).open(QIODevice::WriteOnly));
  EXPECT_EQ(HelpContentsPath(Path("bin")), installed);
  QDir().mkpath(Path("bin/help"));
  ASSERT_TRUE(QFile(Path("bin/help/index.html")).open(QIODevice::WriteOnly));
  QTest::keyClick(Window().findChild<QTreeView*>("whList"), Qt::Key_F1);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(Path("bin/help/index.html")));
  Window().findChild<QAction*>("mContact")->trigger();
  EXPECT_EQ(opened_.back(), QUrl("https://www.quillon.example/"));
}

TEST_F(DesktopTest, MinimizingHidesToTheTrayAndOnlyADoubleClickRestores) {
  Start({});
  Window().showMinimized();
  EXPECT_TRUE(desktop_->Tray().Shown());
  QTRY_VERIFY(!Window().isVisible());
  desktop_->Tray().SimulateClick();
  EXPECT_FALSE(Window().isVisible());
  desktop_->Tray().SimulateDoubleClick();
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(Window().windowState(), Qt::WindowNoState);
  EXPECT_FALSE(desktop_->Tray().Shown());
}

}  // namespace
}  // namespace corvane::test
