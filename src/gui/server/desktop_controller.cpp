#include "gui/server/desktop_controller.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTextStream>

#include "gui/config/checking_window.h"
#include "gui/config/setup_dialog.h"
#include "gui/desktop/about_window.h"
#include "gui/desktop/desktop_icon.h"
#include "gui/desktop/tray_icon.h"
#include "gui/server/main_window.h"
#include "gui/server/message_box_prompts.h"
#include "server/instance_lock.h"
#include "server/server_instance.h"
#include "server/termination_signals.h"

namespace corvane {

DesktopController::DesktopController(ServerInstance& server, DesktopOptions options,
                                     QObject* parent)
    : QObject(parent),
      server_(server),
      options_(std::move(options)),
      tray_(std::make_unique<TrayIcon>(DesktopIcon(), options_.trayAvailable)),
      window_(std::make_unique<MainWindow>(server, *tray_)) {
  window_->setWindowIcon(DesktopIcon());
  connect(window_.get(), &MainWindow::ExitRequested, this, &DesktopController::RunExitCommand);
  connect(window_.get(), &MainWindow::SetupRequested, this, &DesktopController::RunSetupCommand);
  connect(window_.get(), &MainWindow::HelpRequested, this, &DesktopController::ShowHelpContents);
  connect(window_.get(), &MainWindow::ContactRequested, this,
          [this] { OpenVendorPage(options_.openUrl); });
  connect(window_.get(), &MainWindow::AboutRequested, this, &DesktopController::ShowAbout);
  connect(tray_.get(), &TrayIcon::RestoreRequested, window_.get(), &MainWindow::RestoreFromTray);
  checkProgress_ = std::make_unique<CheckingWindowProgress>(Checking());
  server_.SetDatabaseCheckProgress(checkProgress_.get());
}

DesktopController::~DesktopController() {
  server_.SetDatabaseCheckProgress(nullptr);
  delete setup_.data();
  delete about_.data();
}

SetupDialog* DesktopController::Setup() const { return setup_.data(); }

AboutWindow* DesktopController::About() const { return about_.data(); }

StartupBranch DesktopController::Start() {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const StartupBranch branch = server_.RunStartup();
  QGuiApplication::restoreOverrideCursor();

  window_->Load();
  switch (branch) {
    case StartupBranch::kNetworkMissing:
      OpenSetup(SetupDialog::kNetworkTab);
      break;
    case StartupBranch::kUsersMissing:
      // Only the setup dialog: the window comes when the setup is done.
      OpenSetup(SetupDialog::kUsersTab);
      return branch;
    case StartupBranch::kDatabasesMissing:
      OpenSetup(SetupDialog::kDatabaseTab);
      break;
    case StartupBranch::kReady:
      break;
  }
  ShowAtStart();
  return branch;
}

void DesktopController::ShowAtStart() {
  if (SettingValue(server_.Settings().RunMinimized) != 0) {
    if (tray_->Available()) {
      window_->setWindowState(Qt::WindowMinimized);
      tray_->Add();
    } else {
      window_->showMinimized();
    }
    return;
  }
  window_->setWindowState(Qt::WindowNoState);
  window_->show();
}

void DesktopController::OpenSetup(int tab) {
  setupTab_ = tab;
  if (setup_) {
    if (tab >= 0) setup_->SelectTab(tab);
    setup_->show();
    setup_->raise();
    setup_->activateWindow();
    return;
  }
  auto* dialog = new SetupDialog(server_, window_.get());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setModal(false);
  dialog->setWindowIcon(DesktopIcon());
  connect(dialog, &SetupDialog::Finished, this, &DesktopController::OnSetupFinished);
  connect(dialog, &SetupDialog::HelpRequested, this, &DesktopController::ShowHelpContents);
  setup_ = dialog;
  if (tab >= 0) dialog->SelectTab(tab);
  dialog->show();
}

void DesktopController::OnSetupFinished() {
  if (unloaded_) return;
  // The next opening fills a new dialog from the server as it now stands.
  if (setup_) setup_->deleteLater();
  setup_ = nullptr;
  // Show the main window again; one waiting in the tray stays there.
  if (window_->isMinimized()) return;
  window_->show();
  window_->raise();
}

void DesktopController::RunSetupCommand() {
  const int disconnected = server_.ConnectedCount();
  if (disconnected > 0) {
    const QString text = QStringLiteral("You have ") + QString::number(disconnected) +
                         QStringLiteral(
                             " user(s)  connected.\r\rWould you like to disconnect "
                             "them before running setup?");
    if (!server_.Prompts().ConfirmOkCancel(text, QStringLiteral("Disconnect Users"),
                                           OperatorPrompts::Icon::Critical)) {
      return;
    }
    server_.DisconnectAllClients();
    QCoreApplication::processEvents();
    if (unloaded_) return;
  }
  // No new clients while the setup is open; closing it starts the listener again.
  server_.BeginSetup(disconnected);
  OpenSetup(-1);
}

void DesktopController::RunExitCommand() {
  if (unloaded_ || !server_.ConfirmExit()) return;
  server_.SaveSettingsFiles();
  Unload();
}

void DesktopController::RunSessionEnd() {
  if (unloaded_) return;
  Unload();
}

void DesktopController::Unload() {
  unloaded_ = true;
  window_->RecordPlacement();
  server_.Unload();
  delete about_.data();
  delete setup_.data();
  if (checking_) checking_->Unload();
  tray_->Remove();
  window_->AllowClose();
  window_->close();
  Q_EMIT Ended();
}

void DesktopController::ShowHelpContents() {
  corvane::ShowHelpContents(options_.executableDir, options_.openUrl);
}

void DesktopController::ShowAbout() {
  if (!about_) {
    about_ = new AboutWindow(options_.computerName, options_.openUrl, window_.get());
    connect(about_, &AboutWindow::OkPressed, window_.get(), [this] {
      if (!window_->isMinimized()) window_->show();
    });
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

CheckingWindow& DesktopController::Checking() {
  if (!checking_) {
    checking_ =
        std::make_unique<CheckingWindow>(CheckingWindow::AnimationFileIn(server_.ProgramDir()));
    checking_->setWindowIcon(DesktopIcon());
  }
  return *checking_;
}

int RunDesktop(const QString& programDir) {
  if (!QFileInfo(programDir).isDir()) {
    QTextStream(stderr) << "corvane-server: the program directory " << programDir
                        << " does not exist" << Qt::endl;
    return 1;
  }
  InstanceLock lock(programDir);
  if (!lock.TryAcquire()) return 0;

  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(DesktopIcon());
  MessageBoxPrompts prompts;
  ServerInstance server(programDir, prompts);
  DesktopOptions options;
  options.executableDir = QCoreApplication::applicationDirPath();
  options.openUrl = DesktopUrlOpener();
  options.trayAvailable = TrayIcon::PlatformHasTray();
  options.computerName = AboutWindow::ComputerName();
  DesktopController desktop(server, options);
  prompts.SetParent(&desktop.Window());

  QObject::connect(&desktop, &DesktopController::Ended, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &desktop,
                   [&desktop](QSessionManager&) { desktop.RunSessionEnd(); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &desktop,
                   [&desktop] { desktop.RunSessionEnd(); });
  // Desktops that end a session by signal rather than by the session protocol.
  TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::terminationRequested, &desktop,
                   [&desktop] { desktop.RunSessionEnd(); });

  desktop.Start();
  return QApplication::exec();
}

}  // namespace corvane
