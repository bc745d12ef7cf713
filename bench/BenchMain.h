#pragma once

#include <benchmark/benchmark.h>

// The end of every benchmark program's main(), once its application object exists: runs the benchmarks the
// command line names and prints their figures and counters. A command line with an argument it does not
// know runs nothing and fails, so a misspelt filter is not taken for a quiet run.
inline int runSpecifiedBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
