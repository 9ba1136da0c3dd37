# Platform-free core on Linux: unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, a libFuzzer target and Google Benchmark.
