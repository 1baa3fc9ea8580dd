#include "cli/ShownName.h"

#include <cstdio>

namespace tq9::cli {

namespace {

// Length of the UTF-8 sequence at text[at] when it is valid and no control character (C0, DEL, C1); 0
// otherwise.
size_t printableLength(const std::string& text, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x20 || lead == 0x7f)
        return 0;
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
                                                         : lead >= 0xf0 && lead <= 0xf4 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (size_t i = at + 1; i < at + length; ++i)
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
    if (lead == 0xc2 && byte(at + 1) < 0xa0) // U+0080..U+009F, the C1 controls (0x9b starts a sequence)
        return 0;
    return length;
}

// One byte inside $'...': the C escapes a shell knows, octal for the rest.
std::string escaped(unsigned char c)
{
    switch (c) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: {
        char octal[8];
        std::snprintf(octal, sizeof octal, "\\%03o", c);
        return octal;
    }
    }
}

} // namespace

std::string CShownName::Of(const std::string& name)
{
    bool plain = true;
    for (size_t at = 0, length; plain && at < name.size(); at += length)
        plain = (length = printableLength(name, at)) != 0;
    if (plain)
        return name;
    // Printable runs go in '...' (a quote as '\''), the rest in $'...'; one run closes where the next
    // opens, which is how ls writes them.
    std::string out = "'";
    bool escaping = false;
    for (size_t at = 0; at < name.size();) {
        const size_t length = printableLength(name, at);
        if ((length == 0) != escaping)
            out += escaping ? "''" : "'$'";
        escaping = length == 0;
        if (escaping) {
            out += escaped(static_cast<unsigned char>(name[at++]));
        } else {
            const std::string piece = name.substr(at, length);
            out += piece == "'" ? "'\\''" : piece;
            at += length;
        }
    }
    return out + "'";
}

} // namespace tq9::cli
