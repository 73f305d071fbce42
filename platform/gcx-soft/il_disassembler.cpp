#include "platform/gcx-soft/il_disassembler.h"

#include <cstdio>
#include <map>
#include <string>

namespace orx::gcxsoft {
namespace {

constexpr const char* kOpNames[] = {
    "ADD", "MOV", "MUL", "MAD", "DP4", "TRUNC", "FLOOR", "FRACT", "ABS", "MIN", "MAX", "SETGT_LT", "SETGE", "SETE",
    "SETNE", "ADD_INT", "MULADD_INT", "MULLO_UINT", "MULHI_UINT", "LSHL_INT", "ASHR_INT", "LSHR_INT", "AND_INT",
    "OR_INT", "XOR_INT", "SETGT_INT", "SETGE_INT", "SETE_INT", "SETNE_INT", "MIN_INT", "MAX_INT", "INT_TO_FLT",
    "FLT_TO_INT", "UINT_TO_FLT", "FLT_TO_UINT", "CNDE_INT", "SAMPLE", "LOOP_START", "BREAK_LOGICAL", "LOOP_END",
    "IF_LOGICAL", "ELSE", "ENDIF", "KILL", "RETURN", "END"};
static_assert(sizeof(kOpNames) / sizeof(kOpNames[0]) == static_cast<size_t>(IlOp::kEnd) + 1);

constexpr char kLetters[] = "xyzw";

class Printer {
 public:
  explicit Printer(const IlProgram& p) : p_(p) {
    for (size_t i = 0; i < p.literals.size(); ++i) literal_[p.literals[i].row] = static_cast<int>(i) + 1;
    for (size_t k = 0; k < p.constantRows.size(); ++k) constant_[p.constantRows[k]] = static_cast<int>(k) + 1;
  }

  // A register row's name: R<n> for temporaries, KC0[k] for constants, L<i> for literals.
  std::string Row(uint16_t row) const {
    if (row < p_.tempNumbers.size() && p_.tempNumbers[row] != 0xFFFFFFFFu) return "R" + std::to_string(p_.tempNumbers[row]);
    if (auto it = constant_.find(row); it != constant_.end()) return "KC0[" + std::to_string(it->second - 1) + "]";
    if (auto it = literal_.find(row); it != literal_.end()) return "L" + std::to_string(it->second - 1);
    for (int n = 0; n < 4; ++n)
      if ((p_.outputMask & (1u << n)) && p_.outputRows[n] == row) return "O" + std::to_string(n);
    if (p_.usesPosition && row == p_.positionRow) return "POS";
    return "TID";
  }

  std::string Source(const IlSource& s) const {
    std::string text = (s.negate ? "-" : "") + Row(s.row) + ".";
    for (int c = 0; c < 4; ++c) text += kLetters[s.swizzle[c]];
    return s.absolute ? "|" + text + "|" : text;
  }

  std::string Dest(const IlDest& d) const {
    if (d.kind == IlDestKind::kGlobal)
      return "MEM[" + Row(d.addressRow) + "." + kLetters[d.addressComponent] + "+" + std::to_string(d.offset) + "]";
    std::string text = Row(d.row) + ".";
    for (int c = 0; c < 4; ++c) text += (d.mask & (1u << c)) ? kLetters[c] : '_';
    return text;
  }

 private:
  const IlProgram& p_;
  std::map<uint16_t, int> literal_;
  std::map<uint16_t, int> constant_;
};

}  // namespace

void DisassembleIl(const IlProgram& program, gcx::GcxLineCallback callback) {
  Printer printer(program);
  callback(program.shader == IlShader::kPixel ? "; pixel program" : "; compute program");
  char line[512];
  int index = 0;
  for (const IlInstruction& in : program.code) {
    const char* name = kOpNames[static_cast<int>(in.op)];
    std::string operands;
    if (in.dest.kind != IlDestKind::kNone) operands = printer.Dest(in.dest);
    for (int s = 0; s < in.sourceCount; ++s) operands += (operands.empty() ? "" : ", ") + printer.Source(in.source[s]);
    if (in.op == IlOp::kSample) {
      std::snprintf(line, sizeof(line), "%4d SAMPLE %s RESOURCE(%d) SAMPLER(%d)", index, operands.c_str(), in.resource,
                    in.sampler);
    } else if (in.op >= IlOp::kWhileLoop) {
      std::snprintf(line, sizeof(line), "%4d CF: %s %s", index, name, operands.c_str());
    } else {
      std::snprintf(line, sizeof(line), "%4d x: %s %s", index, name, operands.c_str());
    }
    callback(line);
    ++index;
  }
}

}  // namespace orx::gcxsoft
