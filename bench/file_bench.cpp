// Disk files against the system calls in the same run.
//
// Reading: a file read from start to end through IXFile::Read in 1 MiB
// pieces, and through ReadDword, against read(2) into a 1 MiB buffer. The
// file is in the page cache for all three (it was just written), so the
// comparison is the window's mapping work against read(2)'s copying.
//
// Writing: the same amount written through Fio_OpenOut in 1 MiB pieces and
// committed (which flushes the data to the disk and renames), against
// write(2) in 1 MiB pieces, fsync and rename.
//
// The size is 1 GiB unless ZR_BENCH_FILE_MIB gives another number of MiB;
// the file lives in $TMPDIR (else /tmp).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zr/exception.h"
#include "zr/xfile.h"

namespace {

constexpr int kPiece = 1 << 20;

std::int64_t FileBytes() {
  const char* mib = std::getenv("ZR_BENCH_FILE_MIB");
  const long n = mib ? std::atol(mib) : 1024;
  return std::int64_t{n > 0 ? n : 1024} << 20;
}

std::string Folder() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The file every read benchmark reads, written once.
const std::string& ReadFilePath() {
  static const std::string path = [] {
    std::string p = Folder() + "/zr_file_bench_read";
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char> piece(kPiece);
    for (int i = 0; i < kPiece; ++i) piece[i] = static_cast<char>(i * 7);
    for (std::int64_t done = 0; done < FileBytes(); done += kPiece)
      if (::write(fd, piece.data(), kPiece) != kPiece) std::abort();
    ::close(fd);
    std::atexit([] { ::unlink((Folder() + "/zr_file_bench_read").c_str()); });
    return p;
  }();
  return path;
}

void BM_ReadPieces_IXFile(benchmark::State& state) {
  const std::u16string path = Wide(ReadFilePath());
  std::vector<char> buffer(kPiece);
  for (auto _ : state) {
    IXFile* f = Fio_Open(path.c_str(), static_cast<int>(state.range(0)));
    std::int64_t total = 0;
    while (ULONG n = f->Read(buffer.data(), kPiece)) total += n;
    f->Release();
    if (total != FileBytes()) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_ReadPieces_IXFile)
    ->Arg(0)
    ->Arg(ZRFILE_EXISTING)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReadDword_IXFile(benchmark::State& state) {
  const std::u16string path = Wide(ReadFilePath());
  for (auto _ : state) {
    IXFile* f = Fio_Open(path.c_str(), 0);
    DWORD sum = 0;
    const std::int64_t dwords = FileBytes() / 4;
    for (std::int64_t i = 0; i < dwords; ++i) sum += f->ReadDword();
    f->Release();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_ReadDword_IXFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadPieces_read2(benchmark::State& state) {
  const std::string& path = ReadFilePath();
  std::vector<char> buffer(kPiece);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::int64_t total = 0;
    ssize_t n;
    while ((n = ::read(fd, buffer.data(), kPiece)) > 0) total += n;
    ::close(fd);
    if (total != FileBytes()) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_ReadPieces_read2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Write_OutFileCommit(benchmark::State& state) {
  const std::u16string target = Wide(Folder() + "/zr_file_bench_out");
  const std::vector<char> piece(kPiece, 'w');
  for (auto _ : state) {
    IXOutFile* out = Fio_OpenOut(target.c_str(), 0);
    for (std::int64_t done = 0; done < FileBytes(); done += kPiece)
      out->Write(piece.data(), kPiece);
    out->Commit();
    out->Release();
  }
  ::unlink((Folder() + "/zr_file_bench_out").c_str());
  state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_Write_OutFileCommit)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Write_write2FsyncRename(benchmark::State& state) {
  const std::string target = Folder() + "/zr_file_bench_out";
  const std::string temp = target + ".tmp";
  const std::vector<char> piece(kPiece, 'w');
  for (auto _ : state) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (std::int64_t done = 0; done < FileBytes(); done += kPiece)
      if (::write(fd, piece.data(), kPiece) != kPiece) state.SkipWithError("short write");
    ::fsync(fd);
    ::close(fd);
    ::rename(temp.c_str(), target.c_str());
  }
  ::unlink(target.c_str());
  state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_Write_write2FsyncRename)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
