#pragma once

#include <QDialog>

namespace corvane {

class ServerInstance;

// The setup dialog ("Server Setup"), objectName "frmSetup": publishes databases, sets the
// options and the port, manages users. Shown modeless; saving applies everything to the
// running server and restarts the listener.
class SetupDialog : public QDialog {
  Q_OBJECT

 public:
  enum Tab { kDatabaseTab = 0, kGeneralTab = 1, kNetworkTab = 2, kUsersTab = 3 };

  explicit SetupDialog(ServerInstance& server, QWidget* parent = nullptr);

  // Selects the tab before the dialog is shown.
  void SelectTab(int tab);

 Q_SIGNALS:
  // The dialog is done (saved or cancelled): the main window is to be shown again.
  void Finished();

 private:
  ServerInstance& server_;
};

}  // namespace corvane
