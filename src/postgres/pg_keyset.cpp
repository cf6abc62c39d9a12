#include "postgres/pg_keyset.h"

namespace corvane {

namespace {

// smallint, integer and bigint: their text is the plain decimal number, which
// QByteArray::number gives back unchanged.
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;

}  // namespace

PgKeyset::PgKeyset(int width, Oid columnType)
    : width_(width),
      numbers_(width == 1 &&
               (columnType == kInt2Oid || columnType == kInt4Oid || columnType == kInt8Oid)) {}

int64_t PgKeyset::Count() const {
  if (numbers_) return static_cast<int64_t>(numbered_.size());
  return static_cast<int64_t>(texts_.size()) / width_;
}

void PgKeyset::Reserve(int64_t records) {
  if (numbers_) {
    numbered_.reserve(static_cast<size_t>(records));
  } else {
    texts_.reserve(static_cast<size_t>(records * width_));
  }
}

void PgKeyset::Clear() {
  numbered_ = {};
  texts_ = {};
}

void PgKeyset::Append(const PgResult& result, int row, const std::vector<int>& at) {
  if (numbers_) {
    numbered_.push_back(result.Bytes(row, at[0]).toLongLong());
    return;
  }
  for (int k = 0; k < width_; ++k) texts_.push_back(result.Bytes(row, at[k]));
}

void PgKeyset::Replace(int64_t position, const PgResult& result, int row,
                       const std::vector<int>& at) {
  if (numbers_) {
    numbered_[position] = result.Bytes(row, at[0]).toLongLong();
    return;
  }
  for (int k = 0; k < width_; ++k) texts_[position * width_ + k] = result.Bytes(row, at[k]);
}

void PgKeyset::Erase(int64_t position) {
  if (numbers_) {
    numbered_.erase(numbered_.begin() + position);
    return;
  }
  const auto first = texts_.begin() + position * width_;
  texts_.erase(first, first + width_);
}

QByteArray PgKeyset::Value(int64_t position, int k) const {
  if (numbers_) return QByteArray::number(static_cast<qlonglong>(numbered_[position]));
  return texts_[position * width_ + k];
}

}  // namespace corvane
