// Fuzz entry point: attack lists as a user types them. Every input is either refused with an
// ArgumentError or gives cells whose canonical names parse back to the same cells.
#include <cstdint>
#include <string_view>

#include "quillfen/attacks/attack_list.h"
#include "quillfen/image/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const std::vector<quillfen::AttackCell> cells = quillfen::ParseAttackCells(text);
        // Re-parsing every name of a 100,000-cell list would only slow the search down.
        for (std::size_t i = 0; i < cells.size() && i < 64; ++i) {
            const std::vector<quillfen::AttackCell> again = quillfen::ParseAttackCells(cells[i].Name);
            if (again.size() != 1 || !(again[0] == cells[i])) __builtin_trap();
        }
    } catch (const quillfen::ArgumentError&) {
        // A one-line refusal is the expected outcome for most inputs.
    }
    return 0;
}
