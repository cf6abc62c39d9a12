#include "server/posted_reports.h"

namespace corvane {

void PostedReports::ShowHeading(const QString& heading) {
  post_([&progress = progress_, heading] { progress->ShowHeading(heading); });
}

void PostedReports::ShowDatabase(const QString& name) {
  post_([&progress = progress_, name] { progress->ShowDatabase(name); });
}

void PostedReports::ShowObject(const QString& name) {
  post_([&progress = progress_, name] { progress->ShowObject(name); });
}

void PostedReports::Close() {
  post_([&progress = progress_] { progress->Close(); });
}

void PostedReports::ShowDatabaseError(const QString& text, const QString& title) {
  ShowMessage(text, title, Icon::Critical);
}

void PostedReports::ShowMessage(const QString& text, const QString& title, Icon icon) {
  post_([&notices = notices_, text, title, icon] { notices.ShowMessage(text, title, icon); });
}

}  // namespace corvane
