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

#include "config/user_list_model.h"
#include "gui/config/setup_dialog.h"
#include "server/operator_prompts.h"
#include "server/server_instance.h"
#include "support/access_fixtures.h"
#include "support/file_bytes.h"
#include "support/recording_prompts.h"

namespace corvane {

inline void PrintTo(const UserRecord& user, std::ostream* out) {
  *out << "{" << user.name.toStdString() << ", " << user.password.toStdString() << ", "
       << user.privateKey.toStdString() << "}";
}

}  // namespace corvane

namespace corvane::test {

class SetupFixture : public ::testing::Test {
 protected:
  SetupFixture() {
    // The run-at-startup entry goes to the temporary folder, not the desktop's own.
    savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toUtf8());
    server_ = std::make_unique<ServerInstance>(dir_.path(), prompts_,
                                               HostIdentity{"TESTHOST", "127.0.0.1"});
    server_->SetConversionChild(ServerConversion());
  }
  ~SetupFixture() override {
    dialog_.reset();
    server_.reset();
    if (savedConfigHome_.isNull()) {
      qunsetenv("XDG_CONFIG_HOME");
    } else {
      qputenv("XDG_CONFIG_HOME", savedConfigHome_);
    }
  }

  // Changes the running server's settings (and published list) as a saved setup would.
  void Configure(const std::function<void(ServerSettings&)>& change,
                 std::optional<PublishedList> published = std::nullopt) {
    ServerSettings settings = server_->Settings();
    change(settings);
    UserListModel users;
    server_->Users().LoadUsers(users);
    server_->ApplySetup({settings, published.value_or(server_->CatalogueLists().published), users});
  }

  void StoreUsers(const QList<UserRecord>& users) {
    UserListModel list;
    for (const UserRecord& user : users) list.Append(user);
    server_->Users().SaveUsers(list);
    server_->Users().RemoveStaleUsers(list);
  }
  QList<UserRecord> StoredUsers() {
    UserListModel list;
    server_->Users().LoadUsers(list);
    return list.Users();
  }

  SetupDialog& OpenDialog() {
    dialog_ = std::make_unique<SetupDialog>(*server_);
    QObject::connect(dialog_.get(), &SetupDialog::Finished, [this] { ++finished_; });
    return *dialog_;
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

  QByteArray savedConfigHome_;
  QTemporaryDir dir_;
  RecordingPrompts prompts_;
  std::unique_ptr<ServerInstance> server_;
  std::unique_ptr<SetupDialog> dialog_;
  int finished_ = 0;
};

}  // namespace corvane::test
