#include "ogg_encode.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>

namespace mediagen {

std::vector<std::uint8_t> EncodeOggVorbis(const float* interleaved, std::size_t frames, const OggEncoding& how) {
  std::vector<std::uint8_t> out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, how.channels, how.rate, how.quality) != 0) {
    vorbis_info_clear(&vi);
    return out;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  if (how.title) vorbis_comment_add_tag(&vc, "TITLE", how.title);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, how.serial);
  ogg_packet header, comm, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comm, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comm);
  ogg_stream_packetin(&os, &code);
  ogg_page og;
  auto emit = [&](const ogg_page& p) {
    out.insert(out.end(), p.header, p.header + p.header_len);
    out.insert(out.end(), p.body, p.body + p.body_len);
  };
  while (ogg_stream_flush(&os, &og)) emit(og);
  std::size_t pos = 0;
  bool eos = false;
  while (!eos) {
    std::size_t chunk = std::min<std::size_t>(4096, frames - pos);
    if (chunk == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
      const std::size_t channels = static_cast<std::size_t>(how.channels);
      for (std::size_t i = 0; i < chunk; ++i)
        for (std::size_t c = 0; c < channels; ++c) buf[c][i] = interleaved[channels * (pos + i) + c];
      vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
      pos += chunk;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og)) {
          emit(og);
          if (ogg_page_eos(&og)) eos = true;
        }
      }
    }
    if (chunk == 0 && !eos) {
      while (ogg_stream_flush(&os, &og)) {
        emit(og);
        if (ogg_page_eos(&og)) eos = true;
      }
      eos = true;
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

}  // namespace mediagen
