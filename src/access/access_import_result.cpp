#include "access/access_import_result.h"

#include <QDataStream>
#include <QIODevice>

namespace corvane {

namespace {

// Marks the bytes as a result of this layout, so that a file written by anything else
// is not taken for one.
constexpr quint32 kResultTag = 0x43414952;  // "CAIR"

}  // namespace

QByteArray AccessImportResult::Serialize() const {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << kResultTag << ok << error << report.Serialize();
  return bytes;
}

bool AccessImportResult::Deserialize(const QByteArray& bytes, AccessImportResult* result) {
  QDataStream in(bytes);
  quint32 tag = 0;
  AccessImportResult r;
  QByteArray report;
  in >> tag >> r.ok >> r.error >> report;
  if (in.status() != QDataStream::Ok || tag != kResultTag || !in.atEnd() ||
      !AccessImportReport::Deserialize(report, &r.report))
    return false;
  *result = std::move(r);
  return true;
}

}  // namespace corvane
