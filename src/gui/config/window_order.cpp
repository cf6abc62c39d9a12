#include "gui/config/window_order.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace corvane {

void SetDialogTopmost(QWidget* window, bool topmost) {
  if (window == nullptr || IsDialogTopmost(window) == topmost) return;
  Qt::WindowFlags flags = window->windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, topmost);
  if (QWindow* handle = window->windowHandle(); handle != nullptr && window->isVisible()) {
    // setWindowFlags would re-create a shown window: it would blink and lose the
    // activation. The platform window takes the change in place instead.
    window->overrideWindowFlags(flags);
    handle->setFlags(flags);
  } else {
    window->setWindowFlags(flags);
  }
}

bool IsDialogTopmost(const QWidget* window) {
  return window != nullptr && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void UseFixedSizeFrame(QWidget* window) {
  Qt::WindowFlags flags =
      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
  flags.setFlag(Qt::WindowStaysOnTopHint, IsDialogTopmost(window));
  window->setWindowFlags(flags);
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
