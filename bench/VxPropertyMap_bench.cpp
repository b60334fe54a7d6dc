// Measures insertion and lookup in VxPropertyMap against std::unordered_map
// holding the same case-folded keys, in the same run, and prints the times and
// their ratio. Two baselines: the unordered map given keys already folded (the
// same text the property map receives), and the unordered map folding each
// mixed-case key itself, which is what case-insensitive use costs it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/VxCharTable.h"
#include "foundation/VxPropertyMap.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile size_t g_sink;  // keeps results alive

VxString Fold(const VxString& text) {
  VxString out = text;
  for (char16_t& c : out)
    c = VxLower(c);
  return out;
}

std::vector<VxString> MakeKeys(size_t count, std::mt19937& rng) {
  static const char16_t kChars[] =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
  std::vector<VxString> keys;
  keys.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    VxString key;
    const size_t length = 6 + rng() % 14;
    for (size_t k = 0; k < length; ++k)
      key.push_back(kChars[rng() % 63]);
    key += u"_" + VxString::FromAscii(std::to_string(i));  // distinct after folding
    keys.push_back(std::move(key));
  }
  return keys;
}

// Best of `rounds` runs of f(), in nanoseconds per operation.
template <typename F>
double BestNs(int rounds, size_t operations, F&& f) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    f();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    best = std::min(best, ns / static_cast<double>(operations));
  }
  return best;
}

void Report(const char* what, size_t n, double ours, double folded, double folding) {
  std::printf(
      "%-7s N=%-7zu VxPropertyMap %7.1f ns/op | unordered_map folded keys %7.1f ns/op (ratio "
      "%.2fx) | "
      "unordered_map folding per call %7.1f ns/op (ratio %.2fx)\n",
      what, n, ours, folded, ours / folded, folding, ours / folding);
}

void Run(size_t n, int rounds, int repeat) {
  std::mt19937 rng(static_cast<unsigned>(n));
  const std::vector<VxString> mixed = MakeKeys(n, rng);
  std::vector<VxString> folded;
  for (const VxString& k : mixed)
    folded.push_back(Fold(k));
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i)
    order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  const VxString value(u"value-text");
  const size_t ops = n * static_cast<size_t>(repeat);

  const double insertOurs = BestNs(rounds, ops, [&] {
    for (int r = 0; r < repeat; ++r) {
      VxPropertyMap map;
      for (const VxString& k : folded)
        map.SetString(k, value, false);
      g_sink = static_cast<size_t>(map.Count());
    }
  });
  const double insertFolded = BestNs(rounds, ops, [&] {
    for (int r = 0; r < repeat; ++r) {
      std::unordered_map<std::u16string, std::u16string> map;
      for (const VxString& k : folded)
        map[k] = value;
      g_sink = map.size();
    }
  });
  const double insertFolding = BestNs(rounds, ops, [&] {
    for (int r = 0; r < repeat; ++r) {
      std::unordered_map<std::u16string, std::u16string> map;
      for (const VxString& k : mixed)
        map[Fold(k)] = value;
      g_sink = map.size();
    }
  });
  Report("insert", n, insertOurs, insertFolded, insertFolding);

  VxPropertyMap ours;
  std::unordered_map<std::u16string, std::u16string> theirs;
  for (const VxString& k : folded) {
    ours.SetString(k, value, false);
    theirs[k] = value;
  }
  VxString out;
  const double lookupOurs = BestNs(rounds, ops, [&] {
    size_t total = 0;
    for (int r = 0; r < repeat; ++r)
      for (size_t i : order)
        total += ours.GetString(out, folded[i], nullptr).size();
    g_sink = total;
  });
  const double lookupFolded = BestNs(rounds, ops, [&] {
    size_t total = 0;
    for (int r = 0; r < repeat; ++r) {
      for (size_t i : order) {
        const auto it = theirs.find(folded[i]);
        out = it != theirs.end() ? it->second : std::u16string();
        total += out.size();
      }
    }
    g_sink = total;
  });
  const double lookupFolding = BestNs(rounds, ops, [&] {
    size_t total = 0;
    for (int r = 0; r < repeat; ++r) {
      for (size_t i : order) {
        const auto it = theirs.find(Fold(mixed[i]));
        out = it != theirs.end() ? it->second : std::u16string();
        total += out.size();
      }
    }
    g_sink = total;
  });
  Report("lookup", n, lookupOurs, lookupFolded, lookupFolding);
}

}  // namespace

int main() {
  std::printf(
      "VxPropertyMap against std::unordered_map<std::u16string, std::u16string>, best of 5 "
      "rounds\n");
  Run(1000, 5, 200);
  Run(100000, 5, 2);
  return 0;
}
