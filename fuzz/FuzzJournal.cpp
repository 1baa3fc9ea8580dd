// The journal reader: a placement's journal found on a card is input, never an order.
#include "FuzzSupport.h"
#include "platform/StagingName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The name of run 4242's journal, so entries of that run's staged names pass the name checks.
    const std::string path = tq9fuzz::WriteInput(".tq9-part-4242-1.item", data, size);
    std::vector<tq9::CStagingName::JournalEntry> entries;
    if (tq9::CStagingName::ReadJournal(path, entries) &&
        (entries.empty() || entries.size() > tq9::CStagingName::kMaxJournalEntries))
        __builtin_trap(); // a journal read as good holds what a journal may hold
    long pid = 0;
    tq9::CStagingName::ParseName(std::string(reinterpret_cast<const char*>(data), size), size % 2 == 0, pid);
    return 0;
}
