#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "gui/config/setup_controls.h"
#include "server/setup_values.h"

class QTreeWidget;

namespace corvane {

class UserListModel;

// The fill and save of the setup dialog: copies between the server's settings, published
// list and users and the dialog's controls.

// Copies the settings, the published list and the stored users into the controls, then
// applies the check box rules.
void FillSetupDialog(const SetupControls& controls, const SetupValues& values,
                     const QString& programDir, UserListModel& users);

// The web client's address for the port typed in "Web Port: ", as a link ("Off" for 0).
void ShowWebAddress(const SetupControls& controls, const QString& programDir);

// "Keep Log File" enables the two log buttons; "Disconnect on inactivity" enables the
// minutes box and its label.
void ApplyCheckBoxRules(const SetupControls& controls);

// What the controls hold, for "&Save": a value that cannot be converted or does not fit
// keeps the setting it was meant for (taken from `current`).
SetupValues SetupValuesFrom(const SetupControls& controls, const ServerSettings& current,
                            const UserListModel& users);

// Lists the chosen file: its name with extension, and its full path. Nothing checks for
// duplicates. Returns the new item's row, or -1 for an empty path.
int AddBrowsedDatabase(QTreeWidget* databases, const QString& path);

// The file-open dialog's filters for the database files the server can publish.
QStringList PublishableDatabaseFilters();

// The leading number of the text rounded to the nearest integer, ties to even; 0 when the
// text holds none. nullopt when the result does not fit the type.
std::optional<int16_t> LeadingInt16(const QString& text);
std::optional<int32_t> LeadingInt32(const QString& text);

}  // namespace corvane
