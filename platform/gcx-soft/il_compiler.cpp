// The IL compiler: one statement per line, comments from ";" to the line's end. Declarations
// and instructions may interleave; every register, literal, constant, resource and output is
// checked where it is used, so a program that compiles never reads outside its register file.
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "platform/gcx-soft/il_program.h"

// GCC 12 takes the value of an engaged std::optional<uint32_t> for maybe uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace orx::gcxsoft {
namespace {

constexpr uint32_t kMaxTemps = 128;
constexpr uint32_t kMaxConstants = 4096;
constexpr uint32_t kMaxLiteralNumber = 4096;
constexpr uint32_t kMaxThreadsPerGroup = 1024;

struct OpcodeInfo {
  std::string_view name;
  IlOp op;
  int sources;
  bool dest;
};

constexpr OpcodeInfo kOpcodes[] = {
    {"add", IlOp::kAdd, 2, true},          {"mov", IlOp::kMov, 1, true},
    {"mul", IlOp::kMul, 2, true},          {"mad", IlOp::kMad, 3, true},
    {"dp4", IlOp::kDp4, 2, true},          {"trc", IlOp::kTrc, 1, true},
    {"flr", IlOp::kFlr, 1, true},          {"frc", IlOp::kFrc, 1, true},
    {"abs", IlOp::kAbs, 1, true},          {"min", IlOp::kMin, 2, true},
    {"max", IlOp::kMax, 2, true},          {"lt", IlOp::kLt, 2, true},
    {"ge", IlOp::kGe, 2, true},            {"eq", IlOp::kEq, 2, true},
    {"ne", IlOp::kNe, 2, true},            {"iadd", IlOp::kIadd, 2, true},
    {"imad", IlOp::kImad, 3, true},        {"umul", IlOp::kUmul, 2, true},
    {"umul_high", IlOp::kUmulHigh, 2, true}, {"ishl", IlOp::kIshl, 2, true},
    {"ishr", IlOp::kIshr, 2, true},        {"ushr", IlOp::kUshr, 2, true},
    {"and", IlOp::kAnd, 2, true},          {"ior", IlOp::kIor, 2, true},
    {"xor", IlOp::kXor, 2, true},          {"ilt", IlOp::kIlt, 2, true},
    {"ige", IlOp::kIge, 2, true},          {"ieq", IlOp::kIeq, 2, true},
    {"ine", IlOp::kIne, 2, true},          {"imin", IlOp::kImin, 2, true},
    {"imax", IlOp::kImax, 2, true},        {"itof", IlOp::kItof, 1, true},
    {"ftoi", IlOp::kFtoi, 1, true},        {"utof", IlOp::kUtof, 1, true},
    {"ftou", IlOp::kFtou, 1, true},        {"cmov_logical", IlOp::kCmovLogical, 3, true},
    {"whileloop", IlOp::kWhileLoop, 0, false}, {"break_logical", IlOp::kBreakLogical, 1, false},
    {"endloop", IlOp::kEndLoop, 0, false}, {"if_logical", IlOp::kIfLogical, 1, false},
    {"else", IlOp::kElse, 0, false},       {"endif", IlOp::kEndIf, 0, false},
    {"discard_logical", IlOp::kDiscardLogical, 1, false}, {"ret_dyn", IlOp::kRetDyn, 0, false},
    {"end", IlOp::kEnd, 0, false},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A whole decimal number of at most 9 digits.
std::optional<uint32_t> Number(std::string_view s) {
  if (s.empty() || s.size() > 9) return std::nullopt;
  uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  return v;
}

// "rN", "lN", "oN": the number after the prefix.
std::optional<uint32_t> Numbered(std::string_view s, std::string_view prefix) {
  if (s.size() <= prefix.size() || s.substr(0, prefix.size()) != prefix) return std::nullopt;
  return Number(s.substr(prefix.size()));
}

int Component(char c) {
  switch (c) {
    case 'x': return 0;
    case 'y': return 1;
    case 'z': return 2;
    case 'w': return 3;
    default: return -1;
  }
}

// A literal component keeps its raw 32-bit pattern: "0x..." and decimal integers as integers,
// "....f" as a single-precision float.
std::optional<uint32_t> LiteralWord(std::string_view text) {
  if (text.empty() || text.size() > 64) return std::nullopt;
  std::string s(text);
  char* end = nullptr;
  errno = 0;
  bool hex = s.find("0x") != std::string::npos || s.find("0X") != std::string::npos;
  if (!hex && s.back() == 'f') {
    s.pop_back();
    if (s.empty()) return std::nullopt;
    float f = std::strtof(s.c_str(), &end);
    if (*end != '\0' || errno == ERANGE) return std::nullopt;
    return std::bit_cast<uint32_t>(f);
  }
  bool negative = s[0] == '-';
  const char* digits = s.c_str() + (negative ? 1 : 0);
  if (*digits == '\0' || *digits == '+' || *digits == '-' || *digits == ' ') return std::nullopt;
  unsigned long long v = std::strtoull(digits, &end, 0);
  if (*end != '\0' || errno == ERANGE) return std::nullopt;
  if (negative ? v > 0x80000000ull : v > 0xFFFFFFFFull) return std::nullopt;
  uint32_t word = static_cast<uint32_t>(v);
  return negative ? 0u - word : word;
}

class Compiler {
 public:
  std::shared_ptr<const IlProgram> Run(const std::string& text, std::string& error) {
    program_ = std::make_shared<IlProgram>();
    size_t start = 0;
    int line = 0;
    while (start <= text.size()) {
      size_t stop = text.find('\n', start);
      if (stop == std::string::npos) stop = text.size();
      ++line;
      std::string_view statement(text.data() + start, stop - start);
      if (size_t comment = statement.find(';'); comment != std::string_view::npos)
        statement = statement.substr(0, comment);
      statement = Trim(statement);
      if (!statement.empty() && !Statement(statement, line)) {
        error = "line " + std::to_string(line) + ": " + reason_;
        return nullptr;
      }
      start = stop + 1;
    }
    if (!Finish(line)) {
      error = "line " + std::to_string(failLine_) + ": " + reason_;
      return nullptr;
    }
    return program_;
  }

 private:
  bool Fail(std::string reason) {
    reason_ = std::move(reason);
    return false;
  }

  uint16_t NewRow() { return program_->rowCount++; }

  bool Statement(std::string_view statement, int line) {
    size_t space = statement.find_first_of(" \t");
    std::string_view opcode = statement.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? std::string_view() : Trim(statement.substr(space));
    if (!headerSeen_) {
      if (opcode == "il_ps_2_0") program_->shader = IlShader::kPixel;
      else if (opcode == "il_cs_2_0") program_->shader = IlShader::kCompute;
      else return Fail("the program must begin with il_ps_2_0 or il_cs_2_0, not \"" + std::string(opcode) + "\"");
      headerSeen_ = true;
      return rest.empty() ? true : Fail("unexpected text after the header");
    }
    if (ended_) return Fail("text after end");
    std::vector<std::string_view> operands;
    while (!rest.empty()) {
      size_t comma = rest.find(',');
      operands.push_back(Trim(rest.substr(0, comma)));
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
      if (Trim(rest).empty()) return Fail("missing operand after ','");
    }
    for (std::string_view o : operands)
      if (o.empty()) return Fail("empty operand");
    if (opcode.substr(0, 4) == "dcl_") return Declaration(opcode, operands);
    return Instruction(opcode, operands, line);
  }

  bool Declaration(std::string_view opcode, const std::vector<std::string_view>& operands) {
    IlProgram& p = *program_;
    if (opcode == "dcl_input_position_interp(linear_noperspective)") {
      if (p.shader != IlShader::kPixel) return Fail("a compute program has no position input");
      if (operands.size() != 1 || operands[0].substr(0, 2) != "v0") return Fail("the position input must be v0");
      if (!p.usesPosition) p.positionRow = NewRow();
      p.usesPosition = true;
      return true;
    }
    if (opcode == "dcl_output_generic") {
      std::optional<uint32_t> n = operands.size() == 1 ? Numbered(operands[0], "o") : std::nullopt;
      if (!n || *n > 3) return Fail("dcl_output_generic needs one of o0 .. o3");
      if (p.outputMask & (1u << *n)) return Fail("o" + std::to_string(*n) + " declared twice");
      p.outputMask |= 1u << *n;
      p.outputRows[*n] = NewRow();
      p.clearedRows.push_back(p.outputRows[*n]);
      return true;
    }
    if (opcode == "dcl_cb") {
      std::string_view o = operands.size() == 1 ? operands[0] : std::string_view();
      std::optional<uint32_t> n;
      if (o.substr(0, 4) == "cb0[" && o.back() == ']') n = Number(o.substr(4, o.size() - 5));
      if (!n || *n == 0 || *n > kMaxConstants) return Fail("dcl_cb needs cb0[n] with n from 1 to 4096");
      if (p.constantCount != 0) return Fail("cb0 declared twice");
      p.constantCount = *n;
      for (uint32_t k = 0; k < *n; ++k) p.constantRows.push_back(NewRow());
      return true;
    }
    if (opcode == "dcl_num_thread_per_group") {
      std::optional<uint32_t> n = operands.size() == 1 ? Number(operands[0]) : std::nullopt;
      if (p.shader != IlShader::kCompute) return Fail("a pixel program has no thread groups");
      if (!n || *n == 0 || *n > kMaxThreadsPerGroup) return Fail("dcl_num_thread_per_group needs 1 .. 1024");
      p.threadsPerGroup = *n;
      return true;
    }
    if (opcode == "dcl_literal") {
      std::optional<uint32_t> n = !operands.empty() ? Numbered(operands[0], "l") : std::nullopt;
      if (!n || *n >= kMaxLiteralNumber || operands.size() != 5) return Fail("dcl_literal needs lN and four values");
      if (literalRows_.count(*n)) return Fail("l" + std::to_string(*n) + " declared twice");
      IlProgram::Literal literal{NewRow(), {0, 0, 0, 0}};
      for (int c = 0; c < 4; ++c) {
        std::optional<uint32_t> word = LiteralWord(operands[c + 1]);
        if (!word) return Fail("bad literal value \"" + std::string(operands[c + 1]) + "\"");
        literal.words[c] = *word;
      }
      literalRows_[*n] = literal.row;
      p.literals.push_back(literal);
      return true;
    }
    if (opcode.substr(0, 16) == "dcl_resource_id(") return ResourceDeclaration(opcode, operands);
    return Fail("unknown declaration \"" + std::string(opcode) + "\"");
  }

  bool ResourceDeclaration(std::string_view opcode, const std::vector<std::string_view>& operands) {
    if (!operands.empty()) return Fail("dcl_resource_id takes no operands");
    std::string_view rest = opcode.substr(16);
    size_t close = rest.find(')');
    std::optional<uint32_t> n = close == std::string_view::npos ? std::nullopt : Number(rest.substr(0, close));
    if (!n || *n > 7) return Fail("dcl_resource_id needs a resource id from 0 to 7");
    rest = rest.substr(close + 1);
    if (rest.substr(0, 16) == "_type(2d,unnorm)") rest = rest.substr(16);
    else return Fail("only _type(2d,unnorm) resources are supported");
    for (char axis : {'x', 'y', 'z', 'w'}) {
      std::string prefix = std::string("_fmt") + axis + "(";
      if (rest.substr(0, prefix.size()) != prefix) return Fail("missing _fmt" + std::string(1, axis) + "(...)");
      rest = rest.substr(prefix.size());
      size_t end = rest.find(')');
      std::string_view kind = rest.substr(0, end);
      if (kind != "uint" && kind != "sint" && kind != "float" && kind != "unorm" && kind != "snorm")
        return Fail("unknown element type \"" + std::string(kind) + "\"");
      rest = rest.substr(end + 1);
    }
    if (!rest.empty()) return Fail("unexpected \"" + std::string(rest) + "\" in dcl_resource_id");
    if (program_->inputMask & (1u << *n)) return Fail("resource " + std::to_string(*n) + " declared twice");
    program_->inputMask |= 1u << *n;
    return true;
  }

  // Reads ".xyzw"-style letters into a swizzle; a shorter one repeats its last letter.
  bool Swizzle(std::string_view letters, uint8_t out[4]) {
    if (letters.empty() || letters.size() > 4) return Fail("bad swizzle \"." + std::string(letters) + "\"");
    for (size_t i = 0; i < 4; ++i) {
      int c = Component(letters[i < letters.size() ? i : letters.size() - 1]);
      if (c < 0) return Fail("bad swizzle \"." + std::string(letters) + "\"");
      out[i] = static_cast<uint8_t>(c);
    }
    return true;
  }

  // ".xy__" (positional) or ".xy" (the components named).
  bool Mask(std::string_view letters, uint8_t& mask) {
    mask = 0;
    if (letters.empty() || letters.size() > 4) return Fail("bad write mask \"." + std::string(letters) + "\"");
    bool positional = letters.find('_') != std::string_view::npos;
    for (size_t i = 0; i < letters.size(); ++i) {
      if (letters[i] == '_') continue;
      int c = Component(letters[i]);
      if (c < 0 || (positional && c != static_cast<int>(i))) return Fail("bad write mask \"." + std::string(letters) + "\"");
      mask |= static_cast<uint8_t>(1u << c);
    }
    return mask != 0 ? true : Fail("a write mask must name a component");
  }

  std::optional<uint16_t> TempRow(uint32_t number) {
    if (number >= kMaxTemps) {
      Fail("register r" + std::to_string(number) + " out of range (r0 .. r127)");
      return std::nullopt;
    }
    auto it = tempRows_.find(number);
    if (it != tempRows_.end()) return it->second;
    uint16_t row = NewRow();
    tempRows_[number] = row;
    program_->clearedRows.push_back(row);
    return row;
  }

  bool Source(std::string_view text, IlSource& source) {
    IlProgram& p = *program_;
    if (!text.empty() && text[0] == '-') {
      source.negate = true;
      text = Trim(text.substr(1));
    }
    std::string_view base = text;
    std::string_view swizzle;
    if (size_t dot = text.rfind('.'); dot != std::string_view::npos && text.find(']', dot) == std::string_view::npos) {
      base = text.substr(0, dot);
      swizzle = text.substr(dot + 1);
    }
    for (std::string_view* part : {&base, &swizzle}) {
      if (part->size() >= 4 && part->substr(part->size() - 4) == "_abs") {
        source.absolute = true;
        part->remove_suffix(4);
      }
    }
    if (!swizzle.empty() && !Swizzle(swizzle, source.swizzle)) return false;
    if (auto n = Numbered(base, "r")) {
      auto row = TempRow(*n);
      if (!row) return false;
      source.row = *row;
      return true;
    }
    if (auto n = Numbered(base, "l")) {
      auto it = literalRows_.find(*n);
      if (it == literalRows_.end()) return Fail("literal l" + std::to_string(*n) + " is not declared");
      source.row = it->second;
      return true;
    }
    if (base.substr(0, 4) == "cb0[" && !base.empty() && base.back() == ']') {
      auto k = Number(base.substr(4, base.size() - 5));
      if (!k || *k >= p.constantCount)
        return Fail("constant " + std::string(base) + " is not declared");
      source.row = p.constantRows[*k];
      return true;
    }
    if (base == "v0") {
      if (!p.usesPosition) return Fail("v0 is not declared");
      source.row = p.positionRow;
      return true;
    }
    if (base == "vaTid") {
      if (p.shader != IlShader::kCompute) return Fail("vaTid exists only in a compute program");
      if (!p.usesThreadId) p.threadIdRow = NewRow();
      p.usesThreadId = true;
      source.row = p.threadIdRow;
      return true;
    }
    if (Numbered(base, "o")) return Fail("an output cannot be read");
    return Fail("unknown operand \"" + std::string(text) + "\"");
  }

  bool Dest(std::string_view text, IlDest& dest) {
    IlProgram& p = *program_;
    if (text.substr(0, 2) == "g[") {
      // g[rN.c+k]: the 16-byte unit of the global plane at register component plus offset.
      size_t close = text.find(']');
      if (close == std::string_view::npos || close + 1 != text.size()) return Fail("bad global address");
      std::string_view inner = text.substr(2, close - 2);
      int32_t offset = 0;
      if (size_t plus = inner.find('+'); plus != std::string_view::npos) {
        auto k = Number(Trim(inner.substr(plus + 1)));
        if (!k) return Fail("bad global offset");
        offset = static_cast<int32_t>(*k);
        inner = Trim(inner.substr(0, plus));
      }
      size_t dot = inner.find('.');
      auto n = dot == std::string_view::npos ? std::nullopt : Numbered(inner.substr(0, dot), "r");
      if (!n || dot + 2 != inner.size() || Component(inner[dot + 1]) < 0)
        return Fail("a global address must be rN.c+k");
      auto row = TempRow(*n);
      if (!row) return false;
      dest.kind = IlDestKind::kGlobal;
      dest.addressRow = *row;
      dest.addressComponent = static_cast<uint8_t>(Component(inner[dot + 1]));
      dest.offset = offset;
      p.usesGlobal = true;
      return true;
    }
    std::string_view base = text;
    dest.mask = 0xF;
    if (size_t dot = text.find('.'); dot != std::string_view::npos) {
      base = text.substr(0, dot);
      if (!Mask(text.substr(dot + 1), dest.mask)) return false;
    }
    dest.kind = IlDestKind::kRow;
    if (auto n = Numbered(base, "r")) {
      auto row = TempRow(*n);
      if (!row) return false;
      dest.row = *row;
      return true;
    }
    if (auto n = Numbered(base, "o")) {
      if (*n > 3 || !(p.outputMask & (1u << *n))) return Fail("output " + std::string(base) + " is not declared");
      dest.row = p.outputRows[*n];
      writtenOutputs_ |= 1u << *n;
      return true;
    }
    return Fail("\"" + std::string(text) + "\" cannot be written");
  }

  bool Instruction(std::string_view opcode, const std::vector<std::string_view>& operands, int line) {
    IlInstruction in{};
    in.line = line;
    const OpcodeInfo* info = nullptr;
    if (opcode.substr(0, 16) == "sample_resource(") {
      std::string_view rest = opcode.substr(16);
      size_t close = rest.find(')');
      auto n = close == std::string_view::npos ? std::nullopt : Number(rest.substr(0, close));
      std::string_view sampler = close == std::string_view::npos ? std::string_view() : rest.substr(close + 1);
      if (!n || *n > 7 || (sampler != "_sampler(0)" && sampler != "_sampler(1)"))
        return Fail("sample_resource(n)_sampler(0|1) expected, not \"" + std::string(opcode) + "\"");
      if (!(program_->inputMask & (1u << *n))) return Fail("resource " + std::to_string(*n) + " is not declared");
      static constexpr OpcodeInfo kSample{"sample", IlOp::kSample, 1, true};
      info = &kSample;
      in.resource = static_cast<uint8_t>(*n);
      in.sampler = static_cast<uint8_t>(sampler[9] - '0');
    } else {
      for (const OpcodeInfo& candidate : kOpcodes)
        if (candidate.name == opcode) info = &candidate;
      if (info == nullptr) return Fail("unknown opcode \"" + std::string(opcode) + "\"");
    }
    in.op = info->op;
    size_t expected = static_cast<size_t>(info->sources) + (info->dest ? 1 : 0);
    if (operands.size() != expected)
      return Fail(std::string(opcode) + " takes " + std::to_string(expected) + " operands");
    size_t next = 0;
    if (info->dest) {
      if (!Dest(operands[next++], in.dest)) return false;
      if (in.dest.kind == IlDestKind::kGlobal && in.op != IlOp::kMov) return Fail("only mov stores to g[]");
    }
    in.sourceCount = static_cast<uint8_t>(info->sources);
    for (int s = 0; s < info->sources; ++s)
      if (!Source(operands[next++], in.source[s])) return false;
    return Flow(in);
  }

  // Pairs the control-flow statements; a jump's target is filled when its closing statement
  // arrives.
  bool Flow(IlInstruction& in) {
    auto& code = program_->code;
    int32_t here = static_cast<int32_t>(code.size());
    switch (in.op) {
      case IlOp::kIfLogical:
      case IlOp::kWhileLoop: open_.push_back(here); break;
      case IlOp::kElse:
        if (open_.empty() || code[open_.back()].op != IlOp::kIfLogical || code[open_.back()].target >= 0)
          return Fail("else without if_logical");
        code[open_.back()].target = here;  // the if jumps here when no element takes it
        open_.back() = here;
        break;
      case IlOp::kEndIf:
        if (open_.empty() || (code[open_.back()].op != IlOp::kIfLogical && code[open_.back()].op != IlOp::kElse))
          return Fail("endif without if_logical");
        code[open_.back()].target = here;
        open_.pop_back();
        break;
      case IlOp::kBreakLogical: {
        int32_t loop = -1;
        for (auto it = open_.rbegin(); it != open_.rend(); ++it)
          if (code[*it].op == IlOp::kWhileLoop) {
            loop = *it;
            break;
          }
        if (loop < 0) return Fail("break_logical outside a loop");
        in.target = loop;
        break;
      }
      case IlOp::kEndLoop:
        if (open_.empty() || code[open_.back()].op != IlOp::kWhileLoop) return Fail("endloop without whileloop");
        in.target = open_.back();
        code[open_.back()].target = here;
        open_.pop_back();
        break;
      case IlOp::kEnd:
        if (!open_.empty()) return Fail("end inside an open if_logical or whileloop");
        ended_ = true;
        break;
      case IlOp::kDiscardLogical:
        if (program_->shader != IlShader::kPixel) return Fail("discard_logical exists only in a pixel program");
        break;
      default: break;
    }
    code.push_back(in);
    return true;
  }

  bool Finish(int lastLine) {
    failLine_ = lastLine;
    if (!headerSeen_) return Fail("empty program");
    if (!ended_) return Fail("the program has no end");
    IlProgram& p = *program_;
    for (uint32_t n = 0; n < 4; ++n)
      if ((p.outputMask & (1u << n)) && !(writtenOutputs_ & (1u << n)))
        return Fail("output o" + std::to_string(n) + " is never written");
    p.tempNumbers.assign(p.rowCount, 0xFFFFFFFFu);
    for (auto [number, row] : tempRows_) p.tempNumbers[row] = number;
    KeepOnlyRowsReadBeforeWritten();
    return true;
  }

  // A register or output starts every wavefront at zero only when some component of it may be
  // read (an output: stored) before the program has written it on every path; the others need
  // no clearing. Writes inside an if or a loop do not count, reads anywhere do.
  void KeepOnlyRowsReadBeforeWritten() {
    IlProgram& p = *program_;
    std::vector<uint8_t> written(p.rowCount, 0), needed(p.rowCount, 0);
    auto read = [&](uint16_t row, uint8_t components) { needed[row] |= components & ~written[row]; };
    auto readSource = [&](const IlSource& src, uint8_t lanes) {
      uint8_t components = 0;
      for (int c = 0; c < 4; ++c)
        if (lanes & (1u << c)) components |= static_cast<uint8_t>(1u << src.swizzle[c]);
      read(src.row, components);
    };
    int depth = 0;
    for (const IlInstruction& in : p.code) {
      uint8_t lanes = in.dest.kind == IlDestKind::kRow ? in.dest.mask : 0xF;
      if (in.op == IlOp::kDp4 || in.dest.kind == IlDestKind::kGlobal) lanes = 0xF;
      if (in.op == IlOp::kSample) lanes = 0x3;
      if (in.op == IlOp::kIfLogical || in.op == IlOp::kBreakLogical || in.op == IlOp::kDiscardLogical) lanes = 0x1;
      for (int s = 0; s < in.sourceCount; ++s) readSource(in.source[s], lanes);
      if (in.dest.kind == IlDestKind::kGlobal) read(in.dest.addressRow, static_cast<uint8_t>(1u << in.dest.addressComponent));
      if (in.op == IlOp::kIfLogical || in.op == IlOp::kWhileLoop) ++depth;
      if (in.op == IlOp::kEndIf || in.op == IlOp::kEndLoop) --depth;
      if (in.dest.kind == IlDestKind::kRow && depth == 0) written[in.dest.row] |= in.dest.mask;
    }
    for (int n = 0; n < 4; ++n)
      if (p.outputMask & (1u << n)) read(p.outputRows[n], 0xF);
    std::vector<uint16_t> kept;
    for (uint16_t row : p.clearedRows)
      if (needed[row]) kept.push_back(row);
    p.clearedRows = kept;
  }

  std::shared_ptr<IlProgram> program_;
  std::string reason_;
  int failLine_ = 0;
  bool headerSeen_ = false;
  bool ended_ = false;
  uint32_t writtenOutputs_ = 0;
  std::map<uint32_t, uint16_t> tempRows_;
  std::map<uint32_t, uint16_t> literalRows_;
  std::vector<int32_t> open_;
};

}  // namespace

std::shared_ptr<const IlProgram> CompileIl(const std::string& text, std::string& error) {
  return Compiler().Run(text, error);
}

}  // namespace orx::gcxsoft
