// Quoting throughput: the locale style of the quoting module against a
// naive loop that only doubles backslashes and escapes control bytes,
// over file-name-like arguments, in the UTF-8 locale. Prints the ratio.

#include <benchmark/benchmark.h>
#include <locale.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "quotearg.h"

namespace {

std::vector<std::string> names() {
  std::vector<std::string> v;
  for (int i = 0; i < 256; ++i) {
    std::string s = "/usr/share/doc/package-" + std::to_string(i) + "/changelog";
    if (i % 7 == 0) s += " (copy)";
    if (i % 11 == 0) s += "\tx";
    if (i % 13 == 0) s += "-é";
    v.push_back(s);
  }
  return v;
}

// The peer: one pass, no locale, no multibyte decoding, fixed marks.
size_t naive_quote(char *out, size_t size, const std::string &arg) {
  size_t n = 0;
  auto put = [&](char c) {
    if (n < size) out[n] = c;
    ++n;
  };
  put('\'');
  for (unsigned char c : arg) {
    if (c == '\\' || c == '\'') {
      put('\\');
      put(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7f) {
      put('\\');
      put(static_cast<char>('0' + (c >> 6)));
      put(static_cast<char>('0' + ((c >> 3) & 7)));
      put(static_cast<char>('0' + (c & 7)));
    } else {
      put(static_cast<char>(c));
    }
  }
  put('\'');
  if (n < size) out[n] = '\0';
  return n;
}

void BM_QuoteLocale(benchmark::State &state) {
  setlocale(LC_ALL, "C.UTF-8");
  const auto args = names();
  quote_settings *o = clone_quoting_options(&quote_quoting_options);
  char buf[512];
  for (auto _ : state)
    for (const std::string &a : args)
      benchmark::DoNotOptimize(quotearg_buffer(buf, sizeof buf, a.data(), a.size(), o));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(args.size()));
  free(o);
}
BENCHMARK(BM_QuoteLocale);

void BM_NaiveEscape(benchmark::State &state) {
  const auto args = names();
  char buf[512];
  for (auto _ : state)
    for (const std::string &a : args) benchmark::DoNotOptimize(naive_quote(buf, sizeof buf, a));
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(args.size()));
}
BENCHMARK(BM_NaiveEscape);

// Collects the time per iteration of both runs and prints their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &r : runs) {
      if (r.run_name.function_name == "BM_QuoteLocale") ours_ = r.GetAdjustedRealTime();
      if (r.run_name.function_name == "BM_NaiveEscape") peer_ = r.GetAdjustedRealTime();
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (ours_ > 0 && peer_ > 0)
      printf("quoting module / naive escape loop: %.2f times the time\n", ours_ / peer_);
  }

 private:
  double ours_ = 0;
  double peer_ = 0;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
