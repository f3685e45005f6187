#pragma once
// Whole files as bytes, for the tools that convert one file into another.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantorel {

// Reads the whole file. False with a one-line reason (naming the file) when it cannot be
// opened or read, or is larger than `max_bytes`.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error,
                   size_t max_bytes = size_t{1} << 30);

// Writes the bytes as the whole new content of the file: first into a temporary file in
// the same directory, then renamed over it, so that a failure leaves neither a partial
// file nor a damaged old one. False with a one-line reason.
bool WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

}  // namespace vantorel
