#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeView;
class QTreeWidget;

namespace corvane {

// The controls of the setup dialog that the fill, the save and the event handlers work on.
// The dialog owns them; this only points at them.
struct SetupControls {
  // Indexes into `checks`.
  enum Check {
    kRunAtStartup = 0,
    kRunMinimized = 1,
    kKeepLogFile = 2,
    kEncryption = 3,
    kMultipleLogons = 4,
    kDisconnectInactive = 5,
  };
  enum LogButton { kViewLogFile = 0, kClearLogFile = 1 };
  enum SetupButton { kSave = 0, kCancel = 1 };

  QTabWidget* tabs = nullptr;  // SSTab1

  // "Database"
  QTreeWidget* databases = nullptr;  // ListView1: name, full path
  QPushButton* browse = nullptr;
  QPushButton* odbc = nullptr;

  // "General" and "Network": the indexed group of six check boxes
  std::array<QCheckBox*, 6> checks{};
  QComboBox* refreshRate = nullptr;  // Combo1
  std::array<QPushButton*, 2> logButtons{};
  QLineEdit* port = nullptr;
  QComboBox* minutes = nullptr;  // Combo2
  QLabel* minutesLabel = nullptr;
  QPushButton* odbcAdministrator = nullptr;
  QLineEdit* webPort = nullptr;
  QLabel* webAddress = nullptr;  // the web client's address as a link

  // "Users"
  QTreeView* users = nullptr;  // ListView2 over the dialog's UserListModel
  QPushButton* addUser = nullptr;

  std::array<QPushButton*, 2> setupButtons{};  // "&Save", "&Cancel"
  QLineEdit* focusSink = nullptr;              // Text1, off screen
};

}  // namespace corvane
