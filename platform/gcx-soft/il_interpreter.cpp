#include "platform/gcx-soft/il_interpreter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace orx::gcxsoft {
namespace {

constexpr int kLanes = 64;
constexpr uint64_t kAllLanes = ~uint64_t{0};
// A loop that turns more often than this is taken for one that never ends.
constexpr uint64_t kMaxLoopTurns = uint64_t{1} << 24;

using Lane = uint32_t[kLanes];

inline float F(uint32_t w) { return std::bit_cast<float>(w); }
inline uint32_t W(float f) { return std::bit_cast<uint32_t>(f); }
inline int32_t I(uint32_t w) { return static_cast<int32_t>(w); }
inline uint32_t True(bool b) { return b ? 0xFFFFFFFFu : 0u; }

// Float to integer: truncation toward zero, saturated, NaN to 0.
int32_t FloatToInt(float f) {
  if (std::isnan(f)) return 0;
  if (f >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (f <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(f);
}
uint32_t FloatToUint(float f) {
  if (std::isnan(f) || f <= 0.0f) return 0;
  if (f >= 4294967296.0f) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(f);
}

// A texel index of a fetch position: truncated toward zero, then clamped to 0..size-1.
int64_t TruncatedIndex(float p) {
  if (std::isnan(p)) return 0;
  if (p >= 1.0e9f) return 1000000000;
  if (p <= -1.0e9f) return -1000000000;
  return static_cast<int64_t>(p);
}
uint32_t Clamp(int64_t v, uint32_t size) {
  if (v < 0) return 0;
  if (v >= static_cast<int64_t>(size)) return size - 1;
  return static_cast<uint32_t>(v);
}

const uint8_t* TexelAt(const Surface& t, uint32_t u, uint32_t v) {
  return t.data + (size_t{v} * t.pitch + u) * t.format->ElementBytes();
}

// Unsigned 8-bit channels are the common case: their 256 values read from a table.
struct Unorm8Table {
  uint32_t words[256];
  Unorm8Table() {
    for (int i = 0; i < 256; ++i) words[i] = W(static_cast<float>(i / 255.0));
  }
};
const Unorm8Table kUnorm8;

uint32_t FirstChannel(const Surface& t, uint32_t u, uint32_t v) {
  const uint8_t* p = TexelAt(t, u, v);
  if (t.format->kind == ChannelKind::kUnorm8) return kUnorm8.words[*p];
  uint32_t four[4];
  ReadTexel(*t.format, p, four);
  return four[0];
}

class Wavefront {
 public:
  Wavefront(const IlProgram& program, const RunBindings& bindings)
      : program_(program), bindings_(bindings), file_(size_t{program.rowCount} * 4 * kLanes, 0) {
    // Literals and constants are the same for every wavefront of the run.
    for (const IlProgram::Literal& literal : program.literals)
      for (int c = 0; c < 4; ++c) std::fill_n(Row(literal.row, c), kLanes, literal.words[c]);
    for (uint32_t k = 0; k < program.constantCount; ++k)
      for (int c = 0; c < 4; ++c) {
        uint32_t word;
        std::memcpy(&word, bindings.constants + size_t{k} * 16 + size_t(c) * 4, 4);
        std::fill_n(Row(program.constantRows[k], c), kLanes, word);
      }
  }

  // Runs one wavefront whose live lanes are `live`; `discarded` receives the lanes that
  // discarded themselves.
  bool Run(uint64_t live, uint64_t& discarded, std::string& error) {
    for (uint16_t row : program_.clearedRows) std::memset(Row(row, 0), 0, sizeof(uint32_t) * 4 * kLanes);
    exec_ = live;
    retired_ = 0;
    discarded_ = 0;
    broken_ = 0;
    frames_.clear();
    const std::vector<IlInstruction>& code = program_.code;
    for (size_t pc = 0; pc < code.size();) {
      const IlInstruction& in = code[pc];
      size_t next = pc + 1;
      switch (in.op) {
        case IlOp::kIfLogical: {
          uint64_t taken = Condition(in.source[0]);
          frames_.push_back({exec_, taken, 0, 0, false});
          exec_ = taken;
          if (exec_ == 0) next = static_cast<size_t>(in.target);
          break;
        }
        case IlOp::kElse: {
          Frame& f = frames_.back();
          exec_ = f.saved & ~f.taken & ~retired_ & ~broken_;
          if (exec_ == 0) next = static_cast<size_t>(in.target);
          break;
        }
        case IlOp::kEndIf: {
          exec_ = frames_.back().saved & ~retired_ & ~broken_;
          frames_.pop_back();
          break;
        }
        case IlOp::kWhileLoop:
          frames_.push_back({exec_, 0, 0, 0, true});
          if (exec_ == 0) next = static_cast<size_t>(in.target);
          break;
        case IlOp::kBreakLogical: {
          uint64_t leaving = Condition(in.source[0]);
          exec_ &= ~leaving;
          broken_ |= leaving;
          InnermostLoop().broken |= leaving;
          break;
        }
        case IlOp::kEndLoop: {
          Frame& f = frames_.back();
          if (exec_ != 0) {
            if (++f.turns > kMaxLoopTurns) {
              error = "line " + std::to_string(in.line) + ": a loop did not end";
              return false;
            }
            next = static_cast<size_t>(in.target) + 1;
          } else {
            broken_ &= ~f.broken;
            exec_ = f.saved & ~retired_ & ~broken_;
            frames_.pop_back();
          }
          break;
        }
        case IlOp::kDiscardLogical: {
          uint64_t leaving = Condition(in.source[0]);
          discarded_ |= leaving;
          retired_ |= leaving;
          exec_ &= ~leaving;
          break;
        }
        case IlOp::kRetDyn:
          retired_ |= exec_;
          exec_ = 0;
          break;
        case IlOp::kEnd: next = code.size(); break;
        default:
          if (exec_ != 0) Execute(in);
          break;
      }
      pc = next;
    }
    discarded = discarded_;
    return true;
  }

  uint32_t* Row(uint16_t row, int component) { return &file_[(size_t{row} * 4 + component) * kLanes]; }

 private:
  struct Frame {
    uint64_t saved;   // lanes active when the if or loop began
    uint64_t taken;   // if: lanes that took the first branch
    uint64_t broken;  // loop: lanes that left it
    uint64_t turns;
    bool loop;
  };

  // The compiler pairs every break_logical with an enclosing loop.
  Frame& InnermostLoop() {
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
      if (it->loop) return *it;
    return frames_.back();
  }

  // The lanes of the active set whose first source component is non-zero.
  uint64_t Condition(const IlSource& s) {
    const uint32_t* v = Source(s, 0, 0);
    uint64_t lanes = 0;
    for (int l = 0; l < kLanes; ++l) lanes |= uint64_t{v[l] != 0} << l;
    return lanes & exec_;
  }

  // The 64 words of source component c (after swizzle and modifiers).
  const uint32_t* Source(const IlSource& s, int slot, int c) {
    const uint32_t* base = Row(s.row, s.swizzle[c]);
    if (!s.negate && !s.absolute) return base;
    uint32_t* out = scratch_[slot][c];
    uint32_t clear = s.absolute ? 0x7FFFFFFFu : 0xFFFFFFFFu;
    uint32_t flip = s.negate ? 0x80000000u : 0u;
    for (int l = 0; l < kLanes; ++l) out[l] = (base[l] & clear) ^ flip;
    return out;
  }

  template <typename Fn>
  static void Map(uint32_t* out, const uint32_t* a, const uint32_t* b, const uint32_t* c, Fn fn) {
    for (int l = 0; l < kLanes; ++l) out[l] = fn(a[l], b[l], c[l]);
  }

  void Component(const IlInstruction& in, int c, uint32_t* out) {
    const uint32_t* a = in.sourceCount > 0 ? Source(in.source[0], 0, c) : nullptr;
    const uint32_t* b = in.sourceCount > 1 ? Source(in.source[1], 1, c) : a;
    const uint32_t* d = in.sourceCount > 2 ? Source(in.source[2], 2, c) : a;
    using U = uint32_t;
    switch (in.op) {
      case IlOp::kAdd: Map(out, a, b, d, [](U x, U y, U) { return W(F(x) + F(y)); }); break;
      case IlOp::kMov: std::memcpy(out, a, sizeof(Lane)); break;
      case IlOp::kMul: Map(out, a, b, d, [](U x, U y, U) { return W(F(x) * F(y)); }); break;
      case IlOp::kMad: Map(out, a, b, d, [](U x, U y, U z) { return W(F(x) * F(y) + F(z)); }); break;
      case IlOp::kTrc: Map(out, a, b, d, [](U x, U, U) { return W(std::trunc(F(x))); }); break;
      case IlOp::kFlr: Map(out, a, b, d, [](U x, U, U) { return W(std::floor(F(x))); }); break;
      case IlOp::kFrc: Map(out, a, b, d, [](U x, U, U) { return W(F(x) - std::floor(F(x))); }); break;
      case IlOp::kAbs: Map(out, a, b, d, [](U x, U, U) { return x & 0x7FFFFFFFu; }); break;
      case IlOp::kMin: Map(out, a, b, d, [](U x, U y, U) { return W(std::fmin(F(x), F(y))); }); break;
      case IlOp::kMax: Map(out, a, b, d, [](U x, U y, U) { return W(std::fmax(F(x), F(y))); }); break;
      case IlOp::kLt: Map(out, a, b, d, [](U x, U y, U) { return True(F(x) < F(y)); }); break;
      case IlOp::kGe: Map(out, a, b, d, [](U x, U y, U) { return True(F(x) >= F(y)); }); break;
      case IlOp::kEq: Map(out, a, b, d, [](U x, U y, U) { return True(F(x) == F(y)); }); break;
      case IlOp::kNe: Map(out, a, b, d, [](U x, U y, U) { return True(F(x) != F(y)); }); break;
      case IlOp::kIadd: Map(out, a, b, d, [](U x, U y, U) { return x + y; }); break;
      case IlOp::kImad: Map(out, a, b, d, [](U x, U y, U z) { return x * y + z; }); break;
      case IlOp::kUmul: Map(out, a, b, d, [](U x, U y, U) { return x * y; }); break;
      case IlOp::kUmulHigh:
        Map(out, a, b, d, [](U x, U y, U) { return static_cast<U>((uint64_t{x} * y) >> 32); });
        break;
      case IlOp::kIshl: Map(out, a, b, d, [](U x, U y, U) { return x << (y & 31); }); break;
      case IlOp::kIshr: Map(out, a, b, d, [](U x, U y, U) { return static_cast<U>(I(x) >> (y & 31)); }); break;
      case IlOp::kUshr: Map(out, a, b, d, [](U x, U y, U) { return x >> (y & 31); }); break;
      case IlOp::kAnd: Map(out, a, b, d, [](U x, U y, U) { return x & y; }); break;
      case IlOp::kIor: Map(out, a, b, d, [](U x, U y, U) { return x | y; }); break;
      case IlOp::kXor: Map(out, a, b, d, [](U x, U y, U) { return x ^ y; }); break;
      case IlOp::kIlt: Map(out, a, b, d, [](U x, U y, U) { return True(I(x) < I(y)); }); break;
      case IlOp::kIge: Map(out, a, b, d, [](U x, U y, U) { return True(I(x) >= I(y)); }); break;
      case IlOp::kIeq: Map(out, a, b, d, [](U x, U y, U) { return True(x == y); }); break;
      case IlOp::kIne: Map(out, a, b, d, [](U x, U y, U) { return True(x != y); }); break;
      case IlOp::kImin: Map(out, a, b, d, [](U x, U y, U) { return static_cast<U>(std::min(I(x), I(y))); }); break;
      case IlOp::kImax: Map(out, a, b, d, [](U x, U y, U) { return static_cast<U>(std::max(I(x), I(y))); }); break;
      case IlOp::kItof: Map(out, a, b, d, [](U x, U, U) { return W(static_cast<float>(I(x))); }); break;
      case IlOp::kFtoi: Map(out, a, b, d, [](U x, U, U) { return static_cast<U>(FloatToInt(F(x))); }); break;
      case IlOp::kUtof: Map(out, a, b, d, [](U x, U, U) { return W(static_cast<float>(x)); }); break;
      case IlOp::kFtou: Map(out, a, b, d, [](U x, U, U) { return FloatToUint(F(x)); }); break;
      case IlOp::kCmovLogical: Map(out, a, b, d, [](U x, U y, U z) { return x != 0 ? y : z; }); break;
      default: break;
    }
  }

  void Execute(const IlInstruction& in) {
    if (in.dest.kind == IlDestKind::kGlobal) {
      StoreGlobal(in);
      return;
    }
    if (in.op == IlOp::kDp4) {
      // Accumulated at double precision, rounded to float once.
      const uint32_t* a[4];
      const uint32_t* b[4];
      for (int c = 0; c < 4; ++c) {
        a[c] = Source(in.source[0], 0, c);
        b[c] = Source(in.source[1], 1, c);
      }
      for (int l = 0; l < kLanes; ++l) {
        double sum = 0;
        for (int c = 0; c < 4; ++c) sum += static_cast<double>(F(a[c][l])) * F(b[c][l]);
        result_[0][l] = W(static_cast<float>(sum));
      }
      for (int c = 1; c < 4; ++c) std::memcpy(result_[c], result_[0], sizeof(Lane));
    } else if (in.op == IlOp::kSample) {
      Sample(in);
    } else {
      for (int c = 0; c < 4; ++c)
        if (in.dest.mask & (1u << c)) Component(in, c, result_[c]);
    }
    for (int c = 0; c < 4; ++c) {
      if (!(in.dest.mask & (1u << c))) continue;
      uint32_t* dst = Row(in.dest.row, c);
      if (exec_ == kAllLanes) {
        std::memcpy(dst, result_[c], sizeof(Lane));
      } else {
        for (int l = 0; l < kLanes; ++l)
          if (exec_ >> l & 1) dst[l] = result_[c][l];
      }
    }
  }

  void Sample(const IlInstruction& in) {
    const Surface& t = bindings_.inputs[in.resource];
    bool fetch4 = bindings_.fetch4[in.sampler];
    const uint32_t* xs = Source(in.source[0], 0, 0);
    const uint32_t* ys = Source(in.source[0], 1, 1);
    if (t.format->kind == ChannelKind::kUnorm8 && t.format->channels == 1) {
      // The common case, 8-bit pictures, without a call per texel.
      const uint8_t* base = t.data;
      const size_t pitch = t.pitch;
      for (int l = 0; l < kLanes; ++l) {
        if (!(exec_ >> l & 1)) continue;
        int64_t u = TruncatedIndex(F(xs[l])), v = TruncatedIndex(F(ys[l]));
        uint32_t u0 = Clamp(u, t.width), v0 = Clamp(v, t.height);
        if (fetch4) {
          uint32_t u1 = Clamp(u + 1, t.width), v1 = Clamp(v + 1, t.height);
          const uint8_t* row0 = base + v0 * pitch;
          const uint8_t* row1 = base + v1 * pitch;
          result_[0][l] = kUnorm8.words[row0[u1]];
          result_[1][l] = kUnorm8.words[row1[u0]];
          result_[2][l] = kUnorm8.words[row1[u1]];
          result_[3][l] = kUnorm8.words[row0[u0]];
        } else {
          uint32_t w = kUnorm8.words[base[v0 * pitch + u0]];
          result_[0][l] = result_[1][l] = result_[2][l] = result_[3][l] = w;
        }
      }
      return;
    }
    for (int l = 0; l < kLanes; ++l) {
      if (!(exec_ >> l & 1)) continue;
      uint32_t four[4];
      FetchTexel(t, fetch4, F(xs[l]), F(ys[l]), four);
      for (int c = 0; c < 4; ++c) result_[c][l] = four[c];
    }
  }

  // g[address + offset] = the source's four words, one 16-byte unit; a unit outside the
  // plane is not written.
  void StoreGlobal(const IlInstruction& in) {
    const Surface& g = bindings_.global;
    const uint32_t* address = Row(in.dest.addressRow, in.dest.addressComponent);
    const uint32_t* v[4];
    for (int c = 0; c < 4; ++c) v[c] = Source(in.source[0], 0, c);
    size_t units = g.Bytes() / 16;
    for (int l = 0; l < kLanes; ++l) {
      if (!(exec_ >> l & 1)) continue;
      int64_t unit = int64_t{I(address[l])} + in.dest.offset;
      if (unit < 0 || static_cast<uint64_t>(unit) >= units) continue;
      uint32_t words[4] = {v[0][l], v[1][l], v[2][l], v[3][l]};
      std::memcpy(g.data + static_cast<size_t>(unit) * 16, words, 16);
    }
  }

  const IlProgram& program_;
  const RunBindings& bindings_;
  std::vector<uint32_t> file_;
  uint64_t exec_ = 0, retired_ = 0, discarded_ = 0, broken_ = 0;
  std::vector<Frame> frames_;
  Lane result_[4];
  Lane scratch_[3][4];
};

}  // namespace

void FetchTexel(const Surface& t, bool fetch4, float x, float y, uint32_t out[4]) {
  int64_t u = TruncatedIndex(x);
  int64_t v = TruncatedIndex(y);
  if (fetch4 && t.format->channels == 1) {
    out[0] = FirstChannel(t, Clamp(u + 1, t.width), Clamp(v, t.height));
    out[1] = FirstChannel(t, Clamp(u, t.width), Clamp(v + 1, t.height));
    out[2] = FirstChannel(t, Clamp(u + 1, t.width), Clamp(v + 1, t.height));
    out[3] = FirstChannel(t, Clamp(u, t.width), Clamp(v, t.height));
    return;
  }
  const uint8_t* p = TexelAt(t, Clamp(u, t.width), Clamp(v, t.height));
  if (t.format->kind == ChannelKind::kUnorm8 && t.format->channels == 1) {
    out[0] = out[1] = out[2] = out[3] = kUnorm8.words[*p];
    return;
  }
  ReadTexel(*t.format, p, out);
}

bool RunIlProgram(const IlProgram& program, const RunBindings& given, const RunShape& shape, std::string& error) {
  // Outputs and the global plane that share memory with an input are written to copies and
  // committed after the run, so every element reads the plane as it was before the run.
  RunBindings bindings = given;
  std::vector<std::vector<uint8_t>> staged;
  std::vector<Surface*> stagedTargets;
  auto overlapsInput = [&](const Surface& s) {
    for (uint32_t n = 0; n < 8; ++n) {
      const Surface& in = given.inputs[n];
      if (!(program.inputMask & (1u << n)) || in.data == nullptr) continue;
      if (s.data < in.data + in.Bytes() && in.data < s.data + s.Bytes()) return true;
    }
    return false;
  };
  auto stage = [&](Surface& s) {
    if (s.data == nullptr || !overlapsInput(s)) return;
    staged.emplace_back(s.data, s.data + s.Bytes());
    stagedTargets.push_back(&s);
  };
  for (uint32_t n = 0; n < 4; ++n)
    if (program.outputMask & (1u << n)) stage(bindings.outputs[n]);
  if (program.usesGlobal) stage(bindings.global);
  std::vector<uint8_t*> originals;
  for (size_t i = 0; i < staged.size(); ++i) {
    originals.push_back(stagedTargets[i]->data);
    stagedTargets[i]->data = staged[i].data();
  }

  Wavefront wave(program, bindings);
  bool ok = true;
  if (program.shader == IlShader::kCompute) {
    for (uint64_t first = 0; ok && first < shape.threads; first += kLanes) {
      uint64_t count = std::min<uint64_t>(kLanes, shape.threads - first);
      uint64_t live = count == kLanes ? kAllLanes : (uint64_t{1} << count) - 1;
      if (program.usesThreadId) {
        uint32_t* id = wave.Row(program.threadIdRow, 0);
        for (int l = 0; l < kLanes; ++l) id[l] = static_cast<uint32_t>(first + l);
      }
      uint64_t discarded = 0;
      ok = wave.Run(live, discarded, error);
    }
  } else {
    uint64_t total = uint64_t{shape.width} * shape.height;
    uint32_t column[kLanes], row[kLanes];
    uint32_t nextColumn = 0, nextRow = 0;  // of the domain, for the wavefront's first element
    for (uint64_t first = 0; ok && first < total; first += kLanes) {
      uint64_t count = std::min<uint64_t>(kLanes, total - first);
      uint64_t live = count == kLanes ? kAllLanes : (uint64_t{1} << count) - 1;
      for (int l = 0; l < kLanes; ++l) {
        column[l] = shape.x + nextColumn;
        row[l] = shape.y + nextRow;
        if (static_cast<uint64_t>(l) + 1 < count && ++nextColumn == shape.width) nextColumn = 0, ++nextRow;
      }
      if (++nextColumn == shape.width) nextColumn = 0, ++nextRow;
      if (program.usesPosition) {
        uint32_t* px = wave.Row(program.positionRow, 0);
        uint32_t* py = wave.Row(program.positionRow, 1);
        for (int l = 0; l < kLanes; ++l) {
          px[l] = W(static_cast<float>(column[l]) + 0.5f);
          py[l] = W(static_cast<float>(row[l]) + 0.5f);
        }
      }
      uint64_t discarded = 0;
      ok = wave.Run(live, discarded, error);
      uint64_t writing = live & ~discarded;
      for (uint32_t n = 0; ok && n < 4; ++n) {
        if (!(program.outputMask & (1u << n))) continue;
        const Surface& out = bindings.outputs[n];
        const uint32_t* v[4];
        for (int c = 0; c < 4; ++c) v[c] = wave.Row(program.outputRows[n], c);
        uint32_t bytes = out.format->ElementBytes();
        bool unorm8 = out.format->kind == ChannelKind::kUnorm8 && out.format->channels == 1;
        for (int l = 0; l < kLanes; ++l) {
          if (!(writing >> l & 1) || column[l] >= out.width || row[l] >= out.height) continue;
          uint8_t* texel = out.data + (size_t{row[l]} * out.pitch + column[l]) * bytes;
          if (unorm8) {
            *texel = static_cast<uint8_t>(NormalisedStore(F(v[0][l]), 255.0, 0, 255));
          } else {
            uint32_t words[4] = {v[0][l], v[1][l], v[2][l], v[3][l]};
            WriteTexel(*out.format, texel, words);
          }
        }
      }
    }
  }
  for (size_t i = 0; i < staged.size(); ++i) std::memcpy(originals[i], staged[i].data(), staged[i].size());
  return ok;
}

}  // namespace orx::gcxsoft
