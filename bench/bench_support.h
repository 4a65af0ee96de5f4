#pragma once

#include <benchmark/benchmark.h>

#include "model/titel_def_collection.h"

#include <QString>

#include <initializer_list>
#include <optional>
#include <vector>

namespace vqs::bench {

// Runs the registered benchmarks and prints, after the usual table, the rate of each run of
// `ours` against the run of `baseline` just before it (items per second), and the median of
// those ratios. Register them alternately, baseline first. With `asTime`, the ratios are of the
// time taken (baseline rate / our rate): how many times as long ours takes.
int runAndCompare(int argc, char** argv, const char* ours, const char* baseline,
                  bool asTime = false);
// The same for several pairs in one program: each pair's runs are matched by the start of their
// names (no name of one pair may start with another pair's name) and get a median each.
struct Comparison {
    const char* ours;
    const char* baseline;
};
int runAndCompare(int argc, char** argv, std::initializer_list<Comparison> comparisons,
                  bool asTime = false);

// The plain system calls a tick costs at the least: open, read the header, append the record,
// close. The baseline for everything that writes ticks.
void plainAppend(const QByteArray& nativePath, double zeit);

// Data files for `count` titles below root, each with its header and one record.
std::vector<QByteArray> prepareDataFiles(const QString& root, int count);

// Definitions as a user's would look: the first `active` are titles of the simulated market (each
// instrument on each admitted exchange; bid and ask with `bidAsk` where the instrument has them),
// active; then inactive ones with ordinary names and codes up to `defined` in all, on every
// exchange; folders of 100 titles. None when the market has fewer than `active` titles.
std::optional<TitelDefCollection> scaleDefinitions(int active, int defined, bool bidAsk);

}  // namespace vqs::bench
