#include "rar20_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "huffman_builder.h"
#include "media/rar20_unpacker.h"

namespace rarpack {

namespace {

using media::AudioChannelState;
using media::kAudioSymbols;
using media::kDistBase;
using media::kDistBits;
using media::kDistSymbols;
using media::kLengthBase;
using media::kLengthBits;
using media::kLzTableLengths;
using media::kMainSymbols;
using media::kMaxTableLengths;
using media::kRepSymbols;
using media::kShortDistBase;
using media::kShortDistBits;

constexpr std::uint32_t kWindow = media::kRarWindowSize;
constexpr std::uint32_t kMaxDistance = kWindow - 1;
constexpr int kHashBits = 17;
constexpr std::uint32_t kNil = 0xFFFFFFFFu;
constexpr int kMaxCodeBits = 15;
constexpr std::uint32_t kChunk = 1 << 16;
constexpr int kSymRepeat = 256;
constexpr int kSymTables = 269;
constexpr int kSymAudioTables = 256;

struct LevelParams {
  int chain;
  int nice;
  bool lazy;
};

LevelParams ParamsFor(int level) {
  switch (level) {
    case 1: return {8, 32, false};
    case 2: return {24, 64, true};
    case 3: return {64, 128, true};
    case 4: return {256, 260, true};
    default: return {1024, 260, true};
  }
}

class BitWriter {
 public:
  void Put(std::uint32_t value, int n) {
    if (n == 0) return;
    acc_ = (acc_ << n) | (value & ((1u << n) - 1));
    bits_ += n;
    while (bits_ >= 8) {
      bits_ -= 8;
      out_.push_back(static_cast<std::uint8_t>(acc_ >> bits_));
    }
  }
  void Flush() {
    if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - bits_)));
    bits_ = 0;
  }
  std::vector<std::uint8_t>& Bytes() { return out_; }

 private:
  std::uint64_t acc_ = 0;
  int bits_ = 0;
  std::vector<std::uint8_t> out_;
};

// Slot tables: value -> code index for lengths (0..255) and short distances (0..255).
struct Slots {
  std::uint8_t length[256];
  std::uint8_t shortDist[256];
  Slots() {
    for (int k = 0; k < 28; ++k)
      for (std::uint32_t j = 0; j < (1u << kLengthBits[k]); ++j) length[kLengthBase[k] + j] = static_cast<std::uint8_t>(k);
    for (int k = 0; k < 8; ++k)
      for (std::uint32_t j = 0; j < (1u << kShortDistBits[k]); ++j)
        shortDist[kShortDistBase[k] + j] = static_cast<std::uint8_t>(k);
  }
};
const Slots kSlots;

int DistSlot(std::uint32_t v) {  // v = distance - 1
  return static_cast<int>(std::upper_bound(kDistBase, kDistBase + 48, v) - kDistBase) - 1;
}

struct Token {
  std::uint16_t sym;
  std::uint16_t sub;  // distance symbol (270+) or repeat-length symbol (257..260)
  std::uint8_t lenBits;
  std::uint8_t distBits;
  std::uint16_t lenVal;
  std::uint32_t distVal;
};

enum class Kind { kLiteral, kNew, kRep, kLast, kShort };

struct Choice {
  Kind kind = Kind::kLiteral;
  std::uint32_t len = 1;
  std::uint32_t dist = 0;
  int rep = 0;
  double gain = 0;
};

// The RLE form of one table read.
struct TablePlan {
  bool keep = false;
  std::vector<std::uint8_t> syms;
  std::vector<std::uint8_t> extraVal;
  std::vector<std::uint8_t> bitLengths;  // 19
  std::uint64_t bits = 0;
};

std::uint32_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
  std::uint32_t n = 0;
  while (n + 8 <= limit) {
    std::uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<std::uint32_t>(__builtin_ctzll(x ^ y) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

std::uint8_t PredictAudioByte(const AudioChannelState& v, std::int32_t channelDelta) {
  std::int32_t d1 = v.lastDelta, d2 = v.lastDelta - v.D1, d3 = v.D2, d4 = v.D3;
  std::int32_t p = 8 * v.lastChar + v.K1 * d1 + v.K2 * d2 + v.K3 * d3 + v.K4 * d4 + v.K5 * channelDelta;
  return static_cast<std::uint8_t>((p >> 3) & 0xFF);
}

struct AudioState {
  AudioChannelState ch[4];
  std::int32_t channelDelta;
  int current;
};

struct AudioTrial {
  int channels = 0;
  AudioState after{};
  std::vector<std::uint16_t> syms;
  std::vector<std::uint32_t> freq;      // channels x 257
  std::vector<std::uint8_t> lengths;    // channels x 257
  std::uint64_t bits = ~0ull;           // data + tables
  bool reuse = false;
};

}  // namespace

struct Rar20Encoder::Impl {
  EncoderOptions opt;
  LevelParams params;
  EncoderStats* stats = nullptr;

  // History of the stream: every byte the decoder's window has seen, from stream start.
  std::vector<std::uint8_t> hist;
  std::vector<std::uint32_t> head, prev, head2;
  std::uint32_t inserted = 0;

  // Mirror of the decoder's state.
  bool haveTables = false;
  bool audioMode = false;
  int channels = 1;
  AudioState audio{};
  std::uint32_t ring[4] = {};
  std::uint32_t ringIndex = 0;
  std::uint32_t lastDist = 0, lastLen = 0;
  std::uint8_t prevLengths[kMaxTableLengths] = {};
  int prevCount = 0;
  bool prevAudio = false;
  std::uint8_t lzLen[kLzTableLengths] = {};
  std::vector<std::uint16_t> mainCode, distCode, repCode;
  std::uint8_t audioLen[4][kAudioSymbols] = {};
  std::vector<std::uint16_t> audioCode[4];

  // Cost model for the parse, in bits.
  double costMain[kMainSymbols], costDist[kDistSymbols], costRep[kRepSymbols];
  double avgLiteral = 8;

  std::vector<Token> tokens;
  BitWriter out;

  explicit Impl(const EncoderOptions& o) : opt(o), params(ParamsFor(o.level)) { Reset(); }

  void Reset() {
    hist.clear();
    head.assign(1u << kHashBits, kNil);
    prev.assign(kWindow, kNil);
    head2.assign(1u << 16, kNil);
    inserted = 0;
    haveTables = false;
    audioMode = false;
    channels = 1;
    audio = AudioState{};
    std::memset(ring, 0, sizeof ring);
    ringIndex = lastDist = lastLen = 0;
    std::memset(prevLengths, 0, sizeof prevLengths);
    prevCount = 0;
    prevAudio = false;
    for (int i = 0; i < kMainSymbols; ++i) costMain[i] = i < 256 ? 8.0 : 10.0;
    for (auto& c : costDist) c = 5;
    for (auto& c : costRep) c = 3;
    avgLiteral = 8;
  }

  // ---- match finder ----
  void InsertUpTo(std::uint32_t pos) {
    const std::uint32_t end = static_cast<std::uint32_t>(hist.size());
    const std::uint8_t* b = hist.data();
    for (; inserted < pos; ++inserted) {
      std::uint32_t p = inserted;
      if (p + 1 < end) head2[(b[p] << 8) | b[p + 1]] = p;
      if (p + 2 >= end) continue;
      std::uint32_t h = ((std::uint32_t{b[p]} << 16 | std::uint32_t{b[p + 1]} << 8 | b[p + 2]) * 2654435761u) >> (32 - kHashBits);
      prev[p & (kWindow - 1)] = head[h];
      head[h] = p;
    }
  }

  double LengthCost(std::uint32_t v) const { return kLengthBits[kSlots.length[v]]; }

  double NewMatchCost(std::uint32_t len, std::uint32_t dist) const {
    std::uint32_t adj = (dist >= 0x2000) + (dist >= 0x40000);
    std::uint32_t v = len - 3 - adj;
    int d = DistSlot(dist - 1);
    return costMain[270 + kSlots.length[v]] + LengthCost(v) + costDist[d] + kDistBits[d];
  }

  static std::uint32_t RepAdjust(std::uint32_t d) { return (d >= 0x101) + (d >= 0x2000) + (d >= 0x40000); }
  static std::uint32_t NewAdjust(std::uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }

  Choice Best(std::uint32_t pos, std::uint32_t end) {
    InsertUpTo(pos);
    Choice best;
    std::uint32_t maxLen = std::min<std::uint32_t>(260, end - pos);
    if (maxLen < 2) return best;
    const std::uint8_t* b = hist.data();
    const std::uint8_t* cur = b + pos;
    auto consider = [&](Kind kind, std::uint32_t len, std::uint32_t dist, int rep, double cost) {
      double gain = len * avgLiteral - cost;
      if (gain > best.gain) best = Choice{kind, len, dist, rep, gain};
    };
    std::uint32_t longest = 0;
    // Symbol 256: the last match again, exactly.
    if (lastLen != 0 && lastDist <= pos && lastLen <= maxLen &&
        MatchLength(cur, cur - lastDist, lastLen) == lastLen) {
      consider(Kind::kLast, lastLen, lastDist, 0, costMain[kSymRepeat]);
      longest = lastLen;
    }
    // The four recent distances.
    for (int i = 0; i < 4; ++i) {
      std::uint32_t d = ring[(ringIndex - 1 - i) & 3];
      if (d == 0 || d > pos) continue;
      std::uint32_t adj = RepAdjust(d);
      std::uint32_t len = MatchLength(cur, cur - d, std::min(maxLen, 257 + adj));
      if (len < 2 + adj) continue;
      std::uint32_t v = len - 2 - adj;
      consider(Kind::kRep, len, d, i, costMain[257 + i] + costRep[kSlots.length[v]] + LengthCost(v));
      longest = std::max(longest, len);
    }
    if (longest < static_cast<std::uint32_t>(params.nice) && maxLen >= 3) {
      std::uint32_t cand = head[((std::uint32_t{cur[0]} << 16 | std::uint32_t{cur[1]} << 8 | cur[2]) * 2654435761u) >>
                                (32 - kHashBits)];
      // Once a fair match is in hand, search less deep.
      int chain = longest >= 32 ? params.chain / 4 : params.chain;
      std::uint32_t bestNew = 2;
      while (cand != kNil && cand < pos && chain-- > 0) {
        std::uint32_t d = pos - cand;
        if (d > kMaxDistance) break;
        if (bestNew < maxLen && cur[bestNew] == b[cand + bestNew]) {
          std::uint32_t lim = std::min(maxLen, 258 + NewAdjust(d));
          std::uint32_t len = MatchLength(cur, b + cand, lim);
          if (len > bestNew && len >= 3 + NewAdjust(d)) {
            bestNew = len;
            consider(Kind::kNew, len, d, 0, NewMatchCost(len, d));
            if (len >= static_cast<std::uint32_t>(params.nice) || len == lim) break;
          }
        }
        std::uint32_t next = prev[cand & (kWindow - 1)];
        if (next == kNil || next >= cand) break;
        cand = next;
      }
    }
    // Two bytes at a short distance.
    if (best.len < 3) {
      std::uint32_t cand = head2[(cur[0] << 8) | cur[1]];
      if (cand != kNil && cand < pos && pos - cand <= 256) {
        std::uint32_t v = pos - cand - 1;
        int k = kSlots.shortDist[v];
        consider(Kind::kShort, 2, pos - cand, 0, costMain[261 + k] + kShortDistBits[k]);
      }
    }
    return best;
  }

  void PushMatch(const Choice& c) {
    Token t{};
    switch (c.kind) {
      case Kind::kLiteral: break;
      case Kind::kLast: t.sym = kSymRepeat; break;
      case Kind::kShort: {
        std::uint32_t v = c.dist - 1;
        int k = kSlots.shortDist[v];
        t.sym = static_cast<std::uint16_t>(261 + k);
        t.distBits = kShortDistBits[k];
        t.distVal = v - kShortDistBase[k];
        break;
      }
      case Kind::kRep: {
        std::uint32_t v = c.len - 2 - RepAdjust(c.dist);
        int r = kSlots.length[v];
        t.sym = static_cast<std::uint16_t>(257 + c.rep);
        t.sub = static_cast<std::uint16_t>(r);
        t.lenBits = kLengthBits[r];
        t.lenVal = static_cast<std::uint16_t>(v - kLengthBase[r]);
        break;
      }
      case Kind::kNew: {
        std::uint32_t v = c.len - 3 - NewAdjust(c.dist);
        int k = kSlots.length[v];
        int d = DistSlot(c.dist - 1);
        t.sym = static_cast<std::uint16_t>(270 + k);
        t.lenBits = kLengthBits[k];
        t.lenVal = static_cast<std::uint16_t>(v - kLengthBase[k]);
        t.sub = static_cast<std::uint16_t>(d);
        t.distBits = kDistBits[d];
        t.distVal = c.dist - 1 - kDistBase[d];
        break;
      }
    }
    tokens.push_back(t);
    ring[ringIndex++ & 3] = c.dist;
    lastDist = c.dist;
    lastLen = c.len;
  }

  // Parses [pos, target) into tokens; the last match may run on towards `end`.
  std::uint32_t ParseLz(std::uint32_t pos, std::uint32_t target, std::uint32_t end) {
    tokens.clear();
    Choice cur = Best(pos, end);
    while (pos < target) {
      if (cur.kind == Kind::kLiteral || cur.gain <= 0) {
        tokens.push_back(Token{hist[pos], 0, 0, 0, 0, 0});
        ++pos;
        cur = Best(pos, end);
        continue;
      }
      if (params.lazy && cur.len < static_cast<std::uint32_t>(params.nice) && pos + 1 < end) {
        Choice next = Best(pos + 1, end);
        if (next.gain > cur.gain + 0.5) {
          tokens.push_back(Token{hist[pos], 0, 0, 0, 0, 0});
          ++pos;
          cur = next;
          continue;
        }
      }
      PushMatch(cur);
      pos += cur.len;
      cur = Best(pos, end);
    }
    return pos;
  }

  // ---- tables ----
  TablePlan PlanTables(const std::uint8_t* lengths, int count, bool audioTables, bool keep) const {
    TablePlan plan;
    plan.keep = keep;
    for (int i = 0; i < count;) {
      std::uint8_t base = keep ? prevLengths[i] : 0;
      std::uint8_t l = lengths[i];
      int run = 1;
      if (l == 0) {
        while (i + run < count && lengths[i + run] == 0 && run < 138) ++run;
        if (run >= 11) {
          plan.syms.push_back(18);
          plan.extraVal.push_back(static_cast<std::uint8_t>(run - 11));
          i += run;
          continue;
        }
        if (run >= 3 && !(keep && base == 0)) {
          plan.syms.push_back(17);
          plan.extraVal.push_back(static_cast<std::uint8_t>(run - 3));
          i += run;
          continue;
        }
      } else if (i > 0 && lengths[i - 1] == l && !(keep && base == l)) {
        while (i + run < count && lengths[i + run] == l && run < 6) ++run;
        if (run >= 3) {
          plan.syms.push_back(16);
          plan.extraVal.push_back(static_cast<std::uint8_t>(run - 3));
          i += run;
          continue;
        }
      }
      plan.syms.push_back(static_cast<std::uint8_t>((l - base) & 15));
      plan.extraVal.push_back(0);
      ++i;
    }
    std::uint32_t freq[19] = {};
    for (auto s : plan.syms) ++freq[s];
    plan.bitLengths = BuildCodeLengths(freq, 19, 15);
    plan.bits = 2 + (audioTables ? 2 : 0) + 19 * 4;
    for (std::size_t i = 0; i < plan.syms.size(); ++i) {
      std::uint8_t s = plan.syms[i];
      plan.bits += plan.bitLengths[s] + (s == 16 ? 2 : s == 17 ? 3 : s == 18 ? 7 : 0);
    }
    return plan;
  }

  TablePlan BestPlan(const std::uint8_t* lengths, int count, bool audioTables) const {
    TablePlan fresh = PlanTables(lengths, count, audioTables, false);
    if (haveTables && prevAudio == audioTables && prevCount == count) {
      TablePlan kept = PlanTables(lengths, count, audioTables, true);
      if (kept.bits < fresh.bits) return kept;
    }
    return fresh;
  }

  void EmitSwitch() {
    if (!haveTables) return;
    if (audioMode) {
      out.Put(audioCode[audio.current][kSymAudioTables], audioLen[audio.current][kSymAudioTables]);
    } else {
      out.Put(mainCode[kSymTables], lzLen[kSymTables]);
    }
  }

  void EmitTables(const TablePlan& plan, const std::uint8_t* lengths, int count, bool audioTables, int ch) {
    EmitSwitch();
    ++stats->tableReads;
    std::uint32_t head2bits = (audioTables ? 2u : 0u) | (plan.keep ? 1u : 0u);
    out.Put(head2bits, 2);
    if (audioTables) out.Put(static_cast<std::uint32_t>(ch - 1), 2);
    for (int i = 0; i < 19; ++i) out.Put(plan.bitLengths[i], 4);
    std::vector<std::uint16_t> codes = CanonicalCodes(plan.bitLengths.data(), 19);
    for (std::size_t i = 0; i < plan.syms.size(); ++i) {
      std::uint8_t s = plan.syms[i];
      out.Put(codes[s], plan.bitLengths[s]);
      if (s == 16) out.Put(plan.extraVal[i], 2);
      if (s == 17) out.Put(plan.extraVal[i], 3);
      if (s == 18) out.Put(plan.extraVal[i], 7);
    }
    // The decoder's view after the read.
    std::memset(prevLengths, 0, sizeof prevLengths);
    std::memcpy(prevLengths, lengths, count);
    prevCount = count;
    prevAudio = audioTables;
    haveTables = true;
    audioMode = audioTables;
    if (audioTables) {
      channels = ch;
      if (audio.current >= channels) audio.current = 0;
      for (int c = 0; c < ch; ++c) {
        std::memcpy(audioLen[c], lengths + c * kAudioSymbols, kAudioSymbols);
        audioCode[c] = CanonicalCodes(audioLen[c], kAudioSymbols);
      }
    } else {
      std::memcpy(lzLen, lengths, kLzTableLengths);
      mainCode = CanonicalCodes(lzLen, kMainSymbols);
      distCode = CanonicalCodes(lzLen + kMainSymbols, kDistSymbols);
      repCode = CanonicalCodes(lzLen + kMainSymbols + kDistSymbols, kRepSymbols);
    }
  }

  // ---- LZ blocks ----
  struct LzBlock {
    std::vector<std::uint8_t> lengths;  // 374
    std::uint64_t dataBitsNew = 0, dataBitsOld = ~0ull, extraBits = 0;
    TablePlan plan;
    bool reuse = false;
    std::uint64_t Bits() const { return reuse ? dataBitsOld + extraBits : dataBitsNew + extraBits + plan.bits; }
  };

  LzBlock PlanLzBlock() {
    LzBlock blk;
    std::uint32_t fm[kMainSymbols] = {}, fd[kDistSymbols] = {}, fr[kRepSymbols] = {};
    for (const Token& t : tokens) {
      ++fm[t.sym];
      blk.extraBits += t.lenBits + t.distBits;
      if (t.sym >= 270) ++fd[t.sub];
      else if (t.sym >= 257 && t.sym <= 260) ++fr[t.sub];
    }
    std::uint32_t fmTable[kMainSymbols];
    std::memcpy(fmTable, fm, sizeof fm);
    ++fmTable[kSymTables];  // always codable: the next table change
    auto lm = BuildCodeLengths(fmTable, kMainSymbols, kMaxCodeBits);
    auto ld = BuildCodeLengths(fd, kDistSymbols, kMaxCodeBits);
    auto lr = BuildCodeLengths(fr, kRepSymbols, kMaxCodeBits);
    blk.lengths.insert(blk.lengths.end(), lm.begin(), lm.end());
    blk.lengths.insert(blk.lengths.end(), ld.begin(), ld.end());
    blk.lengths.insert(blk.lengths.end(), lr.begin(), lr.end());
    auto dataBits = [&](const std::uint8_t* l, bool strict) -> std::uint64_t {
      std::uint64_t bits = 0;
      for (int i = 0; i < kMainSymbols; ++i) {
        if (fm[i] && strict && l[i] == 0) return ~0ull;
        bits += std::uint64_t{fm[i]} * l[i];
      }
      for (int i = 0; i < kDistSymbols; ++i) {
        if (fd[i] && strict && l[kMainSymbols + i] == 0) return ~0ull;
        bits += std::uint64_t{fd[i]} * l[kMainSymbols + i];
      }
      for (int i = 0; i < kRepSymbols; ++i) {
        if (fr[i] && strict && l[kMainSymbols + kDistSymbols + i] == 0) return ~0ull;
        bits += std::uint64_t{fr[i]} * l[kMainSymbols + kDistSymbols + i];
      }
      return bits;
    };
    blk.dataBitsNew = dataBits(blk.lengths.data(), false);
    blk.plan = BestPlan(blk.lengths.data(), kLzTableLengths, false);
    if (haveTables && !audioMode) {
      blk.dataBitsOld = dataBits(lzLen, true);
      if (blk.dataBitsOld != ~0ull && blk.dataBitsOld <= blk.dataBitsNew + blk.plan.bits) blk.reuse = true;
    }
    return blk;
  }

  void UpdateCosts(const std::uint8_t* l) {
    std::uint64_t litBits = 0, lits = 0;
    for (const Token& t : tokens)
      if (t.sym < 256) {
        litBits += l[t.sym] ? l[t.sym] : 12;
        ++lits;
      }
    for (int i = 0; i < kMainSymbols; ++i) costMain[i] = l[i] ? l[i] : 12;
    for (int i = 0; i < kDistSymbols; ++i) costDist[i] = l[kMainSymbols + i] ? l[kMainSymbols + i] : 8;
    for (int i = 0; i < kRepSymbols; ++i)
      costRep[i] = l[kMainSymbols + kDistSymbols + i] ? l[kMainSymbols + kDistSymbols + i] : 6;
    if (lits > 64) avgLiteral = static_cast<double>(litBits) / lits;
  }

  void EmitLzBlock(const LzBlock& blk) {
    ++stats->lzBlocks;
    if (!blk.reuse) EmitTables(blk.plan, blk.lengths.data(), kLzTableLengths, false, 0);
    const std::uint8_t* ld = lzLen + kMainSymbols;
    const std::uint8_t* lr = lzLen + kMainSymbols + kDistSymbols;
    for (const Token& t : tokens) {
      out.Put(mainCode[t.sym], lzLen[t.sym]);
      if (t.sym >= 270) {
        out.Put(t.lenVal, t.lenBits);
        out.Put(distCode[t.sub], ld[t.sub]);
        out.Put(t.distVal, t.distBits);
      } else if (t.sym > 260) {
        out.Put(t.distVal, t.distBits);
      } else if (t.sym > 256) {
        out.Put(repCode[t.sub], lr[t.sub]);
        out.Put(t.lenVal, t.lenBits);
      }
    }
    UpdateCosts(lzLen);
  }

  // ---- multimedia blocks ----
  AudioTrial TryAudio(std::uint32_t start, std::uint32_t end, int ch) const {
    AudioTrial trial;
    trial.channels = ch;
    trial.after = audio;
    AudioState& s = trial.after;
    if (s.current >= ch) s.current = 0;
    trial.freq.assign(ch * kAudioSymbols, 0);
    trial.syms.resize(end - start);
    const std::uint8_t* b = hist.data();
    for (std::uint32_t p = start; p < end; ++p) {
      AudioChannelState& v = s.ch[s.current];
      std::uint8_t pred = PredictAudioByte(v, s.channelDelta);
      unsigned sym = static_cast<std::uint8_t>(pred - b[p]);
      media::DecodeAudioByte(v, s.channelDelta, sym);
      trial.syms[p - start] = static_cast<std::uint16_t>(sym);
      ++trial.freq[s.current * kAudioSymbols + sym];
      if (++s.current >= ch) s.current = 0;
    }
    std::uint64_t dataNew = 0;
    for (int c = 0; c < ch; ++c) {
      std::uint32_t* f = trial.freq.data() + c * kAudioSymbols;
      std::vector<std::uint32_t> ft(f, f + kAudioSymbols);
      ++ft[kSymAudioTables];
      auto l = BuildCodeLengths(ft.data(), kAudioSymbols, kMaxCodeBits);
      trial.lengths.insert(trial.lengths.end(), l.begin(), l.end());
      for (int i = 0; i < kAudioSymbols; ++i) dataNew += std::uint64_t{f[i]} * l[i];
    }
    TablePlan plan = BestPlan(trial.lengths.data(), ch * kAudioSymbols, true);
    trial.bits = dataNew + plan.bits;
    if (haveTables && audioMode && channels == ch) {
      std::uint64_t dataOld = 0;
      bool ok = true;
      for (int c = 0; c < ch && ok; ++c)
        for (int i = 0; i < kAudioSymbols; ++i) {
          std::uint32_t f = trial.freq[c * kAudioSymbols + i];
          if (f && audioLen[c][i] == 0) {
            ok = false;
            break;
          }
          dataOld += std::uint64_t{f} * audioLen[c][i];
        }
      if (ok && dataOld <= trial.bits) {
        trial.bits = dataOld;
        trial.reuse = true;
      }
    }
    return trial;
  }

  void EmitAudio(const AudioTrial& t) {
    ++stats->audioBlocks;
    stats->lastChannels = t.channels;
    if (!t.reuse) {
      TablePlan plan = BestPlan(t.lengths.data(), t.channels * kAudioSymbols, true);
      EmitTables(plan, t.lengths.data(), t.channels * kAudioSymbols, true, t.channels);
    }
    for (std::uint16_t s : t.syms) {
      out.Put(audioCode[audio.current][s], audioLen[audio.current][s]);
      if (++audio.current >= channels) audio.current = 0;
    }
    audio = t.after;
  }

  // ---- members ----
  std::vector<std::uint8_t> EncodeMember(const std::uint8_t* data, std::size_t size) {
    std::uint32_t start = static_cast<std::uint32_t>(hist.size());
    hist.insert(hist.end(), data, data + size);
    std::uint32_t end = static_cast<std::uint32_t>(hist.size());
    out = BitWriter();
    std::uint32_t pos = start;
    while (pos < end) {
      std::uint32_t target = std::min(end, pos + kChunk);
      if (opt.multimedia > 0) {
        AudioTrial best;
        int lo = opt.multimedia <= 4 ? opt.multimedia : 1, hi = opt.multimedia <= 4 ? opt.multimedia : 4;
        for (int ch = lo; ch <= hi; ++ch) {
          AudioTrial t = TryAudio(pos, target, ch);
          if (t.bits < best.bits) best = std::move(t);
        }
        EmitAudio(best);
        pos = target;
        continue;
      }
      std::uint32_t savedRing[4];
      std::memcpy(savedRing, ring, sizeof ring);
      std::uint32_t savedIndex = ringIndex, savedDist = lastDist, savedLen = lastLen;
      std::uint32_t lzEnd = ParseLz(pos, target, end);
      LzBlock blk = PlanLzBlock();
      if (opt.multimedia == 0 && blk.Bits() > 4ull * (lzEnd - pos)) {
        AudioTrial best;
        for (int ch = 1; ch <= 4; ++ch) {
          AudioTrial t = TryAudio(pos, lzEnd, ch);
          if (t.bits < best.bits) best = std::move(t);
        }
        if (best.bits < blk.Bits()) {
          std::memcpy(ring, savedRing, sizeof ring);
          ringIndex = savedIndex;
          lastDist = savedDist;
          lastLen = savedLen;
          EmitAudio(best);
          pos = lzEnd;
          continue;
        }
      }
      EmitLzBlock(blk);
      pos = lzEnd;
    }
    out.Flush();
    return std::move(out.Bytes());
  }
};

Rar20Encoder::Rar20Encoder(const EncoderOptions& options) : impl_(std::make_unique<Impl>(options)) {
  impl_->stats = &stats_;
}
Rar20Encoder::~Rar20Encoder() = default;

void Rar20Encoder::ResetStream() { impl_->Reset(); }

std::vector<std::uint8_t> Rar20Encoder::EncodeMember(const std::uint8_t* data, std::size_t size) {
  return impl_->EncodeMember(data, size);
}

}  // namespace rarpack
