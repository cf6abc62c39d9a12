#pragma once

// A server in a temporary program directory, with message boxes answered by the test,
// and helpers that act on the setup dialog's controls the way the operator would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "client/event_wait.h"
#include "config/registry_store.h"
#include "config/user_list_model.h"
#include "config/user_store.h"
#include "gui/config/setup_dialog.h"
#include "server/operator_prompts.h"
#include "server/server_instance.h"
#include "server/server_thread.h"
#include "support/access_fixtures.h"
#include "support/file_bytes.h"
#include "support/recording_prompts.h"
#include "support/scoped_environment.h"

namespace corvane {

inline void PrintTo(const UserRecord& user, std::ostream* out) {
  *out << "{" << user.name.toStdString() << ", " << user.password.toStdString() << ", "
       << user.privateKey.toStdString() << "}";
}

}  // namespace corvane

namespace corvane::test {

// How long a test waits for what the server's thread does (a check, an import).
inline constexpr int kServerWaitMs = 30000;

class SetupFixture : public ::testing::Test {
 protected:
  SetupFixture() {
    server_ = std::make_unique<ServerThread>(dir_.path(), prompts_,
                                             HostIdentity{"TESTHOST", "127.0.0.1"});
    OnServer([](ServerInstance& server) { server.SetConversionChild(ServerConversion()); });
  }
  ~SetupFixture() override {
    dialog_.reset();
    server_.reset();
  }

  // Runs `inspect` on the server's thread and waits for it.
  void OnServer(const std::function<void(ServerInstance&)>& inspect) {
    ASSERT_TRUE(server_->RunOnServer(inspect));
  }
  // What the setup dialog would be filled from now.
  SetupValues TakenValues() {
    std::optional<SetupValues> taken;
    server_->TakeSetupValues(nullptr, [&taken](const SetupValues& values) { taken = values; });
    EXPECT_TRUE(WaitUntil([&taken] { return taken.has_value(); }, kServerWaitMs));
    return taken.value_or(SetupValues{});
  }
  // Changes the running server's settings (and published list) as a saved setup would.
  void Configure(const std::function<void(ServerSettings&)>& change,
                 std::optional<PublishedList> published = std::nullopt) {
    SetupValues values = TakenValues();
    change(values.settings);
    if (published) values.published = *published;
    bool done = false;
    server_->ApplySetup(values, nullptr, [&done] { done = true; });
    ASSERT_TRUE(WaitUntil([&done] { return done; }, kServerWaitMs));
  }

  UserStore Store() { return UserStore(registry_, dir_.path()); }
  void StoreUsers(const QList<UserRecord>& users) {
    UserListModel list;
    for (const UserRecord& user : users) list.Append(user);
    Store().SaveUsers(list);
    Store().RemoveStaleUsers(list);
  }
  QList<UserRecord> StoredUsers() {
    UserListModel list;
    Store().LoadUsers(list);
    return list.Users();
  }

  SetupDialog& OpenDialog() {
    dialog_ = std::make_unique<SetupDialog>(*server_, prompts_, TakenValues());
    QObject::connect(dialog_.get(), &SetupDialog::Finished, [this] { ++finished_; });
    return *dialog_;
  }
  // Presses "&Save" and waits until the server has applied it.
  void Save() {
    const int before = finished_;
    Click("cmdSetup_0");
    ASSERT_TRUE(WaitUntil([&] { return finished_ > before; }, kServerWaitMs));
  }

  template <typename T>
  T* Find(const char* name) {
    T* child = dialog_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QCheckBox* Check(int index) {
    return Find<QCheckBox>(QStringLiteral("Check1_%1").arg(index).toLatin1().constData());
  }
  QTreeWidget* Databases() { return Find<QTreeWidget>("ListView1"); }
  QTreeView* Users() { return Find<QTreeView>("ListView2"); }
  const UserListModel& UserList() { return *static_cast<UserListModel*>(Users()->model()); }
  void Click(const char* button) { Find<QPushButton>(button)->click(); }

  static void PressKey(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
  }
  // Replaces the box's text by typing, as the operator would.
  static void Type(QLineEdit* box, const QString& text) {
    box->selectAll();
    if (text.isEmpty()) PressKey(box, Qt::Key_Backspace);
    for (QChar ch : text) PressKey(box, Qt::Key_unknown, QString(ch));
  }
  void SelectUser(int row) { Users()->setCurrentIndex(UserList().index(row, 0)); }

  QTemporaryDir dir_;
  // The run-at-startup entry goes to the temporary folder, not the desktop's own.
  ScopedEnvironment configHome_{"XDG_CONFIG_HOME",
                                dir_.filePath(QStringLiteral("config")).toUtf8()};
  RegistryStore registry_{dir_.path()};
  RecordingPrompts prompts_;
  std::unique_ptr<ServerThread> server_;
  std::unique_ptr<SetupDialog> dialog_;
  int finished_ = 0;
};

}  // namespace corvane::test
