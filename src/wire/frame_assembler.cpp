#include "wire/frame_assembler.h"

#include "wire/cipher.h"
#include "wire/control_chars.h"

namespace corvane {
namespace {

enum class Candidate { kFrame, kPartOfPayload };

// The payload is the first `length` bytes of the buffer. Only the first and the last byte
// of its deciphered text decide, and each is computed alone: copying or deciphering every
// candidate's whole payload would make a buffer full of end marks cost time in the square
// of its size.
Candidate JudgeCandidate(const QByteArray& buffer, qsizetype length, const RequestKeys& keys) {
  if (!keys.enciphered || length == 0) return Candidate::kFrame;
  if (DecryptPayloadByte(buffer[0], 0, length, keys.k1, keys.k2) != kStx) {
    return Candidate::kFrame;
  }
  return DecryptPayloadByte(buffer[length - 1], length - 1, length, keys.k1, keys.k2) == kEot
             ? Candidate::kFrame
             : Candidate::kPartOfPayload;
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
    if (JudgeCandidate(buffer, p, keys) == Candidate::kFrame) return length;
    from = p + 1;
    // Candidates already rejected stay rejected: the payload before them cannot change.
    scanFrom = from;
  }
}

}  // namespace corvane
