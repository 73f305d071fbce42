#pragma once
// The disassembly of a compiled program, one callback per line: temporaries as "R<n>.",
// constants as "KC0[<k>]", each arithmetic instruction as "<n> x: ...", each fetch as
// "<n> SAMPLE ...", so the encoder's shader statistics can count registers, constants,
// arithmetic and fetch lines.
#include "platform/gcx/gcx_api.h"
#include "platform/gcx-soft/il_program.h"

namespace orx::gcxsoft {

void DisassembleIl(const IlProgram& program, gcx::GcxLineCallback callback);

}  // namespace orx::gcxsoft
