#pragma once

#include "gui/config/setup_controls.h"

class QDialog;

namespace corvane {

class UserListModel;

// Width of both lists; their column widths are shares of it.
inline constexpr int kSetupListWidth = 450;

// Builds the setup dialog's tabs, frames and controls inside `dialog`, with the user list
// showing `users`, and returns pointers to the controls. Sets captions, combo lists and
// column widths; connects nothing.
SetupControls BuildSetupLayout(QDialog* dialog, UserListModel* users);

}  // namespace corvane
