// Shared by the loader benchmarks: one process per loader and run, each on a
// fresh context of the intro's kind, printing "init_ms first_ms second_ms":
// the loader's own start-up, then the entry points the intro calls used once
// (where a lazy loader resolves them) and once more (resolved). The loader's
// cost is init + first - second.
#ifndef BENCH_LOADER_BENCH_H
#define BENCH_LOADER_BENCH_H

// Creates the window and context, times initialiseLoader() and two rounds of
// useIntroEntryPoints(), prints the three times; the process's exit status.
int RunLoaderBenchmark(int *argc, char **argv, void (*initialiseLoader)(), void (*useIntroEntryPoints)());

#endif
