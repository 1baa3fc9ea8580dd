// The card-name rules: names made card-safe, folded as a card compares them, split into base and
// extension, and judged as a run's working file; and names as tq9 prints them.
#include "card/TQ9SystemFile.h"
#include "cli/ShownName.h"
#include "platform/FatNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    const size_t limit = size > 0 ? data[0] : 0;
    const std::string safe = tq9::CFatNames::CardSafe(name, limit);
    if (safe.size() > limit && limit > 0)
        __builtin_trap(); // never longer than asked
    // Safe is safe: a second pass changes nothing, and folding is stable.
    if (tq9::CFatNames::CardSafe(safe, limit) != safe)
        __builtin_trap();
    const std::string folded = tq9::CFatNames::Fold(name);
    if (tq9::CFatNames::Fold(folded) != folded)
        __builtin_trap();
    tq9::SplitPathResult parts;
    tq9::SplitPath(name, parts);
    tq9::IsWorkingFileName(name);
    // A printed name never carries a control byte, and one that needed quoting is quoted.
    const std::string shown = tq9::cli::CShownName::Of(name);
    for (const char c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            __builtin_trap();
    if (shown != name && (shown.size() < 2 || shown.front() != '\'' || shown.back() != '\''))
        __builtin_trap();
    return 0;
}
