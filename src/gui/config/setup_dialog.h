#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

#include "config/user_list_model.h"
#include "gui/config/setup_controls.h"
#include "gui/config/user_checks.h"
#include "gui/config/user_editor.h"
#include "server/setup_values.h"

namespace corvane {

class OperatorPrompts;
class ServerThread;

// The setup dialog ("Server Setup"), objectName "frmSetup": publishes databases, sets the
// options and the port, manages users. It works on copies of the server's values, taken
// when the setup opened; only "&Save" hands them to the running server. Shown modeless and
// topmost.
//
// Either way out ("&Save", "&Cancel", the close box or Escape) restarts the listener and
// emits Finished last: "&Save" once the server has written the users and checked the
// databases (the dialog hidden meanwhile), the others at once. The owner then shows the
// main window and deletes the dialog (deleteLater), making a new one for the next opening.
// Delete it without closing it to discard it at shutdown.
class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  enum Tab { kDatabaseTab = 0, kGeneralTab = 1, kNetworkTab = 2, kUsersTab = 3 };

  SetupDialog(ServerThread& server, OperatorPrompts& prompts, const SetupValues& values,
              QWidget* parent = nullptr);
  ~SetupDialog() override;

  // Selects the tab before the dialog is shown.
  void SelectTab(int tab);
  // Puts the focus on the first control of the current tab.
  void FocusMe();

  // "&Save" was pressed; the server is still applying it.
  bool Saving() const { return done_ && !finished_; }

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
  // Closes the user editor and tells the owner.
  void Finish();
  // Whether the store held a user of this name when the setup opened.
  bool StoredUser(const QString& name) const;

  void Browse();
  // "ODBC": the "Server Database" dialog; OK adds its entry to the list.
  void AddServerDatabase();
  // The server imports a chosen Access file on a worker; the file is listed once it can be
  // published, and the operator sees what came over, or why nothing did.
  void ImportChosenAccessFile(const QString& path);
  // The wait cursor while the server works for the dialog; what is still shown when the
  // dialog goes goes with it.
  void ShowWaitCursor();
  void RestoreCursor();
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

  ServerThread& server_;
  OperatorPrompts& prompts_;
  ServerSettings settings_;
  QList<UserRecord> stored_;
  UserListModel users_;  // ListView2's items; the store's only in-memory copy
  SetupControls controls_;
  PrivateKeyCandidate nextKey_;
  QTimer keyTimer_;  // Timer1: renews the private-key candidate while active
  QPointer<UserEditor> editor_;
  QString lastBrowseFolder_;
  int waitCursors_ = 0;
  bool centered_ = false;
  bool done_ = false;
  bool finished_ = false;
};

}  // namespace corvane
