#include "gui/server/message_box_prompts.h"

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

QString MessageBoxPrompts::DisplayText(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

bool MessageBoxPrompts::ConfirmOkCancel(const QString& text, const QString& title, Icon icon) {
  QMessageBox box(BoxIcon(icon), title, DisplayText(text), QMessageBox::Ok | QMessageBox::Cancel,
                  parent_);
  UseFixedSizeFrame(&box);
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

void MessageBoxPrompts::ShowMessage(const QString& text, const QString& title, Icon icon) {
  QMessageBox box(BoxIcon(icon), title, DisplayText(text), QMessageBox::Ok, parent_);
  UseFixedSizeFrame(&box);
  box.exec();
}

}  // namespace corvane
