#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

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
  explicit RequestPlan(const WorkloadSpec& spec);

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

 private:
  WorkloadSpec spec_;
  int step_ = 0;  // where a heavy client is in its turn
};

}  // namespace corvane::load
