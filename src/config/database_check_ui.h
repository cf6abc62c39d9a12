#pragma once

#include <QString>

namespace corvane {

// What the database check shows while it runs; the desktop shows it in the small
// "Checking Database" window, tests record it. Called on the thread the check runs on.
class DatabaseCheckProgress {
 public:
  virtual ~DatabaseCheckProgress() = default;
  // Shows the window (when hidden) with the pass's heading, "Table: " or "Query: ".
  virtual void ShowHeading(const QString& heading) = 0;
  virtual void ShowDatabase(const QString& name) = 0;
  virtual void ShowObject(const QString& name) = 0;
  // Unloads the window at the end of the query pass.
  virtual void Close() = 0;
};

// Tells the operator that a published database cannot be read (a message box with the
// critical-error icon and an OK button). The check goes on without waiting for it.
class DatabaseErrorPrompt {
 public:
  virtual ~DatabaseErrorPrompt() = default;
  virtual void ShowDatabaseError(const QString& text, const QString& title) = 0;
};

}  // namespace corvane
