#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

#include "config/user_list_model.h"
#include "gui/config/setup_controls.h"
#include "gui/config/user_editor.h"

namespace corvane {

class ServerInstance;

// The setup dialog ("Server Setup"), objectName "frmSetup": publishes databases, sets the
// options and the port, manages users. It works on copies filled at construction; only
// "&Save" applies them to the running server. Shown modeless and topmost.
//
// Either way out ("&Save", "&Cancel", the close box or Escape) restarts the listener and
// emits Finished last; the owner then shows the main window and deletes the dialog
// (deleteLater), making a new one for the next opening. Delete it without closing it
// to discard it at shutdown.
class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  enum Tab { kDatabaseTab = 0, kGeneralTab = 1, kNetworkTab = 2, kUsersTab = 3 };

  explicit SetupDialog(ServerInstance& server, QWidget* parent = nullptr);
  ~SetupDialog() override;

  // Selects the tab before the dialog is shown.
  void SelectTab(int tab);
  // Puts the focus on the first control of the current tab.
  void FocusMe();

  // The database check that "&Save" runs once the setup is applied: the server's own unless
  // another is given.
  void SetDatabaseCheck(std::function<void()> check) { databaseCheck_ = std::move(check); }

  // The folder the file-open dialog starts in; the last one a database was chosen from.
  const QString& LastBrowseFolder() const { return lastBrowseFolder_; }

  // The user editor while it is open, else nullptr.
  UserEditor* OpenUserEditor() const { return editor_; }

 public Q_SLOTS:
  // The close box and Escape: the same as "&Cancel".
  void reject() override;

 Q_SIGNALS:
  // The dialog is done (saved or cancelled): the main window is to be shown again.
  void Finished();
  // F1: the main window opens the help contents.
  void HelpRequested();

 protected:
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ConnectControls();
  void Save();
  void Cancel();
  // Restarts the listener, closes the user editor and tells the owner.
  void Finish();

  void Browse();
  // "ODBC": the "Server Database" dialog; OK adds its entry to the list.
  void AddServerDatabase();
  // Imports a chosen Access file and shows what came over, or why nothing did; true when
  // it can be published.
  bool ImportChosenAccessFile(const QString& path);
  void ViewLogFile();
  void ClearLogFile();
  void StartOdbcAdministratorClicked();
  // Delete key: removes the selected entry after the operator confirms it.
  void RemoveSelectedDatabase();
  void RemoveSelectedUser();
  bool ConfirmRemoval(const QString& what);

  void AddUser();
  void EditSelectedUser();
  int SelectedUserRow() const;
  UserEditor* Editor();
  void OnEditorClosed();
  void ShowListedUser(int row);

  ServerInstance& server_;
  UserListModel users_;  // ListView2's items; the store's only in-memory copy
  SetupControls controls_;
  QTimer keyTimer_;  // Timer1: renews the private-key candidate while active
  QPointer<UserEditor> editor_;
  std::function<void()> databaseCheck_;
  QString lastBrowseFolder_;
  bool centered_ = false;
  bool done_ = false;
};

}  // namespace corvane
