#pragma once

#include <QByteArray>
#include <QList>
#include <optional>
#include <random>

#include "client/client_frames.h"

namespace corvane::load {

// What each client asks for over and over.
enum class WorkloadKind {
  kNext,         // "Next", and "First" after "EOF"
  kSendTheData,  // the current record again
  kFindFirst,    // "FindFirst" with a fixed mode and text
  kUpdate,       // "Update" of the current record, one value changed each time
  kOpen,         // "RequestTheTable": opening the table and reading its field list
  kSort,         // "Sort" with a fixed order
  kHold,         // nothing: the sets stay open (memory)
  kHeavy,        // in turn "Sort", "FindFirst", a saved query opened, the table opened again
  kHandheld,     // a person browsing at human pace: mostly "Next"/"Prev", now and then a find
                 // or an edit of the client's own record (the mix is in PacedMix below)
};

// The handheld mix, per request drawn: an edit of the client's own record ("FindFirst" of
// it, then "Update" of what was found: two requests), a "FindFirst" of a record drawn from
// the whole table, else browsing, three "Next" to one "Prev" ("First" after "EOF", "Last"
// after "BOF").
struct PacedMix {
  static constexpr int kEditPerCent = 5;
  static constexpr int kFindPerCent = 2;
  static constexpr int kNextPerPrev = 3;
};

std::optional<WorkloadKind> ParseWorkloadKind(const QByteArray& name);
QByteArray WorkloadName(WorkloadKind kind);

struct WorkloadSpec {
  WorkloadKind kind = WorkloadKind::kNext;
  int database = 0;  // as numbered by "ThankYou"
  int table = 0;     // as numbered by "RequestTables"
  int findMode = 0;
  QByteArray findText;
  QByteArray sortOrder;
  int updateField = 1;  // the value (0-based, in field order) an update changes
  // The record (0-based) the first client updates; client k updates the one k after it.
  // Clients of two servers on one database update records of their own this way.
  int firstRecord = 0;
  int query = 0;  // the saved query a heavy client opens, as numbered by "RequestQuery"
};

// STX, the word, then each field followed by EOT.
QByteArray MessageText(const QByteArray& word, const QList<QByteArray>& fields = {});

// The requests of one client: the next request's message text from the reply to the last.
class RequestPlan {
 public:
  // `client` numbers the clients of one run: a handheld edits the record whose first field
  // holds first-record + client + 1 (the bench tables number their records from 1), and
  // draws its own sequence.
  explicit RequestPlan(const WorkloadSpec& spec, int client = 0);

  // The text that opens the workload's table.
  QByteArray OpenText() const;
  // The next request. `previous` is the reply to the last request of the run (none before
  // the first); an update needs a record reply ("Data" or "Found") to change.
  // Nothing when the workload sends no requests or cannot go on from that reply.
  std::optional<QByteArray> NextText(const ClientReply* previous);
  // True when the text is the same every time (so it may be framed once).
  bool FixedText() const;
  // False for a reply that another reply to the same request follows: the "ErrorUpdate" of a
  // failed update comes before the record as now stored.
  bool FinalReply(const ClientReply& reply) const;
  // The table's record count from the reply that opened it, the range a handheld finds in.
  void Opened(const ClientReply& fields);
  // A handheld's pause before its next request: uniform in [T/2, 3T/2], so the mean is T.
  double ThinkMs(double meanMs);

 private:
  std::optional<QByteArray> HandheldText(const ClientReply* previous);

  WorkloadSpec spec_;
  int step_ = 0;  // where a heavy client is in its turn
  int client_ = 0;
  int records_ = 1;
  bool editPending_ = false;  // the last request found the own record: update it next
  std::mt19937 random_;
};

}  // namespace corvane::load
