// What tq9 import and tq9 dup check alike before their job runs, as a drop on a tree folder does: the
// files as absolute paths, the folder a card folder, and room in it for the device's file limit.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tq9::cli {

// The arguments as absolute paths (drops carry absolute paths; so do the messages that name files).
std::vector<std::string> AbsolutePaths(const std::vector<std::string>& arguments, size_t first);

// nullopt when every file exists; otherwise the exit code, after "COMMAND: FILE: no such file" was printed
// for each that does not (the job's own text would only say "Invalid file type." without naming it).
std::optional<int> CheckFilesExist(const std::string& command, const std::vector<std::string>& files);

// nullopt when the job may run; otherwise the exit code, after the message was printed. A folder that is
// not one passes: the job refuses it with its own text.
std::optional<int> CheckDropFolder(const std::string& command, const std::string& folder, size_t adding);

// The exit code of a job's result: 0 done, 1 cancelled, 3 failed; 4 for a failure after placed files
// had landed (a script that retries on 3 would make duplicates).
int JobExitCode(int result, size_t placed = 0);

} // namespace tq9::cli
