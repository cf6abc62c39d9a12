// The About window and the database check's progress window.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "desktop_fixture.h"
#include "gui/config/checking_window.h"
#include "gui/desktop/about_window.h"
#include "gui/desktop/desktop_links.h"

namespace corvane::test {
namespace {

TEST_F(DesktopTest, AboutShowsTheProductAndClosesOnOkOrLosingTheFocus) {
  Start({});
  Window().findChild<QAction*>("mAbout")->trigger();
  QPointer<AboutWindow> about = desktop_->About();
  ASSERT_TRUE(about);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->windowTitle(), "About Corvane Database");
  QStringList texts;
  for (const QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
  for (const char* text : {"Corvane Database", "Version 5.0", "Quillon Software",
                           "Running on: ", "WORKSTATION-0815"}) {
    EXPECT_TRUE(texts.contains(text)) << text;
  }
  about->findChild<QLabel*>("lblWeb")->linkActivated("https://www.quillon.example/");
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], QUrl("https://www.quillon.example/"));

  QTest::mouseClick(about->findChild<QPushButton*>("Command1"), Qt::LeftButton);
  QTRY_VERIFY(!about);
  EXPECT_TRUE(Window().isVisible());
  // It also closes when it loses the focus.
  desktop_->ShowAbout();
  about = desktop_->About();
  ASSERT_TRUE(about);
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(about, &deactivate);
  QTRY_VERIFY(!about);
}

TEST(CheckingWindowTest, ShowsProgressStaysOnTopAndOnlyTheCheckClosesIt) {
  CheckingWindow checking(CheckingWindow::AnimationFileIn("/nonexistent"));
  EXPECT_EQ(checking.objectName(), "frmChecking");
  EXPECT_EQ(checking.windowTitle(), "Corvane Database Server");
  EXPECT_TRUE(checking.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(checking.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(checking.Heading(), "Table ");
  checking.SetHeading("Query: ");
  checking.SetDatabaseLabel("Orders.mdb");
  checking.SetObjectLabel("Totals");
  checking.ShowChecking();
  EXPECT_TRUE(checking.isVisible());
  EXPECT_EQ(checking.Heading(), "Query: ");
  EXPECT_EQ(checking.DatabaseLabel(), "Orders.mdb");
  EXPECT_EQ(checking.ObjectLabel(), "Totals");
  EXPECT_FALSE(checking.AnimationPlaying());  // no animation file

  EXPECT_FALSE(checking.close());
  QTest::keyClick(&checking, Qt::Key_Escape);
  EXPECT_TRUE(checking.isVisible());
  checking.Unload();
  EXPECT_FALSE(checking.isVisible());
}

}  // namespace
}  // namespace corvane::test

namespace corvane::test {
namespace {

TEST(HelpContentsTest, ManualBesideTheExecutableOrInstalled) {
  QTemporaryDir dir;
  const QString bin = dir.filePath("bin");
  QDir().mkpath(bin);
  EXPECT_EQ(HelpContentsPath(bin), QString());
  QDir().mkpath(dir.filePath("share/corvane-server/help"));
  QFile installed(dir.filePath("share/corvane-server/help/index.html"));
  ASSERT_TRUE(installed.open(QIODevice::WriteOnly));
  installed.close();
  EXPECT_EQ(HelpContentsPath(bin), installed.fileName());
  QDir().mkpath(bin + "/help");
  QFile beside(bin + "/help/index.html");
  ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
  beside.close();
  EXPECT_EQ(HelpContentsPath(bin), beside.fileName());
}

}  // namespace
}  // namespace corvane::test
