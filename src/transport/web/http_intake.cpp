#include "transport/web/http_intake.h"

#include <algorithm>
#include <utility>

namespace corvane {
namespace {

// A chunk-size line holds a hexadecimal number and perhaps an extension.
constexpr qsizetype kMostChunkLineBytes = 1024;
// Sixteen hexadecimal digits already exceed any body allowed.
constexpr qsizetype kMostChunkSizeDigits = 15;

bool IsBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '\v'; }

QByteArray WithoutCr(QByteArray line) {
  if (line.endsWith('\r')) line.chop(1);
  return line;
}

}  // namespace

HttpIntake::HttpIntake(qsizetype mostHeaderBytes, qsizetype mostBodyBytes)
    : mostHeaderBytes_(mostHeaderBytes), mostBodyBytes_(mostBodyBytes) {}

HttpIntake::Verdict HttpIntake::Feed(QByteArrayView bytes) {
  qsizetype i = 0;
  while (i < bytes.size()) {
    if (state_ == State::kRefused) return Verdict::kMalformed;
    // Body bytes are counted, not looked at.
    if (state_ == State::kBody || state_ == State::kChunkData) {
      const qint64 taken = std::min<qint64>(remaining_, bytes.size() - i);
      remaining_ -= taken;
      i += taken;
      if (remaining_ == 0) {
        if (state_ == State::kBody) {
          Complete();
        } else {
          state_ = State::kChunkDataEnd;
        }
      }
      continue;
    }
    const Verdict verdict = Take(bytes[i++]);
    if (verdict != Verdict::kFine) {
      state_ = State::kRefused;
      return verdict;
    }
  }
  return Verdict::kFine;
}

HttpIntake::Verdict HttpIntake::Take(char c) {
  switch (state_) {
    case State::kStart:
      // Line ends and blanks left over from the previous request are skipped, as the
      // server's own reader skips them.
      if (IsBlank(c)) return Verdict::kFine;
      state_ = State::kHeader;
      headerBytes_ = 0;
      line_.clear();
      requestLineRead_ = false;
      chunked_ = false;
      lengthSeen_ = false;
      contentLength_ = 0;
      bodyTotal_ = 0;
      [[fallthrough]];
    case State::kHeader:
      if (++headerBytes_ > mostHeaderBytes_) return Verdict::kHeaderTooLarge;
      if (c != '\n') {
        line_.append(c);
        return Verdict::kFine;
      }
      return HeaderLine(WithoutCr(std::exchange(line_, {})));
    case State::kChunkSize:
      if (c != '\n') {
        if (line_.size() >= kMostChunkLineBytes) return Verdict::kMalformed;
        line_.append(c);
        return Verdict::kFine;
      }
      return ChunkSizeLine(WithoutCr(std::exchange(line_, {})));
    case State::kChunkDataEnd:
    case State::kLastChunkEnd:
      if (c == '\r' && line_.isEmpty()) {
        line_.append(c);
        return Verdict::kFine;
      }
      if (c != '\n') return Verdict::kMalformed;
      line_.clear();
      if (state_ == State::kLastChunkEnd) {
        Complete();
      } else {
        state_ = State::kChunkSize;
      }
      return Verdict::kFine;
    case State::kBody:
    case State::kChunkData:
    case State::kRefused:
      break;
  }
  return Verdict::kMalformed;
}

HttpIntake::Verdict HttpIntake::HeaderLine(QByteArray line) {
  if (!requestLineRead_) {
    requestLineRead_ = true;
    return Verdict::kFine;
  }
  if (line.isEmpty()) return HeaderDone();
  const qsizetype colon = line.indexOf(':');
  if (colon <= 0) return Verdict::kFine;
  const QByteArray name = line.left(colon).trimmed().toLower();
  const QByteArray value = line.mid(colon + 1).trimmed();
  // The reader behind this one takes the first length given and reads any transfer coding
  // that mentions "chunked" as chunked: the same is followed here.
  if (name == "transfer-encoding") {
    if (value.toLower().contains("chunked")) chunked_ = true;
  } else if (name == "content-length" && !lengthSeen_) {
    lengthSeen_ = true;
    bool ok = false;
    const qulonglong length = value.toULongLong(&ok);
    if (!ok) return Verdict::kMalformed;
    // Refused once the header is whole: a chunked body ignores the length.
    contentLength_ = static_cast<qint64>(
        std::min<qulonglong>(length, static_cast<qulonglong>(mostBodyBytes_) + 1));
  }
  return Verdict::kFine;
}

HttpIntake::Verdict HttpIntake::HeaderDone() {
  if (!chunked_ && contentLength_ > mostBodyBytes_) return Verdict::kBodyTooLarge;
  if (chunked_) {
    state_ = State::kChunkSize;
  } else if (contentLength_ > 0) {
    remaining_ = contentLength_;
    state_ = State::kBody;
  } else {
    Complete();
  }
  return Verdict::kFine;
}

HttpIntake::Verdict HttpIntake::ChunkSizeLine(QByteArray line) {
  const qsizetype extension = line.indexOf(';');
  if (extension >= 0) line.truncate(extension);
  line = line.trimmed();
  if (line.isEmpty()) return Verdict::kMalformed;
  if (line.size() > kMostChunkSizeDigits) return Verdict::kBodyTooLarge;
  bool ok = false;
  const qint64 size = line.toLongLong(&ok, 16);
  if (!ok || size < 0) return Verdict::kMalformed;
  if (size == 0) {
    state_ = State::kLastChunkEnd;
    return Verdict::kFine;
  }
  bodyTotal_ += size;
  if (bodyTotal_ > mostBodyBytes_) return Verdict::kBodyTooLarge;
  remaining_ = size;
  state_ = State::kChunkData;
  return Verdict::kFine;
}

void HttpIntake::Complete() {
  ++completed_;
  state_ = State::kStart;
}

}  // namespace corvane
