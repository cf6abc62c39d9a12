#include "gui/config/setup_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>

#include "base/windows1252.h"
#include "config/access_publisher.h"
#include "gui/config/server_database_dialog.h"
#include "gui/config/setup_form.h"
#include "gui/config/setup_layout.h"
#include "gui/config/shell_launch.h"
#include "gui/config/user_editor.h"
#include "gui/config/window_order.h"
#include "server/operator_prompts.h"
#include "server/server_thread.h"
#include "users/user_rules.h"

namespace corvane {
namespace {

constexpr int kKeyRenewalMs = 500;

}  // namespace

SetupDialog::SetupDialog(ServerThread& server, OperatorPrompts& prompts, const SetupValues& values,
                         QWidget* parent)
    : QDialog(parent),
      server_(server),
      prompts_(prompts),
      settings_(values.settings),
      stored_(values.users) {
  setObjectName(QStringLiteral("frmSetup"));
  setWindowTitle(QStringLiteral("Server Setup"));
  setModal(false);
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  UseFixedSizeFrame(this);
  controls_ = BuildSetupLayout(this, &users_);
  keyTimer_.setInterval(kKeyRenewalMs);
  connect(&keyTimer_, &QTimer::timeout, this, [this] { nextKey_.Renew(); });
  ConnectControls();
  FillSetupDialog(controls_, values, server_.ProgramDir(), users_);
}

SetupDialog::~SetupDialog() {
  while (waitCursors_ > 0) RestoreCursor();
}

void SetupDialog::ShowWaitCursor() {
  ++waitCursors_;
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void SetupDialog::RestoreCursor() {
  --waitCursors_;
  QApplication::restoreOverrideCursor();
}

void SetupDialog::ConnectControls() {
  const SetupControls& c = controls_;
  for (QCheckBox* box : c.checks) {
    connect(box, &QCheckBox::toggled, this, [this] { ApplyCheckBoxRules(controls_); });
  }
  connect(c.webPort, &QLineEdit::textChanged, this,
          [this] { ShowWebAddress(controls_, server_.ProgramDir()); });
  connect(c.tabs, &QTabWidget::currentChanged, this, [this] {
    if (isVisible()) FocusMe();
  });
  connect(c.browse, &QPushButton::clicked, this, &SetupDialog::Browse);
  connect(c.odbc, &QPushButton::clicked, this, &SetupDialog::AddServerDatabase);
  connect(c.odbcAdministrator, &QPushButton::clicked, this,
          &SetupDialog::StartOdbcAdministratorClicked);
  connect(c.logButtons[SetupControls::kViewLogFile], &QPushButton::clicked, this,
          &SetupDialog::ViewLogFile);
  connect(c.logButtons[SetupControls::kClearLogFile], &QPushButton::clicked, this,
          &SetupDialog::ClearLogFile);
  connect(c.addUser, &QPushButton::clicked, this, &SetupDialog::AddUser);
  connect(c.users, &QTreeView::doubleClicked, this, &SetupDialog::EditSelectedUser);
  connect(c.setupButtons[SetupControls::kSave], &QPushButton::clicked, this, &SetupDialog::Save);
  connect(c.setupButtons[SetupControls::kCancel], &QPushButton::clicked, this,
          &SetupDialog::Cancel);
  c.databases->installEventFilter(this);
  c.users->installEventFilter(this);
}

void SetupDialog::SelectTab(int tab) {
  if (tab >= 0 && tab < controls_.tabs->count()) controls_.tabs->setCurrentIndex(tab);
}

void SetupDialog::FocusMe() {
  switch (controls_.tabs->currentIndex()) {
    case kDatabaseTab:
      controls_.databases->setFocus();
      break;
    case kGeneralTab:
      controls_.refreshRate->setFocus();
      break;
    case kNetworkTab:
      controls_.port->setFocus();
      break;
    case kUsersTab:
      controls_.users->setFocus();
      break;
    default:
      break;
  }
}

void SetupDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!centered_) {
    centered_ = true;
    CenterDialog(this);
  }
}

void SetupDialog::changeEvent(QEvent* event) {
  // The candidate key changes only while the operator works in this dialog, so it stays
  // put while the user editor is open over it.
  if (event->type() == QEvent::ActivationChange) {
    if (isActiveWindow()) {
      keyTimer_.start();
    } else {
      keyTimer_.stop();
    }
  }
  QDialog::changeEvent(event);
}

void SetupDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    SetDialogTopmost(this, false);
    Q_EMIT HelpRequested();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool SetupDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    if (watched == controls_.databases) {
      RemoveSelectedDatabase();
      return true;
    }
    if (watched == controls_.users) {
      RemoveSelectedUser();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// --- Save and cancel ---

void SetupDialog::Save() {
  if (done_) return;
  done_ = true;
  hide();
  keyTimer_.stop();
  ShowWaitCursor();
  // The server writes the users and checks the databases, then listens again; the
  // checking window shows how far it is, and the program may end meanwhile.
  server_.ApplySetup(SetupValuesFrom(controls_, settings_, users_), this, [this] {
    RestoreCursor();
    Finish();
  });
}

void SetupDialog::Cancel() {
  if (done_) return;
  done_ = true;
  hide();
  server_.EndSetup();
  Finish();
}

void SetupDialog::reject() { Cancel(); }

bool SetupDialog::StoredUser(const QString& name) const {
  const QByteArray wanted = LookupName(name);
  return std::any_of(stored_.begin(), stored_.end(),
                     [&](const UserRecord& user) { return ToWindows1252(user.name) == wanted; });
}

void SetupDialog::Finish() {
  finished_ = true;
  keyTimer_.stop();
  if (editor_) {
    editor_->disconnect(this);
    editor_->hide();
    editor_->deleteLater();
  }
  Q_EMIT Finished();
}

// --- Database tab ---

void SetupDialog::Browse() {
  QFileDialog chooser(this, QStringLiteral("Choose a database"),
                      lastBrowseFolder_.isEmpty() ? QDir::homePath() : lastBrowseFolder_);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setNameFilters(PublishableDatabaseFilters());
  if (chooser.exec() == QDialog::Accepted && !chooser.selectedFiles().isEmpty()) {
    const QString path = chooser.selectedFiles().constFirst();
    lastBrowseFolder_ = chooser.directory().absolutePath();
    if (AccessPublisher::NeedsImport(path)) {
      ImportChosenAccessFile(path);
    } else {
      AddBrowsedDatabase(controls_.databases, path);
    }
  }
  controls_.focusSink->setFocus();
}

void SetupDialog::AddServerDatabase() {
  ServerDatabaseDialog dialog(
      [this](const QString& location, QObject* receiver,
             std::function<void(const QString&)> answered) {
        server_.ProbeServerDatabase(location, receiver, std::move(answered));
      },
      this);
  if (dialog.exec() == QDialog::Accepted) {
    auto* item = new QTreeWidgetItem(controls_.databases, {dialog.Name(), dialog.Location()});
    controls_.databases->scrollToItem(item);
  }
  controls_.focusSink->setFocus();
}

void SetupDialog::ImportChosenAccessFile(const QString& path) {
  // The server imports it on a worker; the file is listed once it is publishable, so that
  // "&Save" publishes at once. Until then neither "&Save" (which would leave it out) nor
  // another browse is offered.
  ShowWaitCursor();
  const auto offerSaveAndBrowse = [this](bool offered) {
    controls_.setupButtons[0]->setEnabled(offered);
    controls_.browse->setEnabled(offered);
  };
  offerSaveAndBrowse(false);
  server_.PrepareAccessDatabase(
      path, this, [this, path, offerSaveAndBrowse](const PublishedAccess& access) {
        RestoreCursor();
        offerSaveAndBrowse(true);
        if (access.ok) {
          AddBrowsedDatabase(controls_.databases, path);
          prompts_.ShowMessage(access.report.Lines().join(QLatin1Char('\r')),
                               QStringLiteral("Corvane Database"),
                               OperatorPrompts::Icon::Information);
        } else {
          prompts_.ShowMessage(QStringLiteral("Database Error: ") + QFileInfo(path).fileName() +
                                   QStringLiteral("\r\r") + access.error,
                               QStringLiteral("Database Error"), OperatorPrompts::Icon::Critical);
        }
      });
}

bool SetupDialog::ConfirmRemoval(const QString& what) {
  const bool ok = prompts_.ConfirmOkCancel(
      what + QStringLiteral(" will be permanently removed.\r\rAre you sure you want to continue?"),
      QStringLiteral("Corvane Database"), OperatorPrompts::Icon::Critical);
  return ok;
}

void SetupDialog::RemoveSelectedDatabase() {
  QTreeWidgetItem* item = controls_.databases->currentItem();
  if (controls_.databases->topLevelItemCount() == 0 || item == nullptr) return;
  if (ConfirmRemoval(QStringLiteral("Database ") + item->text(0))) delete item;
}

void SetupDialog::RemoveSelectedUser() {
  const int row = SelectedUserRow();
  if (row < 0) return;
  if (ConfirmRemoval(QStringLiteral("User ") + users_.At(row).name)) users_.Remove(row);
}

// --- General and Network tabs ---

void SetupDialog::ViewLogFile() {
  OpenWithDefaultViewer(server_.LogFilePath());
  controls_.checks[SetupControls::kKeepLogFile]->setFocus();
}

void SetupDialog::ClearLogFile() {
  if (prompts_.ConfirmOkCancel(QStringLiteral("Are you sure you want to clear the log file?") +
                                   QString(10, QLatin1Char(' ')),
                               QStringLiteral("Clear Log File"), OperatorPrompts::Icon::Question)) {
    server_.ClearLogFile();
  }
  controls_.checks[SetupControls::kKeepLogFile]->setFocus();
}

void SetupDialog::StartOdbcAdministratorClicked() {
  StartOdbcAdministrator();
  controls_.port->setFocus();
}

// --- Users tab ---

int SetupDialog::SelectedUserRow() const {
  const QModelIndex current = controls_.users->currentIndex();
  if (!current.isValid() || !controls_.users->selectionModel()->isSelected(current)) return -1;
  return current.row();
}

UserEditor* SetupDialog::Editor() {
  if (!editor_) {
    editor_ = new UserEditor([this](const QString& name) { return StoredUser(name); }, nextKey_,
                             prompts_, users_, this);
    connect(editor_, &UserEditor::UserListed, this, &SetupDialog::ShowListedUser);
    connect(editor_, &UserEditor::Closed, this, &SetupDialog::OnEditorClosed);
  }
  return editor_;
}

void SetupDialog::AddUser() { Editor()->OpenForNewUser(); }

void SetupDialog::EditSelectedUser() {
  const int row = SelectedUserRow();
  if (row < 0) return;
  Editor()->OpenForUser(row);
}

void SetupDialog::ShowListedUser(int row) {
  const QModelIndex index = users_.index(row, 0);
  controls_.users->setCurrentIndex(index);
  controls_.users->scrollTo(index);
}

void SetupDialog::OnEditorClosed() {
  // It deletes itself; the next opening makes a fresh one.
  editor_.clear();
  if (done_) return;
  SetDialogTopmost(this, true);
  show();
  activateWindow();
}

}  // namespace corvane
