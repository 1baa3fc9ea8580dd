#include "platform/FatNames.h"

#include <cstring>
#include <cwctype>
#include <locale.h>

#include "platform/DirectoryEnumerator.h"

namespace tq9 {

namespace {

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not valid UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included). cp receives the code point.
size_t decode(const std::string& s, size_t i, char32_t& cp)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    size_t len;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        len = 2;
        cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void encode(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool refused(char32_t cp)
{
    return cp < 0x20 || cp == 0x7F || (cp < 0x80 && std::strchr("\"*/:<>?\\|", static_cast<int>(cp)) != nullptr);
}

// Upper case by the C.UTF-8 locale's table, whatever the program's own locale is.
char32_t upper(char32_t cp)
{
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') ? cp - 0x20 : cp;
    return utf8 ? static_cast<char32_t>(::towupper_l(static_cast<wint_t>(cp), utf8)) : cp;
}

} // namespace

std::string CFatNames::CardSafe(const std::string& name, size_t maxBytes)
{
    std::string out;
    for (size_t i = 0; i < name.size();) {
        char32_t cp = 0;
        const size_t len = decode(name, i, cp);
        const std::string piece = len == 0 || refused(cp) ? std::string("_") : name.substr(i, len);
        if (out.size() + piece.size() > maxBytes)
            break;
        out += piece;
        i += len == 0 ? 1 : len;
    }
    for (size_t k = out.size(); k > 0 && (out[k - 1] == '.' || out[k - 1] == ' '); --k)
        out[k - 1] = '_';
    return out;
}

std::string CFatNames::Fold(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        char32_t cp = 0;
        const size_t len = decode(name, i, cp);
        if (len == 0) {
            out += name[i++];
            continue;
        }
        encode(upper(cp), out);
        i += len;
    }
    return out;
}

std::set<std::string> CFatNames::FoldedListing(const std::string& folder)
{
    std::set<std::string> names;
    CDirectoryEnumerator entries(folder);
    std::string name;
    while (entries.Next(name)) {
        if (name != "." && name != "..")
            names.insert(Fold(name));
    }
    return names;
}

} // namespace tq9
