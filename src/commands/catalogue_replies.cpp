#include "commands/catalogue_replies.h"

#include "protocol/command_error.h"

namespace corvane {
namespace {

QStringList ListOf(const std::vector<QStringList>& lists, int16_t n) {
  // With nothing published the first database's list is there, empty: a client that logs on
  // before any database is published asks for it and must not lose its logon.
  if (n == 0 && lists.empty()) return {};
  if (n < 0 || static_cast<size_t>(n) >= lists.size()) throw CommandError::SubscriptOutOfRange();
  return lists[n];
}

}  // namespace

QString ClientQueryName(const QString& name) {
  return name.startsWith(QLatin1String("~sq_")) ? name.mid(5) : name;
}

std::optional<Reply> DatabaseListReply(const Catalogue& catalogue) {
  if (catalogue.published.empty()) return std::nullopt;
  Reply reply{"Databases", {}, false};
  for (const PublishedDatabase& database : catalogue.published) reply.fields.append(database.name);
  return reply;
}

Reply TableListReply(const Catalogue& catalogue, int16_t n) {
  return Reply{"Tables", ListOf(catalogue.tableLists, n), false};
}

Reply WizardTableListReply(const Catalogue& catalogue, int16_t n) {
  return Reply{"TablesWiz", ListOf(catalogue.tableLists, n), false};
}

Reply QueryListReply(const Catalogue& catalogue, int16_t n) {
  Reply reply{"Query", {}, false};
  for (const QString& name : ListOf(catalogue.queryLists, n)) {
    reply.fields.append(ClientQueryName(name));
  }
  return reply;
}

}  // namespace corvane
