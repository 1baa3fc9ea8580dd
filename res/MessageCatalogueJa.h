// The Japanese message catalogue: the same string IDs as the built-in table, installed at start-up on a
// Japanese desktop. Texts keep the "%s"/"%d" fields and the tabs and line breaks of the originals.
#pragma once

#include <map>
#include <string>

namespace tq9 {

const std::map<int, std::string>& JapaneseCatalogue();

} // namespace tq9
