#include "gui/config/setup_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <limits>

#include "base/leading_number.h"
#include "base/windows1252.h"
#include "config/user_list_model.h"
#include "transport/web/web_address.h"

namespace corvane {
namespace {

template <typename Int>
std::optional<Int> LeadingInteger(const QString& text) {
  // nearbyint rounds in the default mode: to nearest, ties to even.
  const double rounded = std::nearbyint(LeadingNumber(ToWindows1252(text)));
  // Written so that a NaN fails too.
  if (!(rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max())) {
    return std::nullopt;
  }
  return static_cast<Int>(rounded);
}

Qt::CheckState CheckStateOf(double value) { return value == 1 ? Qt::Checked : Qt::Unchecked; }

double CheckValue(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }

}  // namespace

std::optional<int16_t> LeadingInt16(const QString& text) { return LeadingInteger<int16_t>(text); }

std::optional<int32_t> LeadingInt32(const QString& text) { return LeadingInteger<int32_t>(text); }

void FillSetupDialog(const SetupControls& c, const SetupValues& values, const QString& programDir,
                     UserListModel& users) {
  const ServerSettings& s = values.settings;
  c.port->setText(QString::number(s.ListenPort));
  c.webPort->setText(QString::number(s.WebPort));
  ShowWebAddress(c, programDir);

  c.databases->clear();
  for (const PublishedDatabase& database : values.published) {
    new QTreeWidgetItem(c.databases, {database.name, database.location});
  }

  users.Clear();
  for (const UserRecord& user : values.users) users.Append(user);

  c.checks[SetupControls::kRunAtStartup]->setCheckState(CheckStateOf(SettingValue(s.RunAtStartup)));
  c.checks[SetupControls::kRunMinimized]->setCheckState(CheckStateOf(SettingValue(s.RunMinimized)));
  c.checks[SetupControls::kKeepLogFile]->setCheckState(CheckStateOf(SettingValue(s.KeepLogFile)));
  c.checks[SetupControls::kEncryption]->setCheckState(CheckStateOf(s.EncryptionEnabled));
  c.checks[SetupControls::kMultipleLogons]->setCheckState(
      CheckStateOf(SettingValue(s.AllowMultipleLogons)));

  if (s.InactivityLimit < 1) {
    c.checks[SetupControls::kDisconnectInactive]->setChecked(false);
  } else {
    c.checks[SetupControls::kDisconnectInactive]->setChecked(true);
    c.minutes->setEditText(QString::number(s.InactivityLimit));
  }
  c.refreshRate->setEditText(QString::number(s.RefreshRate));
  ApplyCheckBoxRules(c);
}

void ShowWebAddress(const SetupControls& c, const QString& programDir) {
  const std::optional<int32_t> port = LeadingInt32(c.webPort->text());
  const QString url = WebAccessUrl(programDir, port.value_or(0));
  if (url.isEmpty()) {
    c.webAddress->setText(QStringLiteral("Off"));
  } else {
    c.webAddress->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(url.toHtmlEscaped()));
  }
}

void ApplyCheckBoxRules(const SetupControls& c) {
  const bool keepLog = c.checks[SetupControls::kKeepLogFile]->isChecked();
  for (QPushButton* button : c.logButtons) button->setEnabled(keepLog);
  const bool disconnect = c.checks[SetupControls::kDisconnectInactive]->isChecked();
  c.minutes->setEnabled(disconnect);
  c.minutesLabel->setEnabled(disconnect);
}

SetupValues SetupValuesFrom(const SetupControls& c, const ServerSettings& current,
                            const UserListModel& users) {
  SetupValues values{current, {}, users.Users()};
  ServerSettings& s = values.settings;
  if (const auto port = LeadingInt16(c.port->text())) s.ListenPort = *port;
  if (const auto webPort = LeadingInt32(c.webPort->text());
      webPort && *webPort >= 0 && *webPort <= 65535) {
    s.WebPort = *webPort;
  }

  PublishedList& published = values.published;
  for (int row = 0; row < c.databases->topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = c.databases->topLevelItem(row);
    published.push_back({item->text(0), item->text(1)});
  }

  s.RunAtStartup = CheckValue(c.checks[SetupControls::kRunAtStartup]);
  s.RunMinimized = CheckValue(c.checks[SetupControls::kRunMinimized]);
  s.KeepLogFile = CheckValue(c.checks[SetupControls::kKeepLogFile]);
  s.EncryptionEnabled = static_cast<int16_t>(CheckValue(c.checks[SetupControls::kEncryption]));
  s.AllowMultipleLogons = CheckValue(c.checks[SetupControls::kMultipleLogons]);

  if (!c.checks[SetupControls::kDisconnectInactive]->isChecked()) {
    s.InactivityLimit = 0;
  } else if (const auto minutes = LeadingInt16(c.minutes->currentText())) {
    // A limit of no minutes or fewer means "never", which the unchecked box says.
    s.InactivityLimit = std::max<int16_t>(*minutes, 0);
  }
  if (const auto rate = LeadingInt32(c.refreshRate->currentText())) s.RefreshRate = *rate;
  return values;
}

QStringList PublishableDatabaseFilters() {
  return {QStringLiteral("SQLite databases (*.db *.sqlite *.sqlite3)"),
          QStringLiteral("Access databases (*.mdb *.accdb)")};
}

int AddBrowsedDatabase(QTreeWidget* databases, const QString& path) {
  if (path.isEmpty()) return -1;
  auto* item = new QTreeWidgetItem(databases, {QFileInfo(path).fileName(), path});
  databases->scrollToItem(item);
  return databases->indexOfTopLevelItem(item);
}

}  // namespace corvane
