// Following web requests byte by byte: where each ends, and which are refused before their
// body is read.
#include "transport/web/http_intake.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

using Verdict = HttpIntake::Verdict;

constexpr qsizetype kHeaderLimit = 200;
constexpr qsizetype kBodyLimit = 100;

TEST(HttpIntakeTest, FollowsPlainChunkedAndPipelinedRequestsWhateverTheirPieces) {
  const QByteArray stream =
      "\r\nGET / HTTP/1.1\r\nHost: a\r\n\r\n"
      "POST /api/logon HTTP/1.1\r\ncontent-length: 4\r\n\r\n{}{}"
      "POST /x HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\nContent-Length: 999\r\n\r\n"
      "3;ext=1\r\nabc\r\n0\r\n\r\n"
      "GET /y HTTP/1.1\n\n";
  for (qsizetype piece : {qsizetype{1}, qsizetype{7}, stream.size()}) {
    HttpIntake intake(kHeaderLimit, kBodyLimit);
    for (qsizetype at = 0; at < stream.size(); at += piece) {
      ASSERT_EQ(intake.Feed(QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at))),
                Verdict::kFine);
    }
    EXPECT_EQ(intake.Completed(), 4) << piece;
    EXPECT_TRUE(intake.BetweenRequests());
  }
  HttpIntake partial(kHeaderLimit, kBodyLimit);
  EXPECT_EQ(partial.Feed("POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n12345"), Verdict::kFine);
  EXPECT_FALSE(partial.BetweenRequests());
  EXPECT_FALSE(partial.InHeader());
  EXPECT_EQ(partial.Completed(), 0);
}

TEST(HttpIntakeTest, RefusesOversizeHeadersAndBodiesBeforeTheBodyArrivesAndMalformedFraming) {
  HttpIntake declared(kHeaderLimit, kBodyLimit);
  EXPECT_EQ(declared.Feed("POST / HTTP/1.1\r\nContent-Length: 101\r\n"), Verdict::kFine);
  EXPECT_EQ(declared.Feed("\r\n"), Verdict::kBodyTooLarge);
  HttpIntake atLimit(kHeaderLimit, kBodyLimit);
  EXPECT_EQ(atLimit.Feed("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\n"), Verdict::kFine);

  HttpIntake chunks(kHeaderLimit, kBodyLimit);
  EXPECT_EQ(chunks.Feed("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n"),
            Verdict::kFine);
  EXPECT_EQ(chunks.Feed(QByteArray(64, 'x') + "\r\n"), Verdict::kFine);
  EXPECT_EQ(chunks.Feed("25\r\n"), Verdict::kBodyTooLarge);
  HttpIntake huge(kHeaderLimit, kBodyLimit);
  EXPECT_EQ(
      huge.Feed("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n"),
      Verdict::kBodyTooLarge);

  HttpIntake header(kHeaderLimit, kBodyLimit);
  EXPECT_EQ(header.Feed("GET / HTTP/1.1\r\nCookie: " + QByteArray(300, 'c')),
            Verdict::kHeaderTooLarge);
  // Framing it cannot follow is malformed.
  for (const QByteArray& bad :
       {QByteArray("POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n"),
        QByteArray("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"),
        QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"),
        QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY"),
        QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nTrailer: x\r\n")}) {
    HttpIntake intake(kHeaderLimit, kBodyLimit);
    EXPECT_EQ(intake.Feed(bad), Verdict::kMalformed) << bad.constData();
    // Nothing more is taken from a refused connection.
    EXPECT_NE(intake.Feed("GET / HTTP/1.1\r\n\r\n"), Verdict::kFine);
  }
}

}  // namespace
}  // namespace corvane::test
