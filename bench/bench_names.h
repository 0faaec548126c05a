// The environment variables through which the benchmark driver steers the
// ideal launcher and the stand-in, named once for all three programs.
#pragma once

namespace zor::bench {

constexpr wchar_t kModeVariable[] = L"ZOR_BENCH_MODE";
constexpr wchar_t kFileVariable[] = L"ZOR_BENCH_FILE";
constexpr wchar_t kFolderVariable[] = L"ZOR_BENCH_FOLDER";
constexpr wchar_t kSourceVariable[] = L"ZOR_BENCH_SOURCE";
constexpr wchar_t kOffsetVariable[] = L"ZOR_BENCH_OFFSET";
constexpr wchar_t kSizeVariable[] = L"ZOR_BENCH_SIZE";
constexpr wchar_t kDigestVariable[] = L"ZOR_BENCH_DIGEST";
constexpr wchar_t kWarmMode[] = L"warm";
constexpr wchar_t kColdMode[] = L"cold";

}  // namespace zor::bench
