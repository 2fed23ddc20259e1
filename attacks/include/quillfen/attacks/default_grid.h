#pragma once
// The default attack grid of a robustness run: 134 cells in families taken from the field's
// benchmarks (StirMark Benchmark 4, WAVES, Stable Signature) and a print-and-scan model,
// listed with their sources in the README. One table, so the README, the command and the
// tests read the same.
#include <span>
#include <string>
#include <vector>

#include "quillfen/attacks/attack_catalogue.h"
#include "quillfen/image/export.h"

QUILLFEN_API_BEGIN
namespace quillfen {

struct AttackFamily {
    const char* Family;
    const char* List;   // an attack list as the command line takes it
    const char* Source;
};

// The families in the order their cells come.
std::span<const AttackFamily> DefaultAttackFamilies();

// Every family's entries joined into one attack list.
std::string DefaultAttackList();

// The expanded grid.
std::vector<AttackCell> DefaultAttackGrid();

}  // namespace quillfen
QUILLFEN_API_END
