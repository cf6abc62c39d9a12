#pragma once

#include "config/database_check_ui.h"
#include "gui/config/checking_window.h"

namespace corvane {

// Shows the database check's progress in the checking window: it comes up with the first
// heading and goes when the check is done. The check runs on the server's side; its steps
// arrive here on the windows' thread.
class CheckingWindowProgress : public DatabaseCheckProgress {
 public:
  explicit CheckingWindowProgress(CheckingWindow& window) : window_(window) {}

  void ShowHeading(const QString& text) override {
    window_.SetHeading(text);
    window_.ShowChecking();
  }
  void ShowDatabase(const QString& text) override { window_.SetDatabaseLabel(text); }
  void ShowObject(const QString& text) override { window_.SetObjectLabel(text); }
  void Close() override { window_.Unload(); }

 private:
  CheckingWindow& window_;
};

}  // namespace corvane
