#include "res/ByteSize.h"

#include <cstdio>
#include <iterator>

namespace tq9 {

std::string CByteSize::Text(uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    size_t unit = 0;
    // Rounded to three figures first, so that 999,999 bytes read "1.00 MB", not "1000 KB".
    while (unit + 1 < std::size(kUnits) && value >= 999.5) {
        value /= 1000.0;
        ++unit;
    }
    const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, value, kUnits[unit]);
    return text;
}

} // namespace tq9
