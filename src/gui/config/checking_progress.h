#pragma once

#include <QCoreApplication>

#include "config/database_check_ui.h"
#include "gui/config/checking_window.h"

namespace corvane {

// Shows the database check's progress in the checking window: it comes up with the first
// heading, repaints between tables and queries, and goes when the check is done.
class CheckingWindowProgress : public DatabaseCheckProgress {
 public:
  explicit CheckingWindowProgress(CheckingWindow& window) : window_(window) {}

  void ShowHeading(const QString& text) override {
    window_.SetHeading(text);
    window_.ShowChecking();
  }
  void ShowDatabase(const QString& text) override { window_.SetDatabaseLabel(text); }
  void ShowObject(const QString& text) override { window_.SetObjectLabel(text); }
  void LetEventsRun() override { QCoreApplication::processEvents(); }
  void Close() override { window_.Unload(); }

 private:
  CheckingWindow& window_;
};

}  // namespace corvane
