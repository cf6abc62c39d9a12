#pragma once

#include "activity/activity_note_sink.h"
#include "activity/activity_reporter.h"

namespace corvane {

// The slots report to the activity log, and the activity log reads the slots' sessions:
// this forwarder lets the slots be built first and the log attached right after.
class ForwardingActivity : public ActivityReporter, public ActivityNoteSink {
 public:
  void Attach(ActivityReporter* reporter, ActivityNoteSink* notes) {
    reporter_ = reporter;
    notes_ = notes;
  }
  void LogActivity(int slot, const QByteArray& code) override {
    if (reporter_ != nullptr) reporter_->LogActivity(slot, code);
  }
  void LogNote(int slot, const QString& text) override {
    if (notes_ != nullptr) notes_->LogNote(slot, text);
  }

 private:
  ActivityReporter* reporter_ = nullptr;
  ActivityNoteSink* notes_ = nullptr;
};

}  // namespace corvane
