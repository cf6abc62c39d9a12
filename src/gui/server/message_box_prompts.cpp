#include "gui/server/message_box_prompts.h"

#include <QApplication>
#include <QMessageBox>

#include "gui/config/window_order.h"

namespace corvane {
namespace {

QMessageBox::Icon BoxIcon(OperatorPrompts::Icon icon) {
  switch (icon) {
    case OperatorPrompts::Icon::Critical:
      return QMessageBox::Critical;
    case OperatorPrompts::Icon::Question:
      return QMessageBox::Question;
    case OperatorPrompts::Icon::Exclamation:
      return QMessageBox::Warning;
    case OperatorPrompts::Icon::Information:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QWidget* MessageBoxPrompts::Owner() const {
  // A box asked for from a dialog kept above the other windows (the setup, the user
  // editor) belongs to it and stays above it too: that dialog never has to step down, which
  // without a compositor left it black behind the box.
  QWidget* active = QApplication::activeModalWidget();
  if (active == nullptr) active = QApplication::activeWindow();
  if (active != nullptr && active->isVisible() && IsDialogTopmost(active)) return active;
  return parent_;
}

void MessageBoxPrompts::Prepare(QMessageBox& box) const {
  box.setWindowFlag(Qt::WindowStaysOnTopHint, IsDialogTopmost(box.parentWidget()));
  UseFixedSizeFrame(&box);
}

QString MessageBoxPrompts::DisplayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

bool MessageBoxPrompts::ConfirmOkCancel(const QString& text, const QString& title, Icon icon) {
  QMessageBox box(BoxIcon(icon), title, DisplayText(text), QMessageBox::Ok | QMessageBox::Cancel,
                  Owner());
  Prepare(box);
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

void MessageBoxPrompts::ShowMessage(const QString& text, const QString& title, Icon icon) {
  const QString key = title + QLatin1Char('\n') + text;
  if (shown_.contains(key)) return;
  shown_.insert(key);
  QMessageBox box(BoxIcon(icon), title, DisplayText(text), QMessageBox::Ok, Owner());
  Prepare(box);
  box.exec();
  shown_.remove(key);
}

}  // namespace corvane
