#include "gui/config/window_order.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace corvane {

void SetDialogTopmost(QWidget* window, bool topmost) {
  if (window == nullptr || IsDialogTopmost(window) == topmost) return;
  const bool shown = window->isVisible();
  window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
  // setWindowFlag hides a shown window; bring it back where it was, without taking the
  // activation from the window that has it.
  if (shown) {
    const bool quiet = window->testAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_ShowWithoutActivating, true);
    window->show();
    window->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
  }
}

bool IsDialogTopmost(const QWidget* window) {
  return window != nullptr && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void CenterDialog(QWidget* window) {
  if (window == nullptr) return;
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  const QSize size = window->frameGeometry().size();
  window->move(area.x() + (area.width() - size.width()) / 2,
               area.y() + (area.height() - size.height()) / 2);
}

}  // namespace corvane
