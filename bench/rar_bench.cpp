// RAR 2.0 decompression throughput on a solid archive of ~2.5 MB of mixed JPEG-like, text
// and model data, next to zlib's inflate of the same bytes (deflate level 9) and the wall
// time of 7-Zip's "7zz t" on the same archive; the loading phase's member requests with and
// without a kept stream. Also prints the packer's ratio against gzip -9 on the same files.
//
// RAR_BENCH_ARCHIVE=FILE adds the same three measurements on any archive, for example a
// ~14 MB solid corpus packed with "hoardel-rar pack --solid corpus.rar C=DIR/" from a folder
// holding the build's media/files (twice), src, tools, tests and docs.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "archive_writer.h"
#include "media/archive_reader.h"
#include "media/archive_walk.h"

namespace {

struct Rng {
  std::uint32_t s;
  std::uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

// JPEG-like: the same header and tables in every file, then entropy-coded data (random
// bytes with 0xFF stuffed by 0x00), then the end marker.
std::vector<std::uint8_t> JpegLike(std::size_t size, Rng& r) {
  std::vector<std::uint8_t> v = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  Rng tables{99};
  for (int i = 0; i < 560; ++i) v.push_back(static_cast<std::uint8_t>(tables.Next() % 64));
  while (v.size() + 2 < size) {
    auto b = static_cast<std::uint8_t>(r.Next() >> 24);
    v.push_back(b);
    if (b == 0xFF) v.push_back(0);
  }
  v.push_back(0xFF);
  v.push_back(0xD9);
  return v;
}

std::vector<std::uint8_t> Text(std::size_t size, Rng& r) {
  static const char* words[] = {"the ",    "treasure ", "chamber ", "glitters ", "under ",  "flickering ",
                                "torches ", "and ",      "a ",       "dragon ",   "sleeps ", "on ",
                                "heaps ",   "of ",       "gold ",    "coins.\n",  "camera ", "track "};
  std::vector<std::uint8_t> v;
  while (v.size() < size) {
    const char* w = words[r.Next() % 18];
    while (*w && v.size() < size) v.push_back(static_cast<std::uint8_t>(*w++));
  }
  return v;
}

// Model data in the text form of the .X format: vertex lists of floats and index lists.
std::vector<std::uint8_t> Model(std::size_t size, Rng& r) {
  std::string s = "xof 0303txt 0032\nFrame Scene_Root {\n Mesh {\n";
  int i = 0;
  char line[96];
  while (s.size() < size) {
    double t = i * 0.01;
    std::snprintf(line, sizeof line, "  %.6f;%.6f;%.6f;,\n", std::sin(t) * 120.0, std::cos(t * 0.7) * 35.0,
                  (r.Next() % 20000) / 100.0);
    s += line;
    if (++i % 7 == 0) {
      std::snprintf(line, sizeof line, "  3;%d,%d,%d;,\n", i, i + 1, i + 2);
      s += line;
    }
  }
  s.resize(size);
  return {s.begin(), s.end()};
}

struct Corpus {
  std::vector<rarpack::PackEntry> entries;
  std::vector<std::uint8_t> all;  // the members one after another
  rarpack::PackResult packed;
  std::vector<std::uint8_t> deflated;
  std::uint64_t gzipFiles = 0;  // gzip -9 of every file on its own (deflate data + 18-byte frame)
  std::string path;
  std::string sevenZip = SEVENZIP_ORACLE;
  double packSeconds = 0;

  Corpus() {
    Rng r{2024};
    auto add = [&](std::string name, std::vector<std::uint8_t> data) {
      rarpack::PackEntry e;
      e.name = std::move(name);
      e.data = std::move(data);
      all.insert(all.end(), e.data.begin(), e.data.end());
      entries.push_back(std::move(e));
    };
    add("Cam_Tracks.txt", Text(40000, r));
    add("gildmoor_room.X", Model(700000, r));
    for (int i = 0; i < 60; ++i) add("texture_" + std::to_string(i) + ".jpg", JpegLike(15000 + (r.Next() % 25000), r));
    add("notes.txt", Text(200000, r));
    rarpack::PackOptions o;
    o.solid = true;
    std::string error;
    auto t0 = std::chrono::steady_clock::now();
    if (!rarpack::BuildArchive(entries, o, &packed, &error)) std::abort();
    packSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    uLongf n = compressBound(static_cast<uLong>(all.size()));
    deflated.resize(n);
    compress2(deflated.data(), &n, all.data(), static_cast<uLong>(all.size()), 9);
    deflated.resize(n);
    for (const auto& e : entries) {
      uLongf m = compressBound(static_cast<uLong>(e.data.size()));
      std::vector<Bytef> z(m);
      compress2(z.data(), &m, e.data.data(), static_cast<uLong>(e.data.size()), 9);
      gzipFiles += (m - 6) + 18 + e.name.size() + 1;  // zlib frame -> gzip frame with the name
    }
    path = "/tmp/hoardel-rar-bench-" + std::to_string(getpid()) + ".rar";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(packed.archive.data(), 1, packed.archive.size(), f);
    std::fclose(f);
    std::fprintf(stderr,
                 "corpus: %zu members, %zu bytes; rar (solid, level 3) %zu bytes = %.2f%% in %.2f s; "
                 "zlib -9 of the whole %lu bytes = %.2f%%; gzip -9 file by file %llu bytes = %.2f%%\n",
                 entries.size(), all.size(), packed.archive.size(), 100.0 * packed.archive.size() / all.size(),
                 packSeconds, static_cast<unsigned long>(deflated.size()), 100.0 * deflated.size() / all.size(),
                 static_cast<unsigned long long>(gzipFiles), 100.0 * gzipFiles / all.size());
  }
  ~Corpus() { std::remove(path.c_str()); }
};

Corpus& TheCorpus() {
  static Corpus c;
  return c;
}

void BM_RarDecodeSolidArchive(benchmark::State& state) {
  Corpus& c = TheCorpus();
  for (auto _ : state) {
    std::size_t ok = 0;
    media::WalkArchive(c.packed.archive.data(), static_cast<std::uint32_t>(c.packed.archive.size()), true,
                       [&](const media::WalkedMember& m) { ok += m.status == media::MemberStatus::kOk; });
    if (ok != c.entries.size()) state.SkipWithError("CRC failure");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.all.size()));
}
BENCHMARK(BM_RarDecodeSolidArchive)->Unit(benchmark::kMillisecond);

// The program's own path: the last member, all earlier ones decoded and discarded.
void BM_RarExtractLastMember(benchmark::State& state) {
  Corpus& c = TheCorpus();
  for (auto _ : state) {
    MediaArchive a{c.packed.archive.data(), static_cast<std::uint32_t>(c.packed.archive.size()), 0};
    unsigned char* buf = nullptr;
    std::uint32_t len = 0;
    if (!ExtractArchiveMember(&buf, &len, c.entries.back().name.c_str(), &a, nullptr)) state.SkipWithError("failed");
    FreeMediaBuffer(buf);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.all.size()));
}
BENCHMARK(BM_RarExtractLastMember)->Unit(benchmark::kMillisecond);

// The loading phase's archive work: every member requested once, in archive order, with the
// solid stream kept (one pass serves them all) or without (each request unpacks the stream
// from its start up to the member).
void BM_RarLoadEveryMember(benchmark::State& state) {
  const bool keep = state.range(0) != 0;
  Corpus& c = TheCorpus();
  for (auto _ : state) {
    if (keep) KeepArchiveStreams(true);
    for (const auto& e : c.entries) {
      MediaArchive a{c.packed.archive.data(), static_cast<std::uint32_t>(c.packed.archive.size()), 0};
      unsigned char* buf = nullptr;
      std::uint32_t len = 0;
      if (!ExtractArchiveMember(&buf, &len, e.name.c_str(), &a, nullptr)) state.SkipWithError("failed");
      FreeMediaBuffer(buf);
    }
    if (keep) {
      KeepArchiveStreams(false);
      ReleaseArchiveReader();
    }
  }
  state.SetLabel(keep ? "kept stream" : "from the start each time");
}
BENCHMARK(BM_RarLoadEveryMember)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_ZlibInflateLevel9(benchmark::State& state) {
  Corpus& c = TheCorpus();
  std::vector<Bytef> out(c.all.size());
  for (auto _ : state) {
    uLongf n = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &n, c.deflated.data(), static_cast<uLong>(c.deflated.size())) != Z_OK)
      state.SkipWithError("inflate failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.all.size()));
}
BENCHMARK(BM_ZlibInflateLevel9)->Unit(benchmark::kMillisecond);

// Whole process: 7zz start-up, reading the file and its own CRC checks.
void BM_SevenZipTest(benchmark::State& state) {
  Corpus& c = TheCorpus();
  if (access(c.sevenZip.c_str(), X_OK) != 0) {
    state.SkipWithError("7zz not installed (scripts/test.sh installs it into .oracle/)");
    return;
  }
  std::string cmd = "'" + c.sevenZip + "' t '" + c.path + "' >/dev/null 2>&1";
  auto childCpu = [] {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
  };
  double before = childCpu();
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("7zz t failed");
  }
  // CPU seconds of 7zz itself (user + system, all its threads), per run.
  state.counters["7zz_cpu_ms"] = (childCpu() - before) * 1000.0 / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.all.size()));
}
BENCHMARK(BM_SevenZipTest)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole file, or nothing when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const char* path) {
  std::vector<std::uint8_t> bytes;
  if (std::FILE* f = std::fopen(path, "rb")) {
    std::uint8_t buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
  }
  return bytes;
}

// Any archive, named by RAR_BENCH_ARCHIVE (for example the build's media/469.rar): our
// decoder over all of it, and 7zz t on the same file.
void BM_RarDecodeArchiveFile(benchmark::State& state) {
  const char* path = std::getenv("RAR_BENCH_ARCHIVE");
  if (!path) {
    state.SkipWithError("set RAR_BENCH_ARCHIVE to an archive");
    return;
  }
  const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
  std::uint64_t total = 0;
  for (auto _ : state) {
    total = 0;
    bool bad = false;
    media::WalkArchive(bytes.data(), static_cast<std::uint32_t>(bytes.size()), true,
                       [&](const media::WalkedMember& m) {
                         total += m.size;
                         bad |= !m.block.header.IsDirectory() && m.status != media::MemberStatus::kOk;
                       });
    if (bad || total == 0) state.SkipWithError("not a good archive");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(BM_RarDecodeArchiveFile)->Unit(benchmark::kMillisecond);

// zlib's inflate (deflate level 9) of the same archive's unpacked members, one after another.
void BM_ZlibInflateArchiveFile(benchmark::State& state) {
  const char* path = std::getenv("RAR_BENCH_ARCHIVE");
  if (!path) {
    state.SkipWithError("set RAR_BENCH_ARCHIVE to an archive");
    return;
  }
  static std::vector<std::uint8_t> all, deflated;
  if (all.empty()) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    media::WalkArchive(bytes.data(), static_cast<std::uint32_t>(bytes.size()), true,
                       [&](const media::WalkedMember& m) { all.insert(all.end(), m.data, m.data + m.size); });
    uLongf n = compressBound(static_cast<uLong>(all.size()));
    deflated.resize(n);
    compress2(deflated.data(), &n, all.data(), static_cast<uLong>(all.size()), 9);
    deflated.resize(n);
  }
  if (all.empty()) {
    state.SkipWithError("not a good archive");
    return;
  }
  std::vector<Bytef> out(all.size());
  for (auto _ : state) {
    uLongf n = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &n, deflated.data(), static_cast<uLong>(deflated.size())) != Z_OK)
      state.SkipWithError("inflate failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * all.size()));
}
BENCHMARK(BM_ZlibInflateArchiveFile)->Unit(benchmark::kMillisecond);

void BM_SevenZipTestFile(benchmark::State& state) {
  const char* path = std::getenv("RAR_BENCH_ARCHIVE");
  Corpus& c = TheCorpus();
  if (!path || access(c.sevenZip.c_str(), X_OK) != 0) {
    state.SkipWithError("needs RAR_BENCH_ARCHIVE and 7zz");
    return;
  }
  std::string cmd = "'" + c.sevenZip + "' t '" + path + "' >/dev/null 2>&1";
  rusage u0{}, u1{};
  getrusage(RUSAGE_CHILDREN, &u0);
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("7zz t failed");
  }
  getrusage(RUSAGE_CHILDREN, &u1);
  auto secs = [](const rusage& u) {
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
  };
  state.counters["7zz_cpu_ms"] = (secs(u1) - secs(u0)) * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SevenZipTestFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RarPackSolidLevel3(benchmark::State& state) {
  Corpus& c = TheCorpus();
  for (auto _ : state) {
    rarpack::PackOptions o;
    o.solid = true;
    rarpack::PackResult r;
    std::string error;
    rarpack::BuildArchive(c.entries, o, &r, &error);
    benchmark::DoNotOptimize(r.archive.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.all.size()));
}
BENCHMARK(BM_RarPackSolidLevel3)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
