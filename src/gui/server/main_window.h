#pragma once

#include <QMainWindow>
#include <QTimer>
#include <optional>

#include "base/server_settings.h"
#include "server/window_placement.h"

class QGroupBox;
class QLabel;
class QTableView;

namespace corvane {

class ServerThread;
class TrayIcon;

// Lengths of the window's layout are kept in twips, 15 to a pixel.
inline constexpr int kTwipsPerPixel = 15;

// The main window "Corvane Database Server" (Form1): the activity list, the logged-on
// users, the status bar and the menus. It shows the server's lists and status as they come
// in batches from the server's thread. The commands that involve other windows (exit,
// setup, help, About) are signalled to the desktop controller.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(ServerThread& server, TrayIcon& tray, QWidget* parent = nullptr);

  // The load sequence once the server has started: the placement saved in `settings` when
  // it shows the lists (large enough, and on a screen), else the default size in the
  // centre of the screen.
  void Load(const ServerSettings& settings);

  // The placement the window last had in the normal state, in twips, for User.dat; none
  // before the window was loaded (a session that ends during the start-up check must not
  // overwrite the saved placement with nothing).
  std::optional<WindowPlacement> Placement() const {
    return loaded_ ? std::optional<WindowPlacement>(placement_) : std::nullopt;
  }
  // Lets the unload sequence close the window; nothing else can.
  void AllowClose() { closeAllowed_ = true; }
  // Brings the window back from the tray or the task bar.
  void RestoreFromTray();

  // "Clear Activity" and "Refresh..." (F5).
  void ClearActivity();
  void RefreshStatus();

  // Panel 1 (status), 2 (port) or 3 (users).
  QString PanelText(int panel) const;

 Q_SIGNALS:
  void ExitRequested();
  void SetupRequested();
  void HelpRequested();
  void ContactRequested();
  void AboutRequested();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  void BuildLists();
  void ShowStatusTexts();
  // Runs on every size or state change.
  void HandleResize();
  void ApplyLayout();
  void HideToTray();
  // Keeps the placement while the window is in the normal state.
  void RecordPlacement();
  WindowPlacement GeometryInTwips() const;

  ServerThread& server_;
  TrayIcon& tray_;
  QGroupBox* frame1_;
  QGroupBox* frame2_;
  QTableView* activityList_;
  QTableView* usersList_;
  QLabel* panels_[3];
  QTimer scrollTimer_;
  WindowPlacement placement_;
  bool loaded_ = false;
  bool closeAllowed_ = false;
};

}  // namespace corvane
