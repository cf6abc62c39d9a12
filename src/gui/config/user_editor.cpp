#include "gui/config/user_editor.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "config/user_list_model.h"
#include "gui/config/window_order.h"
#include "server/operator_prompts.h"
#include "users/user_rules.h"

namespace corvane {
namespace {

QLineEdit* MakeBox(QWidget* parent, int index, bool masked) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QStringLiteral("Text1_") + QString::number(index));
  if (masked) {
    box->setEchoMode(QLineEdit::Password);
    // One asterisk per character, whatever the style would draw.
    box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  }
  box->setMinimumWidth(180);
  return box;
}

QPushButton* MakeButton(QWidget* parent, int index, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QStringLiteral("Command1_") + QString::number(index));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

UserEditor::UserEditor(std::function<bool(const QString&)> stored, PrivateKeyCandidate& key,
                       OperatorPrompts& prompts, UserListModel& users, QWidget* setupDialog)
    : QDialog(setupDialog),
      stored_(std::move(stored)),
      key_(key),
      prompts_(prompts),
      users_(users) {
  setObjectName(QStringLiteral("frmUser"));
  setWindowTitle(QStringLiteral("Corvane Database User"));
  setModal(false);

  auto* frame = new QGroupBox(QStringLiteral(" User Properties "), this);
  nameBox_ = MakeBox(frame, 0, false);
  passwordBox_ = MakeBox(frame, 1, true);
  confirmBox_ = MakeBox(frame, 2, true);
  auto* grid = new QGridLayout(frame);
  grid->addWidget(new QLabel(QStringLiteral("Host Name "), frame), 0, 0);
  grid->addWidget(nameBox_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Password"), frame), 1, 0);
  grid->addWidget(passwordBox_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("    Confirm Password"), frame), 2, 0);
  grid->addWidget(confirmBox_, 2, 1);

  saveButton_ = MakeButton(this, 0, QStringLiteral("Save"));
  cancelButton_ = MakeButton(this, 1, QStringLiteral("Cancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(saveButton_);
  buttons->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  // Above the setup dialog, which is above the other windows, from the start: flags changed
  // on a shown window make it flicker, or turn black without a compositor.
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  UseFixedSizeFrame(this);

  // The masks stand for "no new password typed"; only the operator's typing sets a mark.
  passwordBox_->setText(QLatin1String(kPasswordMask));
  confirmBox_->setText(QLatin1String(kPasswordMask));
  connect(nameBox_, &QLineEdit::textEdited, this, [this] { nameChanged_ = true; });
  connect(passwordBox_, &QLineEdit::textEdited, this, [this] { passwordChanged_ = true; });
  connect(confirmBox_, &QLineEdit::textEdited, this, [this] { passwordChanged_ = true; });
  for (QLineEdit* box : {nameBox_, passwordBox_, confirmBox_}) box->installEventFilter(this);

  connect(saveButton_, &QPushButton::clicked, this, &UserEditor::Save);
  connect(cancelButton_, &QPushButton::clicked, this, &UserEditor::Cancel);
  adjustSize();
  CenterDialog(this);
}

void UserEditor::OpenForNewUser() {
  addingUser_ = true;
  editedUser_ = QPersistentModelIndex();
  OpenWithName(QString());
}

void UserEditor::OpenForUser(int row) {
  if (row < 0 || row >= users_.Count()) return;
  addingUser_ = false;
  editedUser_ = QPersistentModelIndex(users_.index(row, 0));
  OpenWithName(users_.At(row).name);
}

void UserEditor::OpenWithName(const QString& name) {
  nameBox_->setText(name);  // setText is not typing: NameChanged stays as it is
  show();
  raise();
  activateWindow();
  nameBox_->setFocus();
}

void UserEditor::reject() { Cancel(); }

bool UserEditor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    // Select after the focus change is complete, or a mouse click would undo it.
    auto* box = static_cast<QLineEdit*>(watched);
    QTimer::singleShot(0, box, [box] { box->selectAll(); });
  }
  return QDialog::eventFilter(watched, event);
}

void UserEditor::Cancel() { CloseEditor(); }

void UserEditor::Save() {
  const bool saved = addingUser_ ? SaveNewUser() : SaveEditedUser();
  if (saved) CloseEditor();
}

void UserEditor::Report(const UserCheckFailure& failure) {
  prompts_.ShowMessage(failure.text, failure.title, OperatorPrompts::Icon::Critical);
  QLineEdit* box = failure.focus == UserField::kName ? nameBox_ : passwordBox_;
  box->setFocus();
}

bool UserEditor::SaveNewUser() {
  const UserEntry entry{nameBox_->text(), passwordBox_->text(), confirmBox_->text()};
  if (auto failure = CheckUserEntry(entry, true, nameChanged_, stored_)) {
    Report(*failure);
    return false;
  }
  const UserRecord user{EnteredForm(entry.name), EnteredForm(entry.password), key_.Current()};
  if (auto failure = CheckStorable(user)) {
    Report(*failure);
    return false;
  }
  // A key is one user's own: the next user added, however soon, gets another one.
  key_.Renew();
  Q_EMIT UserListed(users_.Append(user));
  return true;
}

bool UserEditor::SaveEditedUser() {
  const UserEntry entry{nameBox_->text(), passwordBox_->text(), confirmBox_->text()};
  if (auto failure = CheckUserEntry(entry, false, nameChanged_, stored_)) {
    Report(*failure);
    return false;
  }
  // The user may have been removed from the list while the editor was open.
  if (!editedUser_.isValid()) return true;
  const int row = editedUser_.row();
  UserRecord user = users_.At(row);
  user.name = EnteredForm(entry.name);
  if (passwordChanged_) user.password = EnteredForm(entry.password);
  if (auto failure = CheckStorable(user)) {
    Report(*failure);
    return false;
  }
  users_.Edit(row, user);
  Q_EMIT UserListed(row);
  return true;
}

void UserEditor::CloseEditor() {
  if (closing_) return;
  closing_ = true;
  Q_EMIT Closed();
  hide();
  deleteLater();
}

}  // namespace corvane
