#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "client/corvane_client.h"
#include "client/event_wait.h"
#include "config/registry_store.h"
#include "config/settings_files.h"
#include "config/user_list_model.h"
#include "config/user_store.h"
#include "gui/desktop/tray_icon.h"
#include "gui/server/desktop_controller.h"
#include "gui/server/main_window.h"
#include "server/server_instance.h"
#include "server/server_thread.h"
#include "support/recording_prompts.h"
#include "support/test_server.h"

namespace corvane::test {

// How long a test waits for what the server's thread does.
inline constexpr int kServerWaitMs = 10000;

// A program directory with the settings files asked for, a server on its own thread and
// the desktop around it, started.
class DesktopTest : public ::testing::Test {
 protected:
  struct Setup {
    bool network = true;
    bool users = true;
    bool databases = true;
    bool runMinimized = false;
    bool tray = true;
  };

  QString Path(const QString& name) const { return dir_.filePath(name); }

  void Start(const Setup& setup) {
    ASSERT_TRUE(dir_.isValid());
    SettingsFiles files(dir_.path());
    ServerSettings settings;
    port_ = FreeListenPort();
    if (setup.network) {
      settings.ListenPort = static_cast<int16_t>(port_);
      files.SaveNetworkSettings(settings);
    }
    settings.RunMinimized = setup.runMinimized ? 1 : 0;
    settings.AllowMultipleLogons = 1;
    files.SaveGeneralSettings(settings);
    if (setup.databases) {
      QFile database(Path("sample.db"));
      ASSERT_TRUE(database.open(QIODevice::WriteOnly));
      files.SaveDatabaseList({{"sample.db", Path("sample.db")}});
    }
    if (setup.users) {
      RegistryStore registry(dir_.path());
      UserListModel users;
      users.Append({"BOB", "SECRET", "12345678"});
      UserStore(registry, dir_.path()).SaveUsers(users);
    }
    server_ =
        std::make_unique<ServerThread>(dir_.path(), prompts_, HostIdentity{"DESKTOP", "10.0.0.5"});
    DesktopOptions options;
    options.executableDir = Path("bin");
    options.openUrl = [](const QUrl&) { return true; };  // never a real browser
    options.trayAvailable = setup.tray;
    options.computerName = "WORKSTATION-0815";
    desktop_ = std::make_unique<DesktopController>(*server_, prompts_, options);
    bool started = false;
    QObject::connect(desktop_.get(), &DesktopController::Started, [&started] { started = true; });
    desktop_->Start();
    ASSERT_TRUE(WaitUntil([&started] { return started; }, kServerWaitMs));
  }

  void TearDown() override {
    if (desktop_ && !desktop_->Unloaded()) desktop_->RunSessionEnd();
    desktop_.reset();
    server_.reset();
  }

  MainWindow& Window() { return desktop_->Window(); }
  QString LastEvent() const {
    const ActivityRowsModel& rows = server_->ActivityRows();
    return rows.rowCount() ? rows.Row(rows.rowCount() - 1).event : QString();
  }
  // Waits until the window's activity list ends with `event`.
  bool ShowsLastEvent(const QString& event) {
    return WaitUntil([&] { return LastEvent() == event; }, kServerWaitMs);
  }
  int ListenerState() {
    int state = -1;
    EXPECT_TRUE(server_->RunOnServer(
        [&state](ServerInstance& server) { state = server.Slots().ListenerState(); }));
    return state;
  }

  // A client with its slot connection open; logged on as BOB when asked.
  std::unique_ptr<CorvaneClient> Client(bool logOn) {
    return logOn ? LoggedOnClient(port_, "BOB", "SECRET", 12345678) : ConnectedClient(port_);
  }

  QTemporaryDir dir_;
  quint16 port_ = 0;
  RecordingPrompts prompts_{false};  // Cancel unless told otherwise
  std::unique_ptr<ServerThread> server_;
  std::unique_ptr<DesktopController> desktop_;
};

}  // namespace corvane::test
