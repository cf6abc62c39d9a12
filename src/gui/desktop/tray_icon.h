#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

namespace corvane {

// The notification-area icon that stands in for the minimized main window. Where the
// desktop has no notification area the icon is never shown, and the main window stays an
// ordinary minimized window instead of hiding (it could not be brought back otherwise).
class TrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr char kTip[] = "Quillon Software - Corvane Database";

  TrayIcon(const QIcon& icon, bool available, QObject* parent = nullptr);

  static bool PlatformHasTray() { return QSystemTrayIcon::isSystemTrayAvailable(); }

  bool Available() const { return available_; }
  // Shows the icon; a second add while it is shown changes nothing.
  void Add();
  // Harmless when no icon is shown.
  void Remove();
  bool Shown() const { return icon_.isVisible(); }
  QString Tip() const { return icon_.toolTip(); }

  // Acts as if the operator double-clicked the icon.
  void SimulateDoubleClick() { OnActivated(QSystemTrayIcon::DoubleClick); }

 Q_SIGNALS:
  // A double-click on the icon: the main window is to come back.
  void RestoreRequested();

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);

  QSystemTrayIcon icon_;
  bool available_;
};

}  // namespace corvane
