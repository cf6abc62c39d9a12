#include "commands/catalogue_replies.h"

#include "commands/command_context.h"
#include "protocol/command_error.h"
#include "wire/message_fields.h"
#include "base/windows1252.h"

namespace corvane {
namespace {

const QStringList& ListOf(const std::vector<QStringList>& lists, int16_t n) {
  if (n < 0 || static_cast<size_t>(n) >= lists.size()) throw CommandError::SubscriptOutOfRange();
  return lists[n];
}

QByteArray NamesReply(const QByteArray& word, const QStringList& names) {
  QByteArray text = LeadField(word);
  for (const QString& name : names) text += AddField(ToWindows1252(name));
  return text;
}

}  // namespace

QByteArray ClientQueryName(const QByteArray& name) {
  return name.startsWith("~sq_") ? name.mid(5) : name;
}

QByteArray DatabaseListText(const Catalogue& catalogue) {
  if (catalogue.published.empty()) return {};
  QByteArray text = LeadField("Databases");
  for (const PublishedDatabase& database : catalogue.published) {
    text += AddField(ToWindows1252(database.name));
  }
  return text;
}

QByteArray TableListText(const Catalogue& catalogue, int16_t n) {
  return NamesReply("Tables", ListOf(catalogue.tableLists, n));
}

QByteArray WizardTableListText(const Catalogue& catalogue, int16_t n) {
  return NamesReply("TablesWiz", ListOf(catalogue.tableLists, n));
}

QByteArray QueryListText(const Catalogue& catalogue, int16_t n) {
  QByteArray text = LeadField("Query");
  for (const QString& name : ListOf(catalogue.queryLists, n)) {
    text += AddField(ClientQueryName(ToWindows1252(name)));
  }
  return text;
}

QByteArray DatabaseListReply(CommandContext& ctx) {
  const QByteArray text = DatabaseListText(ctx.services().catalogue);
  return text.isEmpty() ? QByteArray() : ctx.Frame(text);
}

QByteArray TableListReply(int16_t n, CommandContext& ctx) {
  return ctx.Frame(TableListText(ctx.services().catalogue, n));
}

QByteArray WizardTableListReply(int16_t n, CommandContext& ctx) {
  return ctx.Frame(WizardTableListText(ctx.services().catalogue, n));
}

QByteArray QueryListReply(int16_t n, CommandContext& ctx) {
  return ctx.Frame(QueryListText(ctx.services().catalogue, n));
}

}  // namespace corvane
