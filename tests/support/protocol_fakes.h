#pragma once

// Stand-ins for the user store and the activity log, for tests of the protocol and the
// connections.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "activity/activity_reporter.h"
#include "users/user_directory.h"
#include "users/user_rules.h"

namespace corvane::test {

// Users as "PASSWORD:KEY" records under their upper-cased names. FindLogonUser looks a
// name up and splits its record by the store's own rules.
class FakeUserDirectory : public UserDirectory {
 public:
  void Add(const QByteArray& upperName, const QByteArray& record) { records_[upperName] = record; }
  bool HasUsers() override { return !records_.isEmpty(); }
  std::optional<LogonRecord> FindLogonUser(const QString& userName) override {
    lookups.push_back(userName);
    auto it = records_.find(LookupName(userName));
    if (it == records_.end()) return std::nullopt;
    return ParseLogonRecord(*it);
  }
  // The names asked for, as given.
  std::vector<QString> lookups;

 private:
  QMap<QByteArray, QByteArray> records_;
};

// Every event and note in the order they were reported.
class RecordingActivity : public ActivityReporter {
 public:
  void LogActivity(const ActivityEntry& entry) override {
    events.push_back({entry.slot, entry.code});
    entries.push_back(entry);
    timeline.push_back(QString::fromLatin1(entry.code));
    if (forward) forward(entry);
  }
  void LogNote(const QString& text, const QString& user) override {
    notes.push_back({user, text});
    timeline.push_back(QStringLiteral("note: ") + text);
  }

  int Count(const QByteArray& code) const {
    int n = 0;
    for (const auto& event : events) n += event.second == code ? 1 : 0;
    return n;
  }
  std::vector<std::pair<int, QByteArray>> events;
  std::vector<ActivityEntry> entries;
  // Notes as (user, text).
  std::vector<std::pair<QString, QString>> notes;
  // Event codes and "note: " + text, in the order they came.
  std::vector<QString> timeline;
  // Also given every event as it is reported (a real activity log, say).
  std::function<void(const ActivityEntry&)> forward;
};

}  // namespace corvane::test
