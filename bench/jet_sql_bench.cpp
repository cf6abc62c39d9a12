// The Jet SQL translator on the texts clients send, on texts with long runs of comments, and
// on deeply nested operands of & and of integer division: its time must grow with the text,
// not with its square.
#include <benchmark/benchmark.h>

#include <QString>

#include "engine/jet_sql.h"

namespace corvane {
namespace {

// A sort text and a find criterion as the server words them, and a query a client writes.
void BM_TranslateClientTexts(benchmark::State& state) {
  const QString texts[] = {
      QStringLiteral("SELECT * FROM [Customers] ORDER BY City;"),
      QStringLiteral("CompanyName Like 'Smi*'"),
      QStringLiteral("SELECT TOP 10 [First Name] & ' ' & [Last Name] AS Name, Left(City, 3) AS C, "
                     "Qty \\ 2 AS Q FROM [Customers] WHERE Country = 'USA' AND Joined > "
                     "#1/2/2000# AND Active = True ORDER BY [Last Name] DESC")};
  for (auto _ : state) {
    for (const QString& text : texts) benchmark::DoNotOptimize(TranslateJetSql(text));
  }
}

// A sort text as the server words it, with `lines` comment lines after the field name.
void BM_TranslateSortWithComments(benchmark::State& state) {
  QString text = QStringLiteral("SELECT * FROM [Customers] ORDER BY City");
  for (int64_t i = 0; i < state.range(0); ++i) text += QStringLiteral("--\n");
  text += QLatin1Char(';');
  for (auto _ : state) benchmark::DoNotOptimize(TranslateJetSql(text));
  state.SetComplexityN(state.range(0));
}

// a & (a & (a & ... )) and a \ (a \ (a \ ... )): every operand a group holding the rest.
void BM_TranslateNestedOperands(benchmark::State& state) {
  QString text;
  for (int64_t i = 0; i < state.range(0); ++i) text += QStringLiteral("a & (b \\ (");
  text += QLatin1Char('c');
  for (int64_t i = 0; i < state.range(0); ++i) text += QStringLiteral("))");
  for (auto _ : state) benchmark::DoNotOptimize(TranslateJetSql(text));
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_TranslateClientTexts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TranslateSortWithComments)
    ->RangeMultiplier(4)
    ->Range(1000, 64000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TranslateNestedOperands)
    ->RangeMultiplier(4)
    ->Range(250, 16000)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
