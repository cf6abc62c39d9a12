#include "engine/jet_like.h"

#include <string_view>

namespace corvane {

namespace {

QChar Fold(QChar c) { return c.toCaseFolded(); }
bool IsDigit(QChar c) { return c.isDigit(); }
char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Over QString, or over ASCII bytes where both texts are ASCII (the same answers, without
// decoding every value a find or a query compares).
template <typename Text, typename Char>
struct Matcher {
  const Text& p;
  const Text& s;
  const int pn = static_cast<int>(p.size());
  const int sn = static_cast<int>(s.size());

  // Reads the bracket at p[pi] ('['); returns the index after ']' or -1 when unclosed.
  int MatchBracket(int pi, Char c, bool* matched) const {
    int i = pi + 1;
    bool negate = false;
    if (i < pn && p[i] == Char('!')) {
      negate = true;
      ++i;
    }
    bool any = false;
    const Char lc = Fold(c);
    bool first = true;
    while (i < pn && (p[i] != Char(']') || first)) {
      first = false;
      const Char lo = p[i];
      if (i + 2 < pn && p[i + 1] == Char('-') && p[i + 2] != Char(']')) {
        const Char hi = p[i + 2];
        if ((c >= lo && c <= hi) || (lc >= Fold(lo) && lc <= Fold(hi))) any = true;
        i += 3;
      } else {
        if (Fold(lo) == lc) any = true;
        ++i;
      }
    }
    if (i >= pn) return -1;
    *matched = negate ? !any : any;
    return i + 1;
  }

  bool Match() const {
    // Iterative wildcard match with backtracking to the last '*'.
    int pi = 0, si = 0, starP = -1, starS = 0;
    while (si < sn) {
      if (pi < pn) {
        const Char pc = p[pi];
        if (pc == Char('*')) {
          starP = pi++;
          starS = si;
          continue;
        }
        bool ok = false;
        int next = pi + 1;
        if (pc == Char('?')) {
          ok = true;
        } else if (pc == Char('#')) {
          ok = IsDigit(s[si]);
        } else if (pc == Char('[')) {
          next = MatchBracket(pi, s[si], &ok);
          if (next < 0) {  // an unclosed bracket stands for itself
            ok = s[si] == pc;
            next = pi + 1;
          }
        } else {
          ok = Fold(pc) == Fold(s[si]);
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
    while (pi < pn && p[pi] == Char('*')) ++pi;
    return pi == pn;
  }
};

}  // namespace

bool JetLikeMatch(const QString& pattern, const QString& text) {
  return Matcher<QString, QChar>{pattern, text}.Match();
}

bool JetLikeMatchAscii(std::string_view pattern, std::string_view text) {
  return Matcher<std::string_view, char>{pattern, text}.Match();
}

}  // namespace corvane
