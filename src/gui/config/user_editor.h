#pragma once

#include <QDialog>
#include <QPersistentModelIndex>
#include <functional>

#include "gui/config/user_checks.h"

class QLineEdit;
class QPushButton;

namespace corvane {

class OperatorPrompts;
class UserListModel;

// The user editor ("Corvane Database User"), objectName "frmUser": adds a user to the
// setup dialog's user list or changes the selected one. It only tests the name against
// the users stored when the setup opened (`stored`); the store itself changes when the
// setup dialog is saved. A new user gets the dialog's private-key candidate. Closing it (after a
// save, "Cancel" or its close box) emits Closed and deletes it, so the next opening
// starts with fresh boxes and marks.
class UserEditor : public QDialog {
  Q_OBJECT

 public:
  // `setupDialog` is the parent window.
  UserEditor(std::function<bool(const QString&)> stored, PrivateKeyCandidate& key,
             OperatorPrompts& prompts, UserListModel& users, QWidget* setupDialog);

  // "Add User": a new user, the name box emptied.
  void OpenForNewUser();
  // Editing the user listed at this row. The save changes that user even when the list
  // has changed meanwhile, and nothing when the user was removed from it.
  void OpenForUser(int row);

  bool AddingUser() const { return addingUser_; }
  bool NameChanged() const { return nameChanged_; }

 public Q_SLOTS:
  void reject() override;

 Q_SIGNALS:
  // A user was added or changed at this row of the list.
  void UserListed(int row);
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OpenWithName(const QString& name);
  void Save();
  void Cancel();
  void CloseEditor();
  // Shows a failed check and moves the focus to its box.
  void Report(const UserCheckFailure& failure);
  bool SaveNewUser();
  bool SaveEditedUser();

  std::function<bool(const QString&)> stored_;
  PrivateKeyCandidate& key_;
  OperatorPrompts& prompts_;
  UserListModel& users_;
  QPersistentModelIndex editedUser_;
  QLineEdit* nameBox_;
  QLineEdit* passwordBox_;
  QLineEdit* confirmBox_;
  QPushButton* saveButton_;
  QPushButton* cancelButton_;
  bool addingUser_ = true;
  bool nameChanged_ = false;
  bool passwordChanged_ = false;
  bool closing_ = false;
};

}  // namespace corvane
