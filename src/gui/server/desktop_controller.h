#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "server/startup_branch.h"
#include "gui/config/checking_progress.h"
#include "gui/desktop/desktop_links.h"

namespace corvane {

class AboutWindow;
class CheckingWindow;
class MainWindow;
class ServerInstance;
class SetupDialog;
class TrayIcon;

// What the desktop offers the program; tests replace the browser and the tray.
struct DesktopOptions {
  QString executableDir;  // where the operator's manual lies
  UrlOpener openUrl;
  bool trayAvailable = true;
  QString computerName;
};

// The desktop program around one server: the start-up routine's windows, the commands of
// the main window that involve other windows, and the unload sequence.
class DesktopController : public QObject {
  Q_OBJECT

 public:
  DesktopController(ServerInstance& server, DesktopOptions options, QObject* parent = nullptr);
  ~DesktopController() override;

  // The start-up routine once the settings are known: loads the main window, opens the
  // setup dialog on the tab that needs attention, and shows the window (or the tray icon).
  StartupBranch Start();

  MainWindow& Window() { return *window_; }
  TrayIcon& Tray() { return *tray_; }
  // The open setup dialog, the About window, or nullptr.
  SetupDialog* Setup() const;
  AboutWindow* About() const;
  // The database check's progress window, created on first use.
  CheckingWindow& Checking();
  // The tab the setup dialog was last opened on by the start-up; -1 when none was chosen.
  int SetupTab() const { return setupTab_; }

  // "&Setup": offers to disconnect the users, closes the listener and opens the dialog.
  void RunSetupCommand();
  // "&Exit": asks, then saves the settings files and unloads.
  void RunExitCommand();
  // The desktop session ends (logout, system shutdown): the unload sequence without the
  // question; only User.dat is written.
  void RunSessionEnd();
  void ShowHelpContents();
  void ShowAbout();
  bool Unloaded() const { return unloaded_; }

 Q_SIGNALS:
  // The unload sequence ran: the program is to end.
  void Ended();

 private:
  void OpenSetup(int tab);
  void OnSetupFinished();
  // Step 5 of the start-up: the window shown normally, or minimized to the tray.
  void ShowAtStart();
  void Unload();

  ServerInstance& server_;
  DesktopOptions options_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<MainWindow> window_;
  QPointer<SetupDialog> setup_;
  QPointer<AboutWindow> about_;
  std::unique_ptr<CheckingWindow> checking_;
  std::unique_ptr<CheckingWindowProgress> checkProgress_;
  int setupTab_ = -1;
  bool unloaded_ = false;
};

// The desktop program on `programDir` until the operator exits; the process exit code.
// A second start on the same directory ends at once, without a message.
int RunDesktop(const QString& programDir);

}  // namespace corvane
