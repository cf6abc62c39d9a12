// The web port's request intake: the bytes a connection sends, in pieces of any size. Checks
// that the verdict and the requests counted do not depend on how the bytes were cut, and
// that the limits hold whatever the framing.
#include "harness.h"
#include "transport/web/http_intake.h"

using namespace corvane;

namespace {

constexpr qsizetype kHeaderLimit = 512;
constexpr qsizetype kBodyLimit = 4096;

struct Outcome {
  HttpIntake::Verdict verdict = HttpIntake::Verdict::kFine;
  int completed = 0;
};

Outcome FeedInPieces(const QByteArray& bytes, qsizetype piece) {
  HttpIntake intake(kHeaderLimit, kBodyLimit);
  Outcome outcome;
  for (qsizetype at = 0; at < bytes.size(); at += piece) {
    outcome.verdict =
        intake.Feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
    if (outcome.verdict != HttpIntake::Verdict::kFine) break;
  }
  outcome.completed = intake.Completed();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::InputReader input(data, size);
  const qsizetype piece = 1 + input.Byte() % 64;
  const QByteArray bytes = input.Rest();
  const Outcome whole = FeedInPieces(bytes, std::max<qsizetype>(1, bytes.size()));
  const Outcome cut = FeedInPieces(bytes, piece);
  fuzz::Expect(whole.verdict == cut.verdict, "the verdict does not depend on the pieces");
  fuzz::Expect(whole.completed == cut.completed,
               "the requests counted do not depend on the pieces");
  // Every completed request had a header of at most the limit: at least one byte each.
  fuzz::Expect(whole.completed <= bytes.size(), "no request without bytes");
  return 0;
}
