#pragma once
#include <string>

namespace tools {

// Writes the demo data tree under `root` (idempotent: files are rewritten with the same
// content). Returns false and prints the reason when a file cannot be written.
bool WriteDemoTree(const std::string& root);

} // namespace tools
