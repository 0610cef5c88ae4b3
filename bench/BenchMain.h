#pragma once

// The end of every benchmark program's main, once its scene is prepared.

#include <benchmark/benchmark.h>

#include <cstdio>

namespace BenchMain
{
    /** Runs the benchmarks when the scene is ready, else says what is missing; the exit code. */
    inline int runIf (bool ready, const char* whatIsMissing, int& argc, char** argv)
    {
        if (! ready)
        {
            std::fprintf (stderr, "%s\n", whatIsMissing);
            return 1;
        }

        benchmark::Initialize (&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    }
}
