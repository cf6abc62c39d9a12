#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "client/corvane_client.h"
#include "config/settings_files.h"
#include "config/user_list_model.h"
#include "gui/desktop/tray_icon.h"
#include "gui/server/desktop_controller.h"
#include "gui/server/main_window.h"
#include "server/server_instance.h"
#include "support/recording_prompts.h"
#include "support/test_server.h"

namespace corvane::test {

// A program directory with the settings files asked for, a server on it and the desktop.
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
    server_ = std::make_unique<ServerInstance>(dir_.path(), prompts_,
                                               HostIdentity{"DESKTOP", "10.0.0.5"});
    if (setup.users) {
      UserListModel users;
      users.Append({"BOB", "SECRET", "12345678"});
      server_->Users().SaveUsers(users);
    }
    DesktopOptions options;
    options.executableDir = Path("bin");
    options.openUrl = [](const QUrl&) { return true; };  // never a real browser
    options.trayAvailable = setup.tray;
    options.computerName = "WORKSTATION-0815";
    desktop_ = std::make_unique<DesktopController>(*server_, options);
    branch_ = desktop_->Start();
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

  // A client with its slot connection open; logged on as BOB when asked.
  std::unique_ptr<CorvaneClient> Client(bool logOn) {
    return logOn ? LoggedOnClient(port_, "BOB", "SECRET", 12345678) : ConnectedClient(port_);
  }

  QTemporaryDir dir_;
  quint16 port_ = 0;
  RecordingPrompts prompts_{false};  // Cancel unless told otherwise
  std::unique_ptr<ServerInstance> server_;
  std::unique_ptr<DesktopController> desktop_;
  StartupBranch branch_{};
};

}  // namespace corvane::test
