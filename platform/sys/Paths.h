#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace plat {

// Data names use '\' separators and were written for a case-insensitive file system.
// Every file access of the engine resolves its path here: '\' becomes '/', "." components
// are dropped and each component is matched case-insensitively against the directory
// (an exact match wins, otherwise the first in sorted order).

// The on-disk path of an existing entry (file or directory), or an empty string.
std::string ResolveExisting(const std::string& path);
// The on-disk path of an existing regular file, or an empty string.
std::string ResolveFile(const std::string& path);
// The path to create or overwrite: directories resolve case-insensitively; an existing file
// that matches case-insensitively is reused in its on-disk spelling; otherwise the given
// spelling. Empty when a directory is missing.
std::string ResolveForWrite(const std::string& path);

// fopen through the resolver. Read modes require a regular file; "wb" creates or truncates.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Replaces the file at `path` (resolved as for writing) with `size` bytes so that a crash, a
// kill or a power cut at any moment leaves either the whole old content or the whole new one:
// the bytes go to "<name>.tmp" beside it, every write is checked, the temporary is flushed to
// disk, renamed over the file, and the directory is synced so the rename itself lasts. On
// failure the old file is untouched, the temporary is removed, false is returned and `error`
// says which step failed and why.
bool ReplaceFile(const std::string& path, const void* data, size_t size, std::string& error);

// Lists the names matching a pattern whose last component may hold '*' and '?' (matched
// case-insensitively). Directories are included, "." and ".." never. Names come back in
// their on-disk spelling, ordered by upper-cased bytes with ties broken by the raw bytes.
// A missing directory gives an empty list.
std::vector<std::string> ListMatching(const std::string& pattern);

// Case-insensitive wild-card match ('*' any run, '?' one byte).
bool WildcardMatch(const char* pattern, const char* name);

} // namespace plat
