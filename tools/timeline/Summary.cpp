// The summary table, one row per scope label, sorted by total time:
//   label        count    total ms     mean ms   median ms      p95 ms      max ms
//   order#0-0        1      17.000      17.000      17.000      17.000      17.000
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/timeline/Diagnostics.h"
#include "tools/timeline/Outputs.h"

namespace Timeline {
namespace {

// Buckets of 0.5% relative width over microseconds; non-positive values
// share one bucket.
constexpr double bucket_base = 1.005;
constexpr int zero_bucket = -1000000;

int bucket_of(double ms) {
  double us = ms * 1000.0;
  return us < 1.0 ? (us > 0 ? 0 : zero_bucket)
                  : static_cast<int>(std::floor(std::log(us) / std::log(bucket_base)));
}

// The middle of a bucket, in milliseconds.
double bucket_value(int bucket) {
  if (bucket == zero_bucket) return 0;
  return std::pow(bucket_base, bucket + 0.5) / 1000.0;
}

}  // namespace

void DurationStats::add(double ms) {
  ++count_;
  total_ += ms;
  max_ = count_ == 1 ? ms : std::max(max_, ms);
  if (!buckets_.empty() || samples_.size() >= exact_limit) {
    fold();
    ++buckets_[bucket_of(ms)];
    return;
  }
  samples_.push_back(ms);
  sorted_ = false;
}

void DurationStats::fold() {
  for (double sample : samples_) ++buckets_[bucket_of(sample)];
  samples_.clear();
  samples_.shrink_to_fit();
}

double DurationStats::quantile(double q) {
  if (count_ == 0) return 0;
  std::size_t rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(count_)));
  rank = std::min(std::max<std::size_t>(rank, 1), count_);
  if (buckets_.empty()) {
    if (!sorted_) std::sort(samples_.begin(), samples_.end());
    sorted_ = true;
    if (q == 0.5 && count_ % 2 == 0) return (samples_[rank - 1] + samples_[rank]) / 2;
    return samples_[rank - 1];
  }
  std::size_t seen = 0;
  for (const auto& bucket : buckets_) {
    seen += bucket.second;
    if (seen >= rank) return std::min(bucket_value(bucket.first), max_);
  }
  return max_;
}

SummaryOutput::SummaryOutput(std::FILE* file, std::size_t top, bool merge_ids)
    : file_(file), top_(top), merge_ids_(merge_ids) {}

void SummaryOutput::scope(const Scope& scope) {
  std::size_t hash = scope.label.find('#');
  if (merge_ids_ && hash != std::string::npos)
    labels_[scope.label.substr(0, hash) + "#*"].add(scope.elapsed_ms);
  else
    labels_[scope.label].add(scope.elapsed_ms);
}

void SummaryOutput::finish(const std::vector<Lane>& lanes, const RunFacts& facts) {
  std::vector<std::pair<std::string, DurationStats*>> rows;
  std::size_t width = 5;
  for (auto& entry : labels_) {
    rows.emplace_back(printable(entry.first), &entry.second);
    width = std::max(width, std::min<std::size_t>(entry.first.size(), 60));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return a.second->total() > b.second->total();
  });
  if (top_ > 0 && rows.size() > top_) rows.resize(top_);
  const int w = static_cast<int>(width);
  std::fprintf(file_, "%-*s %8s %11s %11s %11s %11s %11s\n", w, "label", "count", "total ms",
               "mean ms", "median ms", "p95 ms", "max ms");
  for (auto& row : rows) {
    DurationStats& stats = *row.second;
    std::fprintf(file_, "%-*s %8zu %11.3f %11.3f %11.3f %11.3f %11.3f\n", w, row.first.c_str(),
                 stats.count(), stats.total(), stats.total() / static_cast<double>(stats.count()),
                 stats.quantile(0.5), stats.quantile(0.95), stats.max());
  }
  std::size_t processes = 0;
  for (std::size_t i = 0; i < lanes.size(); ++i)
    if (i == 0 || lanes[i].pid != lanes[i - 1].pid || lanes[i].host != lanes[i - 1].host)
      ++processes;
  std::fprintf(file_,
               "%zu scopes, %zu messages in %zu threads of %zu processes; %zu never closed, %zu "
               "without opening record\n",
               facts.scopes, facts.messages, lanes.size(), processes, facts.unclosed,
               facts.open_missing);
}

}  // namespace Timeline
