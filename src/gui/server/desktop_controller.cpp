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
#include "server/process_signals.h"
#include "server/server_thread.h"

namespace corvane {

DesktopController::DesktopController(ServerThread& server, OperatorPrompts& prompts,
                                     DesktopOptions options, QObject* parent)
    : QObject(parent),
      server_(server),
      prompts_(prompts),
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
  connect(&server_, &ServerThread::Started, this, &DesktopController::OnStarted);
  checkProgress_ = std::make_unique<CheckingWindowProgress>(Checking());
  server_.SetDatabaseCheckProgress(checkProgress_.get());
}

DesktopController::~DesktopController() {
  server_.SetDatabaseCheckProgress(nullptr);
  if (starting_) QGuiApplication::restoreOverrideCursor();
  delete setup_.data();
  delete about_.data();
}

SetupDialog* DesktopController::Setup() const { return setup_.data(); }

AboutWindow* DesktopController::About() const { return about_.data(); }

void DesktopController::Start() {
  starting_ = true;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  server_.Start();
}

void DesktopController::OnStarted(StartupBranch branch) {
  if (starting_) QGuiApplication::restoreOverrideCursor();
  starting_ = false;
  branch_ = branch;
  window_->Load(server_.Settings());
  switch (branch) {
    case StartupBranch::kNetworkMissing:
      OpenSetup(SetupDialog::kNetworkTab);
      break;
    case StartupBranch::kUsersMissing:
      // Only the setup dialog: the window comes when the setup is done.
      OpenSetup(SetupDialog::kUsersTab);
      Q_EMIT Started(branch);
      return;
    case StartupBranch::kDatabasesMissing:
      OpenSetup(SetupDialog::kDatabaseTab);
      break;
    case StartupBranch::kReady:
      break;
  }
  ShowAtStart();
  Q_EMIT Started(branch);
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
    if (setup_->Saving()) return;
    if (tab >= 0) setup_->SelectTab(tab);
    setup_->show();
    setup_->raise();
    setup_->activateWindow();
    return;
  }
  if (setupOpening_) return;
  setupOpening_ = true;
  // The dialog works on copies of the server's values, the stored users among them.
  server_.TakeSetupValues(this, [this, tab](const SetupValues& values) {
    setupOpening_ = false;
    if (unloaded_) return;
    auto* dialog = new SetupDialog(server_, prompts_, values, window_.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->setWindowIcon(DesktopIcon());
    connect(dialog, &SetupDialog::Finished, this, &DesktopController::OnSetupFinished);
    connect(dialog, &SetupDialog::HelpRequested, this, &DesktopController::ShowHelpContents);
    setup_ = dialog;
    if (tab >= 0) dialog->SelectTab(tab);
    dialog->show();
  });
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
  if (unloaded_ || (setup_ && setup_->Saving())) return;
  server_.CountConnected(this, [this](int connected) {
    if (unloaded_) return;
    if (connected > 0) {
      const QString text = QStringLiteral("You have ") + QString::number(connected) +
                           QStringLiteral(
                               " user(s)  connected.\r\rWould you like to disconnect "
                               "them before running setup?");
      if (!prompts_.ConfirmOkCancel(text, QStringLiteral("Disconnect Users"),
                                    OperatorPrompts::Icon::Critical)) {
        return;
      }
    }
    // No new clients while the setup is open; closing it starts the listener again.
    server_.BeginSetup();
    OpenSetup(-1);
  });
}

bool DesktopController::ConfirmExit(int connected) {
  if (connected > 0) {
    const QString text = QStringLiteral("Are you sure you want to exit?\r\rYou have ") +
                         QString::number(connected) + QStringLiteral(" user(s)  connected.") +
                         QString(25, QLatin1Char(' '));
    return prompts_.ConfirmOkCancel(text, QStringLiteral("Disconnect Users"),
                                    OperatorPrompts::Icon::Critical);
  }
  return prompts_.ConfirmOkCancel(
      QStringLiteral("Are you sure you want to exit?") + QString(10, QLatin1Char(' ')),
      QStringLiteral("Shutdown CorvaneDB Server"), OperatorPrompts::Icon::Question);
}

void DesktopController::RunExitCommand() {
  if (unloaded_) return;
  server_.CountConnected(this, [this](int connected) {
    if (!unloaded_ && ConfirmExit(connected)) Unload(true);
  });
}

void DesktopController::RunSessionEnd() {
  if (unloaded_) return;
  Unload(false);
}

void DesktopController::Unload(bool saveSettings) {
  unloaded_ = true;
  server_.Unload(saveSettings, window_->Placement());
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
  ServerThread server(programDir, prompts);
  DesktopOptions options;
  options.executableDir = QCoreApplication::applicationDirPath();
  options.openUrl = DesktopUrlOpener();
  options.trayAvailable = TrayIcon::PlatformHasTray();
  options.computerName = AboutWindow::ComputerName();
  DesktopController desktop(server, prompts, options);
  prompts.SetParent(&desktop.Window());

  QObject::connect(&desktop, &DesktopController::Ended, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &desktop,
                   [&desktop](QSessionManager&) { desktop.RunSessionEnd(); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &desktop,
                   [&desktop] { desktop.RunSessionEnd(); });
  // Desktops that end a session by signal rather than by the session protocol. SIGHUP ends
  // nothing: it rereads the users and database.dat, as in the headless server.
  ProcessSignals processSignals;
  QObject::connect(&processSignals, &ProcessSignals::terminationRequested, &desktop,
                   [&desktop] { desktop.RunSessionEnd(); });
  QObject::connect(&processSignals, &ProcessSignals::hangupReceived, &desktop,
                   [&server] { server.Reload(); });

  desktop.Start();
  return QApplication::exec();
}

}  // namespace corvane
