#include "core/protocol/frame_assembler.h"

#include "core/protocol/cipher.h"
#include "core/protocol/control_chars.h"

namespace corvane {
namespace {

enum class Candidate { kFrame, kPartOfPayload };

Candidate JudgeCandidate(const QByteArray& payload, const RequestKeys& keys) {
  if (!keys.enciphered || payload.isEmpty()) return Candidate::kFrame;
  const std::optional<QByteArray> text = DecryptPayload(payload, keys.k1, keys.k2);
  if (!text || text->isEmpty() || text->front() != kStx) return Candidate::kFrame;
  return text->back() == kEot ? Candidate::kFrame : Candidate::kPartOfPayload;
}

}  // namespace

std::optional<qsizetype> FindFrameLength(const QByteArray& buffer, qsizetype& scanFrom,
                                         const RequestKeys& keys, qsizetype trailerLength) {
  const QByteArray mark = FrameEndMark();
  qsizetype from = scanFrom;
  while (true) {
    const qsizetype p = buffer.indexOf(mark, from);
    if (p < 0) {
      // Only the last two bytes may still begin an end mark.
      scanFrom = qMax(from, buffer.size() - (mark.size() - 1));
      return std::nullopt;
    }
    const qsizetype length = p + trailerLength;
    if (length > buffer.size()) {
      // Wait for the rest of the trailer; this mark is judged again then.
      scanFrom = p;
      return std::nullopt;
    }
    if (JudgeCandidate(buffer.left(p), keys) == Candidate::kFrame) return length;
    from = p + 1;
    // Candidates already rejected stay rejected: the payload before them cannot change.
    scanFrom = from;
  }
}

}  // namespace corvane
