#include "core/engine/jet_like.h"

#include <vector>

namespace corvane {

namespace {

struct Matcher {
  const QString& p;
  const QString& s;

  // Reads the bracket at p[pi] ('['); returns the index after ']' or -1 when unclosed.
  int MatchBracket(int pi, QChar c, bool* matched) const {
    int i = pi + 1;
    bool negate = false;
    if (i < p.size() && p[i] == QLatin1Char('!')) {
      negate = true;
      ++i;
    }
    bool any = false;
    const QChar lc = c.toCaseFolded();
    bool first = true;
    while (i < p.size() && (p[i] != QLatin1Char(']') || first)) {
      first = false;
      const QChar lo = p[i];
      if (i + 2 < p.size() && p[i + 1] == QLatin1Char('-') && p[i + 2] != QLatin1Char(']')) {
        const QChar hi = p[i + 2];
        if ((c >= lo && c <= hi) || (lc >= lo.toCaseFolded() && lc <= hi.toCaseFolded()))
          any = true;
        i += 3;
      } else {
        if (lo.toCaseFolded() == lc) any = true;
        ++i;
      }
    }
    if (i >= p.size()) return -1;
    *matched = negate ? !any : any;
    return i + 1;
  }

  bool Match() const {
    // Iterative wildcard match with backtracking to the last '*'.
    int pi = 0, si = 0, starP = -1, starS = 0;
    while (si < s.size()) {
      if (pi < p.size()) {
        const QChar pc = p[pi];
        if (pc == QLatin1Char('*')) {
          starP = pi++;
          starS = si;
          continue;
        }
        bool ok = false;
        int next = pi + 1;
        if (pc == QLatin1Char('?')) {
          ok = true;
        } else if (pc == QLatin1Char('#')) {
          ok = s[si].isDigit();
        } else if (pc == QLatin1Char('[')) {
          next = MatchBracket(pi, s[si], &ok);
          if (next < 0) {  // an unclosed bracket stands for itself
            ok = s[si] == pc;
            next = pi + 1;
          }
        } else {
          ok = pc.toCaseFolded() == s[si].toCaseFolded();
        }
        if (ok) {
          pi = next;
          ++si;
          continue;
        }
      }
      if (starP < 0) return false;
      pi = starP + 1;
      si = ++starS;
    }
    while (pi < p.size() && p[pi] == QLatin1Char('*')) ++pi;
    return pi == p.size();
  }
};

}  // namespace

bool JetLikeMatch(const QString& pattern, const QString& text) {
  return Matcher{pattern, text}.Match();
}

}  // namespace corvane
