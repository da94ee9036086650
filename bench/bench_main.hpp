// Entry point of `vorlex bench`, linked into the vorlex CLI (which hands it
// `vorlex bench ...` with argv[0] = "bench") and into the stand-alone
// vorlex-bench. Returns the exit status: 0 when every round trip verified, 1
// on any failure, 2 for a usage error.
#pragma once

int vorlex_bench_main(int argc, char** argv);
