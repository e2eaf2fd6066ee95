// bench/cfb_bench_peers.cpp - the compound-file benchmark's peers: libgsf
// writes the same tree and bytes as the engine through GsfOutfileMSOle on a
// stdio output and reads them back through GsfInfileMSOle on a stdio input
// (the inputs and outputs libgsf's own gsf tool uses); a dd-like loop
// writes the same bytes into a plain file.
#include "bench/cfb_bench_peers.h"

#include <fcntl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <unistd.h>

#include <algorithm>

namespace cfb_bench {

namespace {

void Sync(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd >= 0) {
    fdatasync(fd);
    close(fd);
  }
}

}  // namespace

namespace {

void GsfStart() {
  static const bool started = [] {
    gsf_init();
    return true;
  }();
  (void)started;
}

}  // namespace

bool GsfWrite(const std::string& path, unsigned version) {
  GsfStart();
  GError* err = nullptr;
  GsfOutput* sink = gsf_output_stdio_new(path.c_str(), &err);
  if (!sink) return false;
  GsfOutfile* ole = gsf_outfile_msole_new_full(sink, version == 4 ? 4096 : 512, 64);
  g_object_unref(sink);
  const std::vector<char>& data = Pattern();
  bool ok = true;
  for (int a = 0; a < kFanOut; ++a) {
    GsfOutput* da = gsf_outfile_new_child(ole, Name('d', a).c_str(), TRUE);
    for (int b = 0; b < kFanOut; ++b) {
      GsfOutput* db = gsf_outfile_new_child(GSF_OUTFILE(da), Name('e', b).c_str(), TRUE);
      for (int c = 0; c < kFanOut; ++c) {
        GsfOutput* s = gsf_outfile_new_child(GSF_OUTFILE(db), Name('s', c).c_str(), FALSE);
        for (std::size_t at = 0; at < kStreamBytes; at += kPiece)
          ok = gsf_output_write(s, kPiece,
                                reinterpret_cast<const guint8*>(data.data() + at % kDdBlock)) &&
               ok;
        gsf_output_close(s);
        g_object_unref(s);
      }
      gsf_output_close(db);
      g_object_unref(db);
    }
    gsf_output_close(da);
    g_object_unref(da);
  }
  ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
  g_object_unref(ole);
  Sync(path);
  return ok;
}

namespace {

std::size_t GsfReadAll(GsfInfile* dir, std::vector<guint8>& buf) {
  std::size_t total = 0;
  const int n = gsf_infile_num_children(dir);
  for (int i = 0; i < n; ++i) {
    GsfInput* child = gsf_infile_child_by_index(dir, i);
    if (!child) continue;
    if (gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      total += GsfReadAll(GSF_INFILE(child), buf);
    } else {
      gsf_off_t left = gsf_input_size(child);
      while (left > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<gsf_off_t>(left, buf.size()));
        if (!gsf_input_read(child, piece, buf.data())) break;
        total += piece;
        left -= static_cast<gsf_off_t>(piece);
      }
    }
    g_object_unref(child);
  }
  return total;
}

}  // namespace

std::size_t GsfRead(const std::string& path) {
  GsfStart();
  GError* err = nullptr;
  GsfInput* in = gsf_input_stdio_new(path.c_str(), &err);
  if (!in) return 0;
  GsfInfile* ole = gsf_infile_msole_new(in, &err);
  g_object_unref(in);
  if (!ole) return 0;
  std::vector<guint8> buf(kPiece);
  const std::size_t total = GsfReadAll(ole, buf);
  g_object_unref(ole);
  return total;
}

bool DdWrite(const std::string& path) {
  const std::vector<char>& data = Pattern();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < kTotalBytes; done += kDdBlock)
    ok = write(fd, data.data(), kDdBlock) == static_cast<ssize_t>(kDdBlock);
  ok = fdatasync(fd) == 0 && ok;
  close(fd);
  return ok;
}

void DropFromCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd >= 0) {
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  }
}

void WarmUp(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  std::vector<char> buf(kDdBlock);
  while (read(fd, buf.data(), buf.size()) > 0) {
  }
  close(fd);
}

}  // namespace cfb_bench
