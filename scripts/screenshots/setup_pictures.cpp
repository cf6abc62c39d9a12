// Pictures of the setup dialog (each tab, with a published database and two users), of the
// user editor showing a validation message, of the About window and of the database check's
// window, for the documentation. Drawn offscreen into the folder named on the command line
// (scripts/screenshots-setup.sh runs it).
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "gui/config/checking_window.h"
#include "gui/config/setup_dialog.h"
#include "gui/config/user_editor.h"
#include "gui/desktop/about_window.h"
#include "server/operator_prompts.h"
#include "server/server_thread.h"

namespace corvane {
namespace {

// Keeps the last message box instead of showing it, so that it can be drawn over its window.
class LastBox : public OperatorPrompts {
 public:
  bool ConfirmOkCancel(const QString& text, const QString& title, Icon) override {
    text_ = text;
    title_ = title;
    return true;
  }
  void ShowMessage(const QString& text, const QString& title, Icon icon) override {
    ConfirmOkCancel(text, title, icon);
  }
  QString text_;
  QString title_;
};

// The window's picture under a plain title bar, since offscreen windows have no frame.
QImage Framed(QWidget* window) {
  QApplication::processEvents();
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

bool Write(const QDir& out, const QImage& image, const char* name) {
  const QString path = out.filePath(QString::fromLatin1(name));
  if (image.save(path)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

// What the setup dialog is filled from: two users, one published database, the options the
// pictures show.
SetupValues PictureValues() {
  SetupValues values;
  ServerSettings& settings = values.settings;
  settings.ListenPort = 5000;
  settings.RefreshRate = 5;
  settings.KeepLogFile = 1;
  settings.EncryptionEnabled = 1;
  settings.AllowMultipleLogons = 1;
  settings.InactivityLimit = 15;
  values.published = {{"sample.db", "/srv/corvane/sample.db"}};
  values.users = {{"DEMO", "DEMO", "40713958"}, {"HANDHELD2", "PW", "71302846"}};
  return values;
}

bool SetupPictures(const QDir& out) {
  QTemporaryDir folder;
  LastBox prompts;
  // A server that is never started: the dialog only asks it for its folder.
  ServerThread server(folder.path(), prompts, HostIdentity{"TESTHOST", "127.0.0.1"});
  SetupDialog dialog(server, prompts, PictureValues());
  dialog.show();
  bool ok = true;
  const char* names[] = {"setup-database.png", "setup-general.png", "setup-network.png",
                         "setup-users.png"};
  for (int tab = 0; tab < 4; ++tab) {
    dialog.SelectTab(tab);
    ok = Write(out, Framed(&dialog), names[tab]) && ok;
  }

  dialog.findChild<QPushButton*>(QStringLiteral("cmdAddUser"))->click();
  UserEditor* editor = dialog.OpenUserEditor();
  if (!editor) return false;
  const char* typed[] = {"handheld3", "secret", "secrte"};
  for (int i = 0; i < 3; ++i)
    editor->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(i))->setText(typed[i]);
  editor->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
  QMessageBox box(QMessageBox::Critical, prompts.title_, QString(prompts.text_).replace('\r', '\n'),
                  QMessageBox::Ok);
  box.show();
  const QImage editorImage = Framed(editor);
  const QImage boxImage = Framed(&box);
  QImage scene(qMax(editorImage.width(), boxImage.width() + 60),
               editorImage.height() + boxImage.height() - 10, QImage::Format_RGB32);
  scene.fill(QColor(0x6b, 0x7b, 0x8c));
  QPainter painter(&scene);
  painter.drawImage(0, 0, editorImage);
  painter.drawImage(60, editorImage.height() - 20, boxImage);
  painter.end();
  return Write(out, scene, "user-editor-message.png") && ok;
}

bool WindowPictures(const QDir& out) {
  AboutWindow about(AboutWindow::ComputerName(), {});
  about.show();
  const bool ok = Write(out, Framed(&about), "about-window.png");

  CheckingWindow checking(CheckingWindow::AnimationFileIn(QDir::currentPath()));
  checking.setWindowTitle(QStringLiteral("Corvane Database Server"));
  checking.SetHeading(QStringLiteral("Table: "));
  checking.SetDatabaseLabel(QStringLiteral("sample.db"));
  checking.SetObjectLabel(QStringLiteral("Products"));
  checking.ShowChecking();
  return Write(out, Framed(&checking), "checking-window.png") && ok;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2 || !QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const bool setup = corvane::SetupPictures(out);
  const bool windows = corvane::WindowPictures(out);
  return setup && windows ? 0 : 1;
}
