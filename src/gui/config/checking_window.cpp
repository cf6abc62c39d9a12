#include "gui/config/checking_window.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMovie>
#include <QScreen>

namespace corvane {
namespace {

QLabel* NamedLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

CheckingWindow::CheckingWindow(const QString& animationFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("frmChecking"));
  setWindowTitle(QStringLiteral("Corvane Database Server"));
  setModal(false);

  auto* grid = new QGridLayout(this);
  auto* title = NamedLabel(QStringLiteral("Label1"), QStringLiteral("Checking Database"), this);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  grid->addWidget(title, 0, 0, 1, 2);
  grid->addWidget(NamedLabel(QStringLiteral("Label2"), QStringLiteral("Please wait..."), this), 1,
                  0, 1, 2);
  grid->addWidget(NamedLabel(QStringLiteral("Label3"), QStringLiteral("Database: "), this), 2, 0);
  database_ = NamedLabel(QStringLiteral("lblDatabase"), QStringLiteral("Database Name"), this);
  grid->addWidget(database_, 2, 1);
  heading_ = NamedLabel(QStringLiteral("lblHeading"), QStringLiteral("Table "), this);
  grid->addWidget(heading_, 3, 0);
  object_ = NamedLabel(QStringLiteral("lblObject"), QStringLiteral("Table Name"), this);
  grid->addWidget(object_, 3, 1);
  grid->setColumnMinimumWidth(1, 220);
  grid->setColumnStretch(1, 1);

  animationLabel_ = NamedLabel(QStringLiteral("Animation1"), QString(), this);
  grid->addWidget(animationLabel_, 0, 2, 4, 1, Qt::AlignCenter);
  if (!animationFile.isEmpty() && QFileInfo(animationFile).isFile()) {
    animation_ = new QMovie(animationFile, QByteArray(), this);
    animationLabel_->setMovie(animation_);
  } else {
    animationLabel_->hide();
  }
}

QString CheckingWindow::AnimationFileIn(const QString& programDir) {
  return QDir(programDir).filePath(QStringLiteral("findfile.gif"));
}

void CheckingWindow::SetHeading(const QString& text) { heading_->setText(text); }
void CheckingWindow::SetDatabaseLabel(const QString& text) { database_->setText(text); }
void CheckingWindow::SetObjectLabel(const QString& text) { object_->setText(text); }

QString CheckingWindow::Heading() const { return heading_->text(); }
QString CheckingWindow::DatabaseLabel() const { return database_->text(); }
QString CheckingWindow::ObjectLabel() const { return object_->text(); }

bool CheckingWindow::AnimationPlaying() const {
  return animation_ && animation_->state() == QMovie::Running;
}

void CheckingWindow::ShowChecking() {
  adjustSize();
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  if (animation_ && animation_->isValid()) animation_->start();
  show();
  raise();
}

void CheckingWindow::Unload() {
  if (animation_) animation_->stop();
  unloading_ = true;
  close();
  unloading_ = false;
}

void CheckingWindow::closeEvent(QCloseEvent* event) {
  // Only the check itself ends the window; the title bar and Alt+F4 do not.
  if (unloading_) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void CheckingWindow::keyPressEvent(QKeyEvent* event) {
  // Escape would reject (close) a dialog.
  if (event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace corvane
