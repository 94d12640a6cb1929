#pragma once
// Readers of files the user names look at what the name stands for before
// opening it: opening a FIFO for reading waits for a writer, and a device such
// as /dev/zero never ends. Only regular files (through links) are read.
//
// Thread: any thread; nothing is shared.

#include <filesystem>
#include <string>

namespace talvence {

// Why `path` cannot be read as a regular file ("no such file", "not a regular
// file (a FIFO)", the system's error text); "" when it can.
std::string NotARegularFile(const std::filesystem::path& path);

// The file opened read-only (and close-on-exec) when it is a regular file,
// checked again on the descriptor in case the name changed meanwhile; -1 with
// `error` set otherwise.
int OpenRegularFileForReading(const std::filesystem::path& path, std::string& error);

} // namespace talvence
