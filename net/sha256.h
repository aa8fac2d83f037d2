#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-256 of a buffer as 64 lower-case hexadecimal digits; empty if the digest failed.
std::string Sha256Hex(const uint8_t* pData, size_t nLength);
