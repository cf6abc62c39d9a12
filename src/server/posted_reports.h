#pragma once

#include <functional>

#include "config/database_check_ui.h"
#include "server/operator_prompts.h"

namespace corvane {

// The database check without a window: nothing to show while it runs.
class SilentCheckProgress : public DatabaseCheckProgress {
 public:
  void ShowHeading(const QString&) override {}
  void ShowDatabase(const QString&) override {}
  void ShowObject(const QString&) override {}
  void Close() override {}
};

// What one thread shows and tells, handed to another through `post`: a check's progress
// and the operator's notices (a database that cannot be read is one). On the other thread
// the progress goes to where `progress` points then, and the notices to `notices`. Whoever
// reports never waits: from a worker to the event-loop thread, and from there to the
// windows.
class PostedReports : public DatabaseCheckProgress,
                      public DatabaseErrorPrompt,
                      public OperatorNotices {
 public:
  using Post = std::function<void(std::function<void()>)>;

  // `progress` and `notices` are used on the receiving thread only.
  PostedReports(Post post, DatabaseCheckProgress* const& progress, OperatorNotices& notices)
      : post_(std::move(post)), progress_(progress), notices_(notices) {}

  void ShowHeading(const QString& heading) override;
  void ShowDatabase(const QString& name) override;
  void ShowObject(const QString& name) override;
  void Close() override;
  void ShowDatabaseError(const QString& text, const QString& title) override;
  void ShowMessage(const QString& text, const QString& title, Icon icon) override;

 private:
  Post post_;
  DatabaseCheckProgress* const& progress_;
  OperatorNotices& notices_;
};

}  // namespace corvane
