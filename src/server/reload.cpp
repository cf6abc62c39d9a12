// SIGHUP's reload: the user store and database.dat read again while clients are served.
// Clients name databases by their number in the list, so nothing a client may hold changes
// meaning: removed databases keep their place, withdrawn; new ones join the end.
#include <algorithm>

#include "config/database_check.h"
#include "config/user_list_model.h"
#include "engine/engine_error.h"
#include "server/server_instance.h"

namespace corvane {
namespace {

bool Listed(const PublishedList& list, const PublishedDatabase& entry,
            bool (*same)(const PublishedDatabase&, const PublishedDatabase&)) {
  return std::any_of(list.begin(), list.end(), [&](const auto& e) { return same(e, entry); });
}

const UserRecord* FindUser(const QList<UserRecord>& users, const QString& name) {
  const auto it = std::find_if(users.begin(), users.end(),
                               [&](const UserRecord& user) { return user.name == name; });
  return it == users.end() ? nullptr : &*it;
}

}  // namespace

void ServerInstance::Reload() {
  if (unloaded_) return;
  if (reloading_ || checking_) {
    reloadAgain_ = true;
    return;
  }
  // A start-up that does not serve (the setup is missing) has nothing to reload.
  if (!serving_) return;
  reloading_ = true;
  OnWorker([this, before = DatabaseDatOrder()] {
    ReloadResult result;
    PublishedList listed;
    if (SettingsFiles(programDir_).LoadDatabaseList(listed)) {
      PublishedList added;
      for (const PublishedDatabase& entry : listed) {
        if (!Listed(before, entry, SameEntry)) added.push_back(entry);
      }
      PublishedList prepared = added;
      accessPublisher_.PrepareList(prepared);
      // Files that cannot be served leave the list kept, as after a start-up's check; a
      // server database that does not answer stays and is tried again.
      PublishedList dropped;
      for (const PublishedDatabase& entry : added) {
        if (!Listed(prepared, entry, SameEntry)) dropped.push_back(entry);
      }
      for (const PublishedDatabase& entry : prepared) {
        try {
          result.opened.push_back({entry,
                                   DatabaseCheck::ListedObjects(databases_, entry.ServedPath(),
                                                                DatabaseCheck::Pass::kTables),
                                   DatabaseCheck::ListedObjects(databases_, entry.ServedPath(),
                                                                DatabaseCheck::Pass::kQueries)});
        } catch (const EngineError& error) {
          result.failed.emplace_back(entry, error.description());
          if (!entry.IsServerDatabase() || !ServerLocationProblem(entry.location).isEmpty())
            dropped.push_back(entry);
        }
      }
      std::erase_if(listed, [&](const auto& entry) { return Listed(dropped, entry, SameEntry); });
      result.listed = std::move(listed);
    }
    result.users = ReadStoredUsers();
    Post([this, result = std::move(result)] { ApplyReload(result); });
  });
}

std::optional<QList<UserRecord>> ServerInstance::ReadStoredUsers() {
  UserListModel stored;
  // No users under an existing key is a store whose last user was removed; no key at all
  // is a store that cannot be read.
  if (!users_.LoadUsers(stored) && !registry_.KeyExists(UserKeyPath)) return std::nullopt;
  return stored.Users();
}

void ServerInstance::TakeKnownUsers() {
  OnWorker([this] {
    std::optional<QList<UserRecord>> users = ReadStoredUsers();
    Post([this, users = std::move(users)] {
      if (users) knownUsers_ = users;
    });
  });
}

void ServerInstance::ApplyReload(const ReloadResult& result) {
  reloading_ = false;
  if (unloaded_) return;
  // A check started meanwhile (a saved setup) replaces the lists; the reload follows it.
  if (checking_) {
    reloadAgain_ = true;
    return;
  }
  int changes = 0;
  if (result.users) {
    changes += ReportUserChanges(*result.users);
  } else {
    activity_.LogNote(
        QStringLiteral("Reload failed: the user store cannot be read; logons use it as it is"));
  }
  if (result.listed) {
    changes += WithdrawRemoved(*result.listed);
    changes += OfferAdded(result);
    reloadedOrder_ = *result.listed;
    UpdateRetryTimer();
  } else {
    activity_.LogNote(QStringLiteral(
        "Reload failed: database.dat is missing or cannot be read; the databases stay as "
        "they were"));
  }
  if (changes == 0 && result.users && result.listed) {
    activity_.LogNote(QStringLiteral("Reload: nothing changed"));
  }
  // A check asked for while the reload ran (a saved setup) comes first.
  if (std::exchange(checkAgain_, false)) {
    RunDatabaseCheck();
    return;
  }
  if (std::exchange(reloadAgain_, false)) Reload();
}

int ServerInstance::ReportUserChanges(const QList<UserRecord>& users) {
  if (!knownUsers_) {
    knownUsers_ = users;
    return 0;
  }
  int changes = 0;
  auto note = [&](const char* text, const QString& name) {
    activity_.LogNote(QString::fromLatin1(text), name);
    ++changes;
  };
  for (const UserRecord& user : users) {
    const UserRecord* known = FindUser(*knownUsers_, user.name);
    if (!known) {
      note("Reload: user added", user.name);
    } else if (!(*known == user)) {
      note("Reload: user's password or key changed; the next logon uses the new one", user.name);
    }
  }
  for (const UserRecord& known : *knownUsers_) {
    if (!FindUser(users, known.name)) {
      note("Reload: user removed; sessions already logged on go on", known.name);
    }
  }
  knownUsers_ = users;
  return changes;
}

int ServerInstance::WithdrawRemoved(const PublishedList& listed) {
  int changes = 0;
  auto removed = [&](const PublishedDatabase& entry) { return !Listed(listed, entry, SameEntry); };
  for (auto it = withdrawn_.begin(); it != withdrawn_.end();) {
    if (!removed(it->entry)) {
      ++it;
      continue;
    }
    activity_.LogNote(QStringLiteral("Reload: database %1 removed").arg(it->entry.name));
    ++changes;
    it = withdrawn_.erase(it);
  }
  std::erase_if(outOfPlace_, [&](const Parked& parked) { return removed(parked.entry); });
  QStringList names;
  const PublishedList& published = catalogue_.Current().published;
  if (std::none_of(published.begin(), published.end(), [&](const PublishedDatabase& entry) {
        return !entry.withdrawn && removed(entry);
      })) {
    return changes;
  }
  catalogue_.Change([&](Catalogue& next) {
    next.tableLists.resize(next.published.size());
    next.queryLists.resize(next.published.size());
    for (size_t d = 0; d < next.published.size(); ++d) {
      PublishedDatabase& entry = next.published[d];
      if (entry.withdrawn || !removed(entry)) continue;
      entry.withdrawn = true;
      next.tableLists[d].clear();
      next.queryLists[d].clear();
      names << entry.name;
    }
  });
  for (const QString& name : names) {
    activity_.LogNote(
        QStringLiteral("Reload: database %1 withdrawn; sets open on it go on").arg(name));
  }
  return changes + static_cast<int>(names.size());
}

int ServerInstance::OfferAdded(const ReloadResult& result) {
  int changes = 0;
  for (const RetryAnswer& answer : result.opened) {
    const PublishedList& published = catalogue_.Current().published;
    const auto same = std::find_if(published.begin(), published.end(), [&](const auto& entry) {
      return SameEntry(entry, answer.entry);
    });
    // Offered meanwhile (a withdrawn server database that answered).
    if (same != published.end() && !same->withdrawn) continue;
    // The same database back again takes the place it left: its number named it before.
    const bool back = same != published.end();
    const auto at = static_cast<size_t>(same - published.begin());
    catalogue_.Change([&](Catalogue& next) {
      next.tableLists.resize(next.published.size());
      next.queryLists.resize(next.published.size());
      if (!back) {
        next.published.push_back({});
        next.tableLists.emplace_back();
        next.queryLists.emplace_back();
      }
      next.published[at] = answer.entry;
      next.tableLists[at] = answer.tables;
      next.queryLists[at] = answer.queries;
    });
    activity_.LogNote((back ? QStringLiteral("Reload: database %1 offered again in its place")
                            : QStringLiteral("Reload: database %1 added at the end of the list"))
                          .arg(answer.entry.name));
    ++changes;
  }
  const PublishedList& listed = *result.listed;
  for (const auto& [entry, why] : result.failed) {
    ++changes;
    // A server database that does not answer is tried again, like one the check withdrew.
    if (entry.IsServerDatabase() && ServerLocationProblem(entry.location).isEmpty()) {
      if (std::none_of(withdrawn_.begin(), withdrawn_.end(),
                       [&](const Parked& p) { return SameEntry(p.entry, entry); })) {
        const auto place = std::find_if(listed.begin(), listed.end(),
                                        [&](const auto& e) { return SameEntry(e, entry); }) -
                           listed.begin();
        withdrawn_.push_back({entry, static_cast<size_t>(place)});
      }
      activity_.LogNote(
          QStringLiteral("Reload: server database %1 does not answer and is tried again: %2")
              .arg(entry.name, why));
    } else {
      activity_.LogNote(
          QStringLiteral("Reload: database %1 cannot be opened and is not offered: %2")
              .arg(entry.name, why));
    }
  }
  return changes;
}

}  // namespace corvane
