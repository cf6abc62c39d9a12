#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace corvane {

// Follows the requests arriving on one web connection, byte by byte as they come, to know
// where each begins and ends and to refuse one before its body is read: a header larger than
// allowed, a declared or chunked body over the limit, or framing that cannot be followed.
// It keeps only the current header, never a body.
class HttpIntake {
 public:
  enum class Verdict {
    kFine,
    kHeaderTooLarge,  // 431
    kBodyTooLarge,    // 413
    kMalformed,       // 400
  };

  HttpIntake(qsizetype mostHeaderBytes, qsizetype mostBodyBytes);

  // Takes the bytes that arrived next. Once a verdict other than kFine is given, the
  // connection is refused and the intake takes nothing more.
  Verdict Feed(QByteArrayView bytes);

  // No byte of a next request has arrived (blank lines between requests do not count).
  bool BetweenRequests() const { return state_ == State::kStart; }
  bool InHeader() const { return state_ == State::kHeader; }
  // Requests whose last byte arrived.
  int Completed() const { return completed_; }

 private:
  enum class State {
    kStart,
    kHeader,
    kBody,
    kChunkSize,
    kChunkData,
    kChunkDataEnd,
    kLastChunkEnd,
    kRefused,
  };
  Verdict Take(char c);
  Verdict HeaderLine(QByteArray line);
  Verdict HeaderDone();
  Verdict ChunkSizeLine(QByteArray line);
  void Complete();

  qsizetype mostHeaderBytes_;
  qsizetype mostBodyBytes_;
  State state_ = State::kStart;
  int completed_ = 0;
  // The header so far: its size, the line being read, what the lines said.
  qsizetype headerBytes_ = 0;
  QByteArray line_;
  bool requestLineRead_ = false;
  bool chunked_ = false;
  bool lengthSeen_ = false;
  qint64 contentLength_ = 0;
  // Body bytes still to come (plain body, or the current chunk), and the chunks' total.
  qint64 remaining_ = 0;
  qint64 bodyTotal_ = 0;
};

}  // namespace corvane
