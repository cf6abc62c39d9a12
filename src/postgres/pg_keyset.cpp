#include "postgres/pg_keyset.h"

#include <algorithm>

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
  ordered_ = false;
}

void PgKeyset::Append(const PgResult& result, int row, const std::vector<int>& at) {
  if (numbers_) {
    const int64_t key = result.Bytes(row, at[0]).toLongLong();
    ordered_ = ordered_ && (numbered_.empty() || numbered_.back() < key);
    numbered_.push_back(key);
    return;
  }
  ordered_ = false;
  for (int k = 0; k < width_; ++k) texts_.push_back(result.Bytes(row, at[k]));
}

void PgKeyset::Replace(int64_t position, const PgResult& result, int row,
                       const std::vector<int>& at) {
  if (numbers_) {
    const int64_t key = result.Bytes(row, at[0]).toLongLong();
    const size_t p = static_cast<size_t>(position);
    ordered_ = ordered_ && (p == 0 || numbered_[p - 1] < key) &&
               (p + 1 == numbered_.size() || key < numbered_[p + 1]);
    numbered_[p] = key;
    return;
  }
  for (int k = 0; k < width_; ++k) {
    QByteArray& value = texts_[position * width_ + k];
    QByteArray next = result.Bytes(row, at[k]);
    ordered_ = ordered_ && next == value;
    value = std::move(next);
  }
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

bool PgKeyset::SameKey(int64_t position, const PgResult& result, int row) const {
  for (int k = 0; k < width_; ++k) {
    if (result.Bytes(row, k) != texts_[position * width_ + k]) return false;
  }
  return true;
}

int64_t PgKeyset::Locate(const PgResult& result, int row, int64_t from) const {
  from = std::max<int64_t>(from, 0);
  if (!numbers_) {
    for (int64_t i = from; i < Count(); ++i) {
      if (SameKey(i, result, row)) return i;
    }
    return -1;
  }
  const int64_t key = result.Bytes(row, 0).toLongLong();
  if (ordered_) {
    const auto first = numbered_.begin() + std::min<int64_t>(from, Count());
    const auto at = std::lower_bound(first, numbered_.end(), key);
    return at != numbered_.end() && *at == key ? at - numbered_.begin() : -1;
  }
  const auto at =
      std::find(numbered_.begin() + std::min<int64_t>(from, Count()), numbered_.end(), key);
  return at != numbered_.end() ? at - numbered_.begin() : -1;
}

std::optional<int64_t> PgKeyset::FirstOfNumbers(const PgResult& matches, int64_t from) const {
  if (!numbers_) return std::nullopt;
  std::vector<int64_t> found;
  found.reserve(static_cast<size_t>(matches.Rows()));
  for (int r = 0; r < matches.Rows(); ++r) found.push_back(matches.Bytes(r, 0).toLongLong());
  std::sort(found.begin(), found.end());
  for (int64_t i = std::max<int64_t>(from, 0); !found.empty() && i < Count(); ++i) {
    if (std::binary_search(found.begin(), found.end(), numbered_[i])) return i;
  }
  return -1;
}

}  // namespace corvane
