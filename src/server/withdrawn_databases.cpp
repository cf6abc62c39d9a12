// The server databases a check withdrew: where database.dat keeps them, and how they are
// tried again and offered to clients once they answer.
#include <algorithm>

#include "config/database_check.h"
#include "engine/engine_error.h"
#include "server/server_instance.h"

namespace corvane {

bool ServerInstance::SameEntry(const PublishedDatabase& a, const PublishedDatabase& b) {
  return a.name == b.name && a.location == b.location;
}

void ServerInstance::WithdrawUnanswered(const PublishedList& before) {
  const PublishedList& published = catalogue_.Current().published;
  // Places count what database.dat keeps: the published and the withdrawn. A refused
  // connection text (one carrying a password) is not kept.
  size_t place = 0;
  for (const PublishedDatabase& entry : before) {
    const bool kept = std::any_of(published.begin(), published.end(),
                                  [&](const auto& p) { return SameEntry(p, entry); });
    if (kept) {
      ++place;
    } else if (entry.IsServerDatabase() && ServerLocationProblem(entry.location).isEmpty()) {
      withdrawn_.push_back({entry, place++});
    } else {
      unreadable_.push_back(entry.name);
    }
  }
}

PublishedList ServerInstance::DatabaseDatOrder() const {
  if (reloadedOrder_) return *reloadedOrder_;
  PublishedList order;
  for (const PublishedDatabase& entry : catalogue_.Current().published) {
    if (!entry.withdrawn && !OutOfPlace(entry)) order.push_back(entry);
  }
  const PublishedList published = order;
  std::vector<Parked> parked = withdrawn_;
  parked.insert(parked.end(), outOfPlace_.begin(), outOfPlace_.end());
  std::stable_sort(parked.begin(), parked.end(),
                   [](const Parked& a, const Parked& b) { return a.place < b.place; });
  for (const Parked& p : parked) {
    // The setup may have published the same connection text again meanwhile. Two
    // withdrawn entries for one server database are both kept.
    const bool listed = std::any_of(published.begin(), published.end(), [&](const auto& entry) {
      return entry.location == p.entry.location;
    });
    if (listed) continue;
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(std::min(p.place, order.size())),
                 p.entry);
  }
  return order;
}

bool ServerInstance::OutOfPlace(const PublishedDatabase& entry) const {
  return std::any_of(outOfPlace_.begin(), outOfPlace_.end(),
                     [&](const Parked& p) { return SameEntry(p.entry, entry); });
}

void ServerInstance::RetryWithdrawnDatabases() {
  if (checking_ || retrying_ || withdrawn_.empty()) return;
  retrying_ = true;
  PublishedList tried;
  for (const Parked& parked : withdrawn_) tried.push_back(parked.entry);
  OnWorker([this, tried = std::move(tried)] {
    std::vector<RetryAnswer> answers;
    for (const PublishedDatabase& entry : tried) {
      try {
        RetryAnswer answer{entry, {}, {}};
        answer.tables = DatabaseCheck::ListedObjects(databases_, entry.ServedPath(),
                                                     DatabaseCheck::Pass::kTables);
        answer.queries = DatabaseCheck::ListedObjects(databases_, entry.ServedPath(),
                                                      DatabaseCheck::Pass::kQueries);
        answers.push_back(std::move(answer));
      } catch (const EngineError&) {
        // Still down: the next tick tries again; the activity list has said so once.
      }
    }
    Post([this, answers = std::move(answers)] { TakeRetryAnswers(answers); });
  });
}

void ServerInstance::TakeRetryAnswers(const std::vector<RetryAnswer>& answers) {
  retrying_ = false;
  // A check that runs now decides for itself.
  if (checking_) return;
  for (const RetryAnswer& answer : answers) {
    const auto it = std::find_if(withdrawn_.begin(), withdrawn_.end(),
                                 [&](const Parked& p) { return SameEntry(p.entry, answer.entry); });
    // Gone from the list meanwhile (a setup saved without it, or a check published it).
    if (it == withdrawn_.end()) continue;
    const Parked parked = *it;
    withdrawn_.erase(it);
    Republish(parked, answer);
  }
  UpdateRetryTimer();
}

void ServerInstance::Republish(const Parked& parked, const RetryAnswer& answer) {
  // Clients name databases by their index in the list. With none connected it goes back to
  // its place, as a saved setup would put it; with clients connected it joins the end, so
  // that no index a client holds changes meaning, and the next check (start-up or a saved
  // setup, which disconnects everyone) puts it in its place. database.dat keeps the place.
  // After a reload the list's order is no longer database.dat's: the end it is.
  size_t index = catalogue_.Current().published.size();
  if (slots_.ConnectedCount() == 0 && outOfPlace_.empty() && !reloadedOrder_) {
    const auto before = std::count_if(withdrawn_.begin(), withdrawn_.end(),
                                      [&](const Parked& p) { return p.place < parked.place; });
    index = std::min(parked.place - static_cast<size_t>(before), index);
  } else {
    outOfPlace_.push_back(parked);
  }
  const auto at = static_cast<std::ptrdiff_t>(index);
  catalogue_.Change([at, &answer](Catalogue& next) {
    next.tableLists.resize(next.published.size());
    next.queryLists.resize(next.published.size());
    next.published.insert(next.published.begin() + at, answer.entry);
    next.tableLists.insert(next.tableLists.begin() + at, answer.tables);
    next.queryLists.insert(next.queryLists.begin() + at, answer.queries);
  });
  activity_.LogNote(QStringLiteral("Server database %1 answers and is offered to clients again")
                        .arg(answer.entry.name));
}

void ServerInstance::UpdateRetryTimer() {
  if (withdrawn_.empty()) {
    retryTimer_.stop();
  } else if (!retryTimer_.isActive()) {
    retryTimer_.start();
  }
}

}  // namespace corvane
