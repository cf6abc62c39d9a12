#pragma once

#include <QtGlobal>
#include <memory>

#include "client/corvane_client.h"

namespace corvane::test {

// Two clients of one server, logged on as bob: `browsing` has the first table of database
// `browsed` open; `composing` composed the query "Mine" on database `composed` and has not
// saved it, so that letting it go removes the query.
struct BrowserAndComposer {
  std::unique_ptr<CorvaneClient> browsing;
  std::unique_ptr<CorvaneClient> composing;
};
BrowserAndComposer StartBrowserAndComposer(quint16 port, const char* browsed, const char* composed);

// Asks `client` for its first record (Ann) again and again for `ms`; the longest a reply
// took. A missing or wrong reply fails the test.
qint64 WorstFirstWait(CorvaneClient& client, qint64 ms);

}  // namespace corvane::test
