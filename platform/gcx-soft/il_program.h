#pragma once
// A compiled IL program: its declarations and a pre-decoded instruction array that the
// interpreter runs without looking at text again. Every operand names a row of one register
// file (temporaries, literals, constants, the position or thread id, outputs), four components
// of 32-bit words per row.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orx::gcxsoft {

enum class IlOp : uint8_t {
  // Float.
  kAdd, kMov, kMul, kMad, kDp4, kTrc, kFlr, kFrc, kAbs, kMin, kMax, kLt, kGe, kEq, kNe,
  // Integer.
  kIadd, kImad, kUmul, kUmulHigh, kIshl, kIshr, kUshr, kAnd, kIor, kXor, kIlt, kIge, kIeq, kIne, kImin, kImax,
  // Conversions and selection.
  kItof, kFtoi, kUtof, kFtou, kCmovLogical,
  // Texture fetch.
  kSample,
  // Control flow.
  kWhileLoop, kBreakLogical, kEndLoop, kIfLogical, kElse, kEndIf, kDiscardLogical, kRetDyn, kEnd,
};

enum class IlShader : uint8_t { kPixel, kCompute };

struct IlSource {
  uint16_t row = 0;
  uint8_t swizzle[4] = {0, 1, 2, 3};
  bool negate = false;
  bool absolute = false;
};

enum class IlDestKind : uint8_t { kNone, kRow, kGlobal };

struct IlDest {
  IlDestKind kind = IlDestKind::kNone;
  uint16_t row = 0;
  uint8_t mask = 0xF;  // bit c: component c is written
  // g[addressRow.addressComponent + offset], in 16-byte units of the global plane.
  uint16_t addressRow = 0;
  uint8_t addressComponent = 0;
  int32_t offset = 0;
};

struct IlInstruction {
  IlOp op;
  uint8_t sourceCount = 0;
  uint8_t resource = 0;  // sample: the resource id
  uint8_t sampler = 0;   // sample: 0 or 1
  int32_t target = -1;   // control flow: where a jump lands (see the interpreter)
  int32_t line = 0;      // the text line, for the disassembly
  IlDest dest;
  IlSource source[3];
};

// A symbol the program declares, as the runtime names it ("i0", "o1", "cb0", "g[]").
enum class IlSymbolKind : uint8_t { kInput, kOutput, kConstants, kGlobal };

struct IlProgram {
  IlShader shader = IlShader::kPixel;
  uint32_t threadsPerGroup = 64;
  uint32_t inputMask = 0;    // bit n: resource n declared
  uint32_t outputMask = 0;   // bit n: oN declared
  uint32_t constantCount = 0;  // cb0[n]: n entries, 0 = no constant block
  bool usesGlobal = false;
  bool usesPosition = false;
  bool usesThreadId = false;
  // Register file rows, numbered as the compiler meets them.
  uint16_t rowCount = 0;
  std::vector<uint16_t> clearedRows;     // r registers and outputs: zero at each wavefront's start
  struct Literal {
    uint16_t row;
    uint32_t words[4];
  };
  std::vector<Literal> literals;
  std::vector<uint16_t> constantRows;    // row of cb0[k], constantCount entries
  uint16_t positionRow = 0;              // v0 (valid when usesPosition)
  uint16_t threadIdRow = 0;              // vaTid (valid when usesThreadId)
  uint16_t outputRows[4] = {0, 0, 0, 0}; // oN (valid when declared)
  std::vector<uint32_t> tempNumbers;     // r number of each row (0xFFFFFFFF: not an r register)
  std::vector<IlInstruction> code;
};

// Parses and checks a whole program text. On failure answers null and sets error to
// "line N: reason".
std::shared_ptr<const IlProgram> CompileIl(const std::string& text, std::string& error);

}  // namespace orx::gcxsoft
