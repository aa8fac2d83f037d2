#pragma once
#include <string>

// The engineer's PIN as tovar.cfg keeps it ([line] engineer-pin=): "sha256:<salt hex>:<digest hex>",
// the digest being SHA-256 over the salt's bytes followed by the PIN's bytes. Only the salted
// digest is stored, never the PIN.

// True for a text of that form (a salt of 1 to 64 bytes, a digest of 32 bytes, lower-case hex).
bool IsPinHashText(const std::string& strText);
// The stored form for a PIN and a salt given in hex; empty when the salt is not hex.
std::string PinHashText(const std::string& strPin, const std::string& strSaltHex);
// The stored form with a fresh random 16-byte salt; empty when no random bytes could be had.
std::string NewPinHashText(const std::string& strPin);
// True when the PIN gives the stored digest (compared in constant time).
bool PinMatches(const std::string& strHashText, const std::string& strPin);
