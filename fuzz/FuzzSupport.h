// What the fuzz targets share: a private folder of their own for the files a reader wants on disk.
// One process, one thread (libFuzzer runs one input at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tq9fuzz {

// The process's private folder (made on first use, removed at exit).
const std::string& Folder();
// Writes data to Folder()/name and returns the path.
std::string WriteInput(const std::string& name, const uint8_t* data, size_t size);

} // namespace tq9fuzz
