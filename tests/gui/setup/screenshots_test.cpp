// Pictures of the setup dialog, the user editor, the About window and the database check's
// window for the documentation. Runs only when CORVANE_SCREENSHOT_DIR names the folder to
// write them to (scripts/screenshots-setup.sh, scripts/screenshots.sh).

#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QTabWidget>

#include "gui/config/checking_window.h"
#include "gui/config/user_editor.h"
#include "gui/desktop/about_window.h"
#include "setup_fixture.h"

namespace corvane::test {
namespace {

// The window's picture under a plain title bar, since offscreen windows have no frame.
QImage Framed(QWidget* window) {
  const QPixmap body = window->grab();
  const int bar = 26;
  QImage image(body.width() + 2, body.height() + bar + 1, QImage::Format_RGB32);
  image.fill(QColor(0x40, 0x40, 0x48));
  QPainter painter(&image);
  painter.fillRect(1, 1, image.width() - 2, bar - 1, QColor(0x1f, 0x4e, 0x8c));
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(8, 1, image.width() - 16, bar - 1), Qt::AlignVCenter,
                   window->windowTitle());
  painter.drawPixmap(1, bar, body);
  return image;
}

class SetupScreenshots : public SetupFixture {
 protected:
  void SetUp() override {
    outDir_ = qEnvironmentVariable("CORVANE_SCREENSHOT_DIR");
    if (outDir_.isEmpty()) GTEST_SKIP() << "set CORVANE_SCREENSHOT_DIR to take the pictures";
    ASSERT_TRUE(QDir().mkpath(outDir_));
  }
  void Write(const QImage& image, const char* name) {
    const QString path = QDir(outDir_).filePath(QString::fromLatin1(name));
    EXPECT_TRUE(image.save(path)) << path.toStdString();
  }
  QString outDir_;
};

TEST_F(SetupScreenshots, EveryTabAndAUserEditorMessage) {
  StoreUsers({{"DEMO", "DEMO", "40713958"}, {"HANDHELD2", "PW", "71302846"}});
  Configure(
      [](ServerSettings& s) {
        s.ListenPort = 5000;
        s.RefreshRate = 5;
        s.KeepLogFile = 1;
        s.EncryptionEnabled = 1;
        s.AllowMultipleLogons = 1;
        s.InactivityLimit = 15;
      },
      PublishedList{{"sample.db", "/srv/corvane/sample.db"}});

  SetupDialog& dialog = OpenDialog();
  dialog.show();
  const char* names[] = {"setup-database.png", "setup-general.png", "setup-network.png",
                         "setup-users.png"};
  for (int tab = 0; tab < 4; ++tab) {
    dialog.SelectTab(tab);
    QApplication::processEvents();
    Write(Framed(&dialog), names[tab]);
  }

  Click("cmdAddUser");
  UserEditor* editor = dialog.OpenUserEditor();
  ASSERT_NE(editor, nullptr);
  Type(editor->findChild<QLineEdit*>("Text1_0"), "handheld3");
  Type(editor->findChild<QLineEdit*>("Text1_1"), "secret");
  Type(editor->findChild<QLineEdit*>("Text1_2"), "secrte");
  editor->findChild<QPushButton*>("Command1_0")->click();
  ASSERT_FALSE(prompts_.boxes.empty());
  const RecordingPrompts::Box& shown = prompts_.boxes.back();

  QMessageBox box(QMessageBox::Critical, shown.title, QString(shown.text).replace('\r', '\n'),
                  QMessageBox::Ok);
  box.show();
  QApplication::processEvents();
  const QImage editorImage = Framed(editor);
  const QImage boxImage = Framed(&box);
  QImage scene(qMax(editorImage.width(), boxImage.width() + 60),
               editorImage.height() + boxImage.height() - 10, QImage::Format_RGB32);
  scene.fill(QColor(0x6b, 0x7b, 0x8c));
  QPainter painter(&scene);
  painter.drawImage(0, 0, editorImage);
  painter.drawImage(60, editorImage.height() - 20, boxImage);
  painter.end();
  Write(scene, "user-editor-message.png");
}

TEST_F(SetupScreenshots, TheAboutWindowAndTheDatabaseCheck) {
  AboutWindow about(AboutWindow::ComputerName(), {});
  about.show();
  QApplication::processEvents();
  Write(Framed(&about), "about-window.png");

  CheckingWindow checking(CheckingWindow::AnimationFileIn(QDir::currentPath()));
  checking.setWindowTitle(QStringLiteral("Corvane Database Server"));
  checking.SetHeading(QStringLiteral("Table: "));
  checking.SetDatabaseLabel(QStringLiteral("sample.db"));
  checking.SetObjectLabel(QStringLiteral("Products"));
  checking.ShowChecking();
  QApplication::processEvents();
  Write(Framed(&checking), "checking-window.png");
}

}  // namespace
}  // namespace corvane::test
