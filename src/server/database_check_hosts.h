#pragma once

#include <functional>

#include "config/database_check.h"
#include "config/database_check_ui.h"
#include "server/operator_prompts.h"

namespace corvane {

// The database check without a window: nothing to show while it runs.
class SilentCheckProgress : public DatabaseCheckProgress {
 public:
  void ShowHeading(const QString&) override {}
  void ShowDatabase(const QString&) override {}
  void ShowObject(const QString&) override {}
  void LetEventsRun() override {}
  void Close() override {}
};

// An unreadable database is told to the operator through the server's message boxes.
class PromptedDatabaseError : public DatabaseErrorPrompt {
 public:
  explicit PromptedDatabaseError(OperatorPrompts& prompts) : prompts_(prompts) {}
  void ShowDatabaseError(const QString& text, const QString& title) override {
    prompts_.ShowMessage(text, title, OperatorPrompts::Icon::Critical);
  }

 private:
  OperatorPrompts& prompts_;
};

// The check's waits on a server database run on a worker of the long-work pool (`start`
// hands work to it) while this thread runs its events: timers fire, other clients are
// served and windows repaint.
class WorkerCheckWork : public DatabaseCheckWorker {
 public:
  explicit WorkerCheckWork(std::function<void(std::function<void()>)> start)
      : start_(std::move(start)) {}
  void RunAside(const std::function<void()>& work) override;

 private:
  std::function<void(std::function<void()>)> start_;
};

}  // namespace corvane
