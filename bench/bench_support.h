#pragma once

#include <benchmark/benchmark.h>

#include <QString>

#include <vector>

namespace vqs::bench {

// Runs the registered benchmarks and prints, after the usual table, the rate of `ours` against
// the rate of `baseline` (items per second), so that one run shows the ratio.
int runAndCompare(int argc, char** argv, const char* ours, const char* baseline);

// The plain system calls a tick costs at the least: open, read the header, append the record,
// close. The baseline for everything that writes ticks.
void plainAppend(const QByteArray& nativePath, double zeit);

// Data files for `count` titles below root, each with its header and one record.
std::vector<QByteArray> prepareDataFiles(const QString& root, int count);

}  // namespace vqs::bench
