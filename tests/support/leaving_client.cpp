#include "support/leaving_client.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>

#include "support/test_server.h"

namespace corvane::test {

BrowserAndComposer StartBrowserAndComposer(quint16 port, const char* browsed,
                                           const char* composed) {
  BrowserAndComposer clients{LoggedOnClient(port, "bob", "secret", 12345678),
                             LoggedOnClient(port, "bob", "secret", 12345678)};
  const auto fields = clients.browsing->Request("RequestTheTable", {browsed, "0"});
  EXPECT_TRUE(fields && fields->word == "Fields");
  const auto tables = clients.composing->Request("RequestTablesWiz", {composed});
  EXPECT_TRUE(tables && tables->word == "TablesWiz");
  clients.composing->Send("CreateQuery", {"Mine", "SELECT name FROM people"});
  EXPECT_TRUE(clients.composing->ReadReply());
  return clients;
}

qint64 WorstFirstWait(CorvaneClient& client, qint64 ms) {
  qint64 worst = 0;
  QElapsedTimer window;
  window.start();
  while (window.elapsed() < ms) {
    QElapsedTimer one;
    one.start();
    const auto reply = client.Request("First");
    worst = std::max(worst, one.elapsed());
    if (!reply || reply->fields != QList<QByteArray>{"1", "1", "Ann"}) {
      ADD_FAILURE() << "no first record: " << (reply ? reply->text.toStdString() : "no reply");
      break;
    }
  }
  return worst;
}

}  // namespace corvane::test
