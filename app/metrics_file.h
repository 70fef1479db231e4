// The metrics file --prom names: written whole beside it, then put in its place in one
// rename, so that a collector reading the folder never meets half a file. Like the trace,
// it is a file the person names, not a disk: it does not pass the door.
#pragma once

#include <string>

// Writes `bytes` to path + ".tmp" and renames it over `path`. False, with why, where it
// could not: the file at `path` is then as it was, and no ".tmp" is left.
bool WriteReplacing(const std::string& path, const std::string& bytes, std::string* why);
