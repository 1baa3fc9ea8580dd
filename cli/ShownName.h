// How tq9 writes a card or PC name into a line of its output: as it is, unless it holds a control
// character (a newline, an escape) or bytes that are no UTF-8, which would break the line or drive the
// terminal. Such a name is quoted as ls quotes it for a shell ('a'$'\n''b'), so the line stays one line
// and the name can be pasted back. Stateless; any thread.
#pragma once

#include <string>

namespace tq9::cli {

class CShownName {
public:
    static std::string Of(const std::string& name);
};

} // namespace tq9::cli
