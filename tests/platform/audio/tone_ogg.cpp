#include "tone_ogg.h"

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace audiotest {

namespace {

void Append(std::vector<unsigned char>* out, const ogg_page& page) {
  out->insert(out->end(), page.header, page.header + page.header_len);
  out->insert(out->end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<unsigned char> EncodeToneOgg(const ToneSpec& spec) {
  std::vector<unsigned char> out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, spec.channels, spec.rate, spec.quality) != 0) {
    vorbis_info_clear(&vi);
    return out;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 12345);
  ogg_packet header, comm, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comm, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comm);
  ogg_stream_packetin(&os, &code);
  ogg_page og;
  while (ogg_stream_flush(&os, &og)) Append(&out, og);

  const double twoPi = 6.283185307179586;
  long done = 0;
  bool eos = false;
  auto drain = [&] {
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (!eos && ogg_stream_pageout(&os, &og)) {
          Append(&out, og);
          if (ogg_page_eos(&og)) eos = true;
        }
      }
    }
  };
  while (done < spec.frames) {
    long n = std::min<long>(1024, spec.frames - done);
    float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
    for (long i = 0; i < n; ++i) {
      long t = done + i;
      double env = 1.0;
      if (spec.fade > 0) {
        if (t < spec.fade) env = static_cast<double>(t) / spec.fade;
        long fromEnd = spec.frames - 1 - t;
        if (fromEnd < spec.fade) env = std::min(env, static_cast<double>(fromEnd) / spec.fade);
      }
      for (int c = 0; c < spec.channels; ++c) {
        double f = spec.freqs.empty() ? 0.0 : spec.freqs[c % spec.freqs.size()];
        buf[c][i] = static_cast<float>(spec.amplitude * env * std::sin(twoPi * f * t / spec.rate));
      }
    }
    vorbis_analysis_wrote(&vd, static_cast<int>(n));
    done += n;
    drain();
  }
  vorbis_analysis_wrote(&vd, 0);  // end of stream: without it the tail is lost
  drain();
  while (!eos && ogg_stream_flush(&os, &og)) Append(&out, og);

  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

namespace {
struct Reader {
  const std::vector<unsigned char>* bytes;
  std::size_t pos;
};
std::size_t ReadCb(void* p, std::size_t size, std::size_t n, void* src) {
  auto* r = static_cast<Reader*>(src);
  std::size_t avail = (r->bytes->size() - r->pos) / size;
  if (n > avail) n = avail;
  std::memcpy(p, r->bytes->data() + r->pos, n * size);
  r->pos += n * size;
  return n;
}
}  // namespace

bool DecodeOgg(const std::vector<unsigned char>& bytes, std::vector<std::int16_t>* pcm, int* rate, int* channels) {
  Reader r{&bytes, 0};
  OggVorbis_File vf;
  ov_callbacks cb{ReadCb, nullptr, nullptr, nullptr};  // unseekable: a different path from the library's
  if (ov_open_callbacks(&r, &vf, nullptr, 0, cb) != 0) return false;
  vorbis_info* vi = ov_info(&vf, -1);
  *rate = static_cast<int>(vi->rate);
  *channels = vi->channels;
  pcm->clear();
  char buf[8192];
  int link = 0;
  for (;;) {
    long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &link);
    if (n == OV_HOLE) continue;
    if (n <= 0) break;
    std::size_t old = pcm->size();
    pcm->resize(old + static_cast<std::size_t>(n) / 2);
    std::memcpy(pcm->data() + old, buf, static_cast<std::size_t>(n));
  }
  ov_clear(&vf);
  return true;
}

double EstimateFrequency(const std::int16_t* s, std::size_t frames, int channels, int channel, int rate) {
  // Count upward zero crossings between the first and the last one (robust to offset).
  long first = -1, last = -1, count = 0;
  for (std::size_t i = 1; i < frames; ++i) {
    int a = s[(i - 1) * channels + channel];
    int b = s[i * channels + channel];
    if (a < 0 && b >= 0) {
      if (first < 0) first = static_cast<long>(i);
      last = static_cast<long>(i);
      ++count;
    }
  }
  if (count < 2) return 0.0;
  return static_cast<double>(count - 1) * rate / static_cast<double>(last - first);
}

}  // namespace audiotest
