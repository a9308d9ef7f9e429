#pragma once
// One machine-readable result line per measured figure, collected by bench/run-all into its
// summary table: RESULT <tab> what <tab> figure <tab> unit <tab> baseline <tab> ratio <tab>
// target <tab> verdict ("met", "NOT met", or "-" for figures only reported).
#include <cstdio>

inline void BenchResult(const char* what, double figure, const char* unit, double baseline, double ratio,
                        const char* target, const char* verdict)
{
    std::printf("RESULT\t%s\t%.6g\t%s\t%.6g\t%.4g\t%s\t%s\n", what, figure, unit, baseline, ratio, target, verdict);
    std::fflush(stdout);
}

inline const char* Verdict(bool met) { return met ? "met" : "NOT met"; }
