// The main window's menus, keys, status panels, lists and layout.
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeView>

#include "desktop_fixture.h"
#include "transport/tcp/connection_limits.h"

namespace corvane::test {
namespace {

QStringList Captions(const QList<QAction*>& actions) {
  QStringList captions;
  for (const QAction* action : actions) {
    captions << (action->isSeparator() ? "-" + action->objectName() : action->text());
  }
  return captions;
}

TEST_F(DesktopTest, MenusCarryTheirCaptionsInOrder) {
  Start({});
  const QList<QAction*> bar = Window().menuBar()->actions();
  EXPECT_EQ(Captions(bar), (QStringList{"&Exit", "&View", "&Setup", "&Help"}));
  EXPECT_EQ(Captions(bar[1]->menu()->actions()),
            (QStringList{"Clear Activity", "-Sep4", "Refresh...          F5"}));
  EXPECT_EQ(Captions(bar[3]->menu()->actions()),
            (QStringList{"Contents...                     F1", "-mSep2", "Contact Quillon Software",
                         "-Sep3", "About Corvane Database"}));
  for (const char* name :
       {"mExit", "mClearActivity", "mRefresh", "mSetup", "mCDBhelp", "mContact", "mAbout"}) {
    EXPECT_NE(Window().findChild<QAction*>(name), nullptr) << name;
  }
  auto* frame1 = Window().findChild<QGroupBox*>("Frame1");
  auto* frame2 = Window().findChild<QGroupBox*>("Frame2");
  ASSERT_TRUE(frame1 && frame2);
  EXPECT_EQ(frame1->title(), " Current Activity ");
  EXPECT_EQ(frame2->title(), " Current Users ");
  auto* users = Window().findChild<QTreeView*>("ListView1");
  ASSERT_NE(users, nullptr);
  EXPECT_EQ(users->model()->headerData(2, Qt::Horizontal).toString(), "Remote I.P.");
  EXPECT_NE(frame1->findChild<QTreeView*>("whList"), nullptr);
}

TEST_F(DesktopTest, RefreshDropsSilentConnectionsAndReportsLeavers) {
  Start({});
  auto silent = Client(false);
  auto leaver = Client(true);
  EXPECT_EQ(server_->Slots().CurrentUsers().rowCount(), 1);
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
  EXPECT_EQ(server_->Slots().CurrentUsers().rowCount(), 0);
  EXPECT_EQ(Window().PanelText(3), "Users: 0");
}

TEST_F(DesktopTest, ClearActivityKeepsTheFirstRow) {
  Start({});
  QAction* clear = Window().findChild<QAction*>("mClearActivity");
  clear->trigger();  // one row: nothing to do
  ASSERT_EQ(server_->ActivityRows().rowCount(), 1);
  server_->Activity().LogServerEvent("ServerStart");
  server_->Activity().LogServerEvent("ServerStart");
  clear->trigger();
  ASSERT_EQ(server_->ActivityRows().rowCount(), 1);
  EXPECT_EQ(server_->ActivityRows().Row(0).event, "Server Started");
}

TEST_F(DesktopTest, FunctionKeysAndHelpMenuOpenTheManualAndTheVendor) {
  Start({});
  QTest::keyClick(&Window(), Qt::Key_F1);  // no manual: nothing opens
  EXPECT_TRUE(opened_.empty());

  QDir().mkpath(Path("bin/help"));
  QFile manual(Path("bin/help/index.html"));
  ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
  manual.close();
  QTest::keyClick(Window().findChild<QTreeView*>("whList"), Qt::Key_F1);
  Window().findChild<QAction*>("mCDBhelp")->trigger();
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(Path("bin/help/index.html")));

  Window().findChild<QAction*>("mContact")->trigger();
  EXPECT_EQ(opened_.back(), QUrl("https://www.quillon.example/"));
}

TEST_F(DesktopTest, ResizeLaysTheFramesOutInTwips) {
  Start({});
  Window().resize(900, 600);
  QCoreApplication::processEvents();
  auto* frame1 = Window().findChild<QGroupBox*>("Frame1");
  auto* frame2 = Window().findChild<QGroupBox*>("Frame2");
  auto* list = Window().findChild<QTreeView*>("whList");
  const int height = Window().frameGeometry().height();
  EXPECT_EQ(frame1->width(), 900 - 40);
  EXPECT_NEAR(frame1->height(), height * 2 / 5.0, 1);
  EXPECT_NEAR(frame2->y(), frame1->y() + frame1->height() + 16, 1);
  EXPECT_EQ(list->width(), frame1->width() - 32);
  EXPECT_NEAR(list->header()->sectionSize(2), list->width() / 14.0 * 3.8, 1);
}

TEST_F(DesktopTest, MinimizingHidesToTheTrayAndADoubleClickRestores) {
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
