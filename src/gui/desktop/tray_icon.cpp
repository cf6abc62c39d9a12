#include "gui/desktop/tray_icon.h"

namespace corvane {

TrayIcon::TrayIcon(const QIcon& icon, bool available, QObject* parent)
    : QObject(parent), icon_(icon), available_(available) {
  icon_.setToolTip(QString::fromLatin1(kTip));
  connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
}

void TrayIcon::Add() {
  if (available_ && !icon_.isVisible()) icon_.show();
}

void TrayIcon::Remove() {
  if (icon_.isVisible()) icon_.hide();
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
  // Single clicks and the context click do nothing.
  if (reason == QSystemTrayIcon::DoubleClick) Q_EMIT RestoreRequested();
}

}  // namespace corvane
