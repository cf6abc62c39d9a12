#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "gui/config/checking_progress.h"
#include "gui/desktop/desktop_links.h"
#include "server/startup_branch.h"

namespace corvane {

class AboutWindow;
class CheckingWindow;
class MainWindow;
class OperatorPrompts;
class ServerThread;
class SetupDialog;
class TrayIcon;

// What the desktop offers the program; tests replace the browser and the tray.
struct DesktopOptions {
  QString executableDir;  // where the operator's manual lies
  UrlOpener openUrl;
  bool trayAvailable = true;
  QString computerName;
};

// The desktop program around one server whose event loop runs on a thread of its own: the
// start-up routine's windows, the commands of the main window that involve other windows,
// and the unload sequence. The questions (exit, setup) are asked here, before the server is
// told what to do.
class DesktopController : public QObject {
  Q_OBJECT

 public:
  DesktopController(ServerThread& server, OperatorPrompts& prompts, DesktopOptions options,
                    QObject* parent = nullptr);
  ~DesktopController() override;

  // The start-up routine: the server starts (the checking window shows its check); once it
  // has, the main window loads, the setup dialog opens on the tab that needs attention, and
  // the window (or the tray icon) shows. Started follows.
  void Start();
  // How the start-up went; valid once Started was signalled.
  StartupBranch Branch() const { return branch_; }

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
  // The start-up routine is done: windows loaded, the setup (when needed) on its way.
  void Started(corvane::StartupBranch branch);
  // The unload sequence ran: the program is to end.
  void Ended();

 private:
  void OnStarted(StartupBranch branch);
  // Opens the setup dialog on `tab` (-1 keeps the current one), filled from the server.
  void OpenSetup(int tab);
  void OnSetupFinished();
  // Step 5 of the start-up: the window shown normally, or minimized to the tray.
  void ShowAtStart();
  bool ConfirmExit(int connected);
  void Unload(bool saveSettings);

  ServerThread& server_;
  OperatorPrompts& prompts_;
  DesktopOptions options_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<MainWindow> window_;
  QPointer<SetupDialog> setup_;
  QPointer<AboutWindow> about_;
  std::unique_ptr<CheckingWindow> checking_;
  std::unique_ptr<CheckingWindowProgress> checkProgress_;
  StartupBranch branch_ = StartupBranch::kReady;
  int setupTab_ = -1;
  bool setupOpening_ = false;
  bool starting_ = false;
  bool unloaded_ = false;
};

// The desktop program on `programDir` until the operator exits; the process exit code.
// A second start on the same directory ends at once, without a message.
int RunDesktop(const QString& programDir);

}  // namespace corvane
