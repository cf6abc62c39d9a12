#include "gui/config/setup_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/user_list_model.h"

namespace corvane {
namespace {

// 100 twips at the usual 15 twips per pixel.
constexpr int kHundredTwips = 7;

QString Text(const char* latin1) { return QString::fromLatin1(latin1); }

QStringList Numbers(std::initializer_list<int> values) {
  QStringList items;
  for (int value : values) items << QString::number(value);
  return items;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(Text(name));
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->addItems(items);
  combo->setCurrentIndex(-1);
  combo->setEditText(QString());
  combo->setMinimumWidth(70);
  return combo;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(Text(caption), parent);
  button->setObjectName(Text(name));
  button->setAutoDefault(false);
  return button;
}

void ShapeList(QTreeView* list) {
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setFixedWidth(kSetupListWidth);
  list->setMinimumHeight(170);
  list->header()->setStretchLastSection(false);
}

// The width inside the list's border, which the columns share.
int ListWidth(const QTreeView* list) { return kSetupListWidth - 2 * list->frameWidth(); }

QWidget* BuildDatabaseTab(SetupControls& c) {
  auto* page = new QWidget;
  auto* frame = new QGroupBox(Text(" Choose Database "), page);
  c.databases = new QTreeWidget(frame);
  c.databases->setObjectName(Text("ListView1"));
  c.databases->setHeaderLabels({Text("Database"), Text("Database Location")});
  ShapeList(c.databases);
  const int w = ListWidth(c.databases);
  c.databases->setColumnWidth(0, w / 3);
  c.databases->setColumnWidth(1, 2 * w / 3 - kHundredTwips);
  c.browse = MakeButton(frame, "cmdBrowse", "Browse");
  c.odbc = MakeButton(frame, "cmdODBC", "ODBC");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(c.browse);
  buttons->addWidget(c.odbc);
  auto* inner = new QVBoxLayout(frame);
  inner->addWidget(c.databases);
  inner->addLayout(buttons);
  auto* outer = new QVBoxLayout(page);
  outer->addWidget(frame);
  return page;
}

QCheckBox* MakeCheck(SetupControls& c, QWidget* parent, int index, const char* caption) {
  auto* box = new QCheckBox(Text(caption), parent);
  box->setObjectName(Text("Check1_") + QString::number(index));
  c.checks[index] = box;
  return box;
}

QWidget* BuildGeneralTab(SetupControls& c) {
  auto* page = new QWidget;

  auto* startup = new QGroupBox(Text(" Startup "), page);
  auto* startupLayout = new QVBoxLayout(startup);
  startupLayout->addWidget(MakeCheck(c, startup, 0, "Run on computer startup"));
  startupLayout->addWidget(MakeCheck(c, startup, 1, "Run Server minimized"));

  auto* refresh = new QGroupBox(Text(" Refresh Rate "), page);
  c.refreshRate = MakeCombo(refresh, "Combo1",
                            Numbers({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 15, 20, 25, 30, 45, 60}));
  auto* refreshLayout = new QHBoxLayout(refresh);
  refreshLayout->addWidget(c.refreshRate);
  refreshLayout->addWidget(new QLabel(Text("secs"), refresh));
  refreshLayout->addStretch();

  auto* log = new QGroupBox(Text(" Log File "), page);
  c.logButtons[SetupControls::kViewLogFile] = MakeButton(log, "cmdLog_0", "View Log File");
  c.logButtons[SetupControls::kClearLogFile] = MakeButton(log, "cmdLog_1", "Clear Log File");
  auto* logLayout = new QVBoxLayout(log);
  logLayout->addWidget(MakeCheck(c, log, 2, "Keep Log File"));
  auto* logButtons = new QHBoxLayout;
  logButtons->addWidget(c.logButtons[0]);
  logButtons->addWidget(c.logButtons[1]);
  logButtons->addStretch();
  logLayout->addLayout(logButtons);

  auto* encryption = new QGroupBox(Text(" Data Encryption "), page);
  auto* encryptionLayout = new QVBoxLayout(encryption);
  encryptionLayout->addWidget(MakeCheck(c, encryption, 3, "Enable Data Encryption"));

  auto* grid = new QGridLayout(page);
  grid->addWidget(startup, 0, 0);
  grid->addWidget(refresh, 0, 1);
  grid->addWidget(log, 1, 0);
  grid->addWidget(encryption, 1, 1);
  grid->setRowStretch(2, 1);
  return page;
}

QWidget* BuildNetworkTab(SetupControls& c) {
  auto* page = new QWidget;

  auto* serverPort = new QGroupBox(Text(" Server Port "), page);
  c.port = new QLineEdit(serverPort);
  c.port->setObjectName(Text("txtPort"));
  c.port->setMaximumWidth(90);
  auto* portLayout = new QHBoxLayout(serverPort);
  portLayout->addWidget(new QLabel(Text("Listening Port: "), serverPort));
  portLayout->addWidget(c.port);
  portLayout->addStretch();

  auto* web = new QGroupBox(Text(" Web Access "), page);
  c.webPort = new QLineEdit(web);
  c.webPort->setObjectName(Text("txtWebPort"));
  c.webPort->setMaximumWidth(90);
  c.webAddress = new QLabel(web);
  c.webAddress->setObjectName(Text("lblWebAddress"));
  c.webAddress->setTextFormat(Qt::RichText);
  c.webAddress->setTextInteractionFlags(Qt::TextBrowserInteraction);
  c.webAddress->setOpenExternalLinks(true);
  auto* webLayout = new QHBoxLayout(web);
  webLayout->addWidget(new QLabel(Text("Web Port: "), web));
  webLayout->addWidget(c.webPort);
  webLayout->addWidget(c.webAddress, 1);

  auto* logon = new QGroupBox(Text(" Logon "), page);
  auto* logonLayout = new QVBoxLayout(logon);
  logonLayout->addWidget(MakeCheck(c, logon, 4, "Allow multiple connections"));

  auto* activity = new QGroupBox(Text(" Activity "), page);
  c.minutes = MakeCombo(activity, "Combo2", Numbers({1, 2, 3, 4, 5, 10, 15, 20, 25, 30, 45, 60}));
  c.minutesLabel = new QLabel(Text("mins"), activity);
  c.minutesLabel->setObjectName(Text("lblMins"));
  auto* activityLayout = new QHBoxLayout(activity);
  activityLayout->addWidget(MakeCheck(c, activity, 5, "Disconnect on inactivity"));
  activityLayout->addWidget(c.minutes);
  activityLayout->addWidget(c.minutesLabel);
  activityLayout->addStretch();

  c.odbcAdministrator = MakeButton(page, "cmdODBCAdmin", "ODBC Administrator");
  auto* adminRow = new QHBoxLayout;
  adminRow->addStretch();
  adminRow->addWidget(c.odbcAdministrator);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(serverPort);
  layout->addWidget(web);
  layout->addWidget(logon);
  layout->addWidget(activity);
  layout->addStretch();
  layout->addLayout(adminRow);
  return page;
}

QWidget* BuildUsersTab(SetupControls& c, UserListModel* users) {
  auto* page = new QWidget;
  auto* frame = new QGroupBox(Text(" Remote Host Name "), page);
  auto* list = new QTreeView(frame);
  list->setObjectName(Text("ListView2"));
  list->setModel(users);
  ShapeList(list);
  const int w = ListWidth(list);
  list->setColumnWidth(UserListModel::NameColumn, 2 * w / 3);
  list->setColumnWidth(UserListModel::PrivateKeyColumn, w / 3);
  c.users = list;
  c.addUser = MakeButton(frame, "cmdAddUser", "Add User");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(c.addUser);
  auto* inner = new QVBoxLayout(frame);
  inner->addWidget(list);
  inner->addLayout(buttons);
  auto* outer = new QVBoxLayout(page);
  outer->addWidget(frame);
  return page;
}

}  // namespace

SetupControls BuildSetupLayout(QDialog* dialog, UserListModel* users) {
  SetupControls c;
  c.tabs = new QTabWidget(dialog);
  c.tabs->setObjectName(Text("SSTab1"));
  c.tabs->addTab(BuildDatabaseTab(c), Text("Database"));
  c.tabs->addTab(BuildGeneralTab(c), Text("General"));
  c.tabs->addTab(BuildNetworkTab(c), Text("Network"));
  c.tabs->addTab(BuildUsersTab(c, users), Text("Users"));

  // Shown under every tab.
  c.setupButtons[SetupControls::kSave] = MakeButton(dialog, "cmdSetup_0", "&Save");
  c.setupButtons[SetupControls::kCancel] = MakeButton(dialog, "cmdSetup_1", "&Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(c.setupButtons[0]);
  buttons->addWidget(c.setupButtons[1]);

  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(c.tabs);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Takes the focus after some buttons without showing anywhere.
  c.focusSink = new QLineEdit(dialog);
  c.focusSink->setObjectName(Text("Text1"));
  c.focusSink->setGeometry(-400, -400, 20, 20);
  return c;
}

}  // namespace corvane
