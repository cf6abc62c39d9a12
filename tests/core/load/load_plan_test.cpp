// The load generator's own arithmetic and request sequences.
#include <gtest/gtest.h>

#include "latency_summary.h"
#include "request_plan.h"

namespace corvane::load {
namespace {

ClientReply Reply(const QByteArray& word, const QList<QByteArray>& fields = {}) {
  ClientReply reply;
  reply.word = word;
  reply.fields = fields;
  return reply;
}

TEST(LatencyRecorderTest, PercentilesAreNearestRankOverAllSamples) {
  LatencyRecorder recorder;
  EXPECT_EQ(recorder.Percentile(0.5), 0);  // no samples
  // Recorded out of order, as replies of many clients come in.
  for (int i = 1000; i >= 1; --i) recorder.Record(i);
  EXPECT_EQ(recorder.Percentile(0.50), 500);
  EXPECT_EQ(recorder.Percentile(0.99), 990);
  EXPECT_EQ(recorder.Percentile(0.999), 999);
  EXPECT_EQ(recorder.Max(), 1000);
  EXPECT_EQ(recorder.Percentile(0.0001), 1);

  // A sample recorded after a percentile was read counts too.
  recorder.Record(5000);
  EXPECT_EQ(recorder.Max(), 5000);
  LatencyRecorder other;
  other.Record(7000);
  recorder.Merge(other);
  EXPECT_EQ(recorder.Count(), 1002u);
  EXPECT_EQ(recorder.Max(), 7000);
}

TEST(LatencyRecorderTest, FewSamplesGiveTheirLargestForHighPercentiles) {
  LatencyRecorder recorder;
  recorder.Record(30);
  recorder.Record(10);
  recorder.Record(20);
  EXPECT_EQ(recorder.Percentile(0.5), 20);
  EXPECT_EQ(recorder.Percentile(0.99), 30);
  EXPECT_EQ(recorder.Percentile(0.999), 30);
}

TEST(RequestPlanTest, NextStartsOverWithFirstAfterEof) {
  RequestPlan plan({});
  EXPECT_EQ(plan.NextText(nullptr), QByteArray("\x02Next\x04"));
  const ClientReply data = Reply("Data", {"2", "2", "Ann"});
  EXPECT_EQ(plan.NextText(&data), QByteArray("\x02Next\x04"));
  const ClientReply eof = Reply("EOF");
  EXPECT_EQ(plan.NextText(&eof), QByteArray("\x02"
                                            "First\x04"));
  EXPECT_FALSE(plan.FixedText());
}

TEST(RequestPlanTest, FixedRequestsCarryTheirFields) {
  WorkloadSpec spec;
  spec.kind = WorkloadKind::kFindFirst;
  spec.findMode = 1;
  spec.findText = "N0000042";
  RequestPlan find(spec);
  EXPECT_TRUE(find.FixedText());
  EXPECT_EQ(find.NextText(nullptr), QByteArray("\x02"
                                               "FindFirst\x04"
                                               "1\x04N0000042\x04"));

  spec.kind = WorkloadKind::kOpen;
  spec.database = 1;
  spec.table = 2;
  EXPECT_EQ(RequestPlan(spec).NextText(nullptr), QByteArray("\x02RequestTheTable\x04"
                                                            "1\x04"
                                                            "2\x04"));
  EXPECT_EQ(RequestPlan(spec).OpenText(), RequestPlan(spec).NextText(nullptr));

  spec.kind = WorkloadKind::kSort;
  spec.sortOrder = "name DESC";
  EXPECT_EQ(RequestPlan(spec).NextText(nullptr), QByteArray("\x02Sort\x04name DESC\x04"));

  spec.kind = WorkloadKind::kHold;
  EXPECT_FALSE(RequestPlan(spec).NextText(nullptr).has_value());
}

TEST(RequestPlanTest, UpdateSendsTheRecordBackWithOneValueToggled) {
  WorkloadSpec spec;
  spec.kind = WorkloadKind::kUpdate;
  spec.updateField = 1;
  RequestPlan plan(spec);
  EXPECT_FALSE(plan.NextText(nullptr).has_value());  // nothing to update yet

  const ClientReply data = Reply("Data", {"7", "7", "Ann", ""});
  EXPECT_EQ(plan.NextText(&data), QByteArray("\x02Update\x04"
                                             "7\x04"
                                             "Annx\x04\x04"));
  const ClientReply changed = Reply("Data", {"7", "7", "Annx", ""});
  EXPECT_EQ(plan.NextText(&changed), QByteArray("\x02Update\x04"
                                                "7\x04"
                                                "Ann\x04\x04"));
  // A found record carries the matching field's number before the record number.
  const ClientReply found = Reply("Found", {"2", "7", "7", "Ann", ""});
  EXPECT_EQ(plan.NextText(&found), QByteArray("\x02Update\x04"
                                              "7\x04"
                                              "Annx\x04\x04"));
  const ClientReply eof = Reply("EOF");
  EXPECT_FALSE(plan.NextText(&eof).has_value());

  // The refusal of an update is followed by the record: only that one ends the request.
  EXPECT_FALSE(plan.FinalReply(Reply("ErrorUpdate", {"changed"})));
  EXPECT_TRUE(plan.FinalReply(data));
  spec.kind = WorkloadKind::kFindFirst;
  EXPECT_TRUE(RequestPlan(spec).FinalReply(Reply("ErrorUpdate", {"bad text"})));
}

TEST(RequestPlanTest, WorkloadNamesRoundTrip) {
  for (const char* name : {"next", "senddata", "findfirst", "update", "open", "sort", "hold"}) {
    const std::optional<WorkloadKind> kind = ParseWorkloadKind(name);
    ASSERT_TRUE(kind.has_value()) << name;
    EXPECT_EQ(WorkloadName(*kind), QByteArray(name));
  }
  EXPECT_FALSE(ParseWorkloadKind("Next").has_value());
}

}  // namespace
}  // namespace corvane::load
