// The most memory a stretch of a test took: everything allocated through
// operator new (this program replaces it) and every GDI bitmap's pixels,
// counted together as they are taken and given back.
#pragma once

#include <cstdint>

namespace velmora::test {

// Starts a measurement from what is held now.
void StartPeak();
// The most held above the start since StartPeak.
std::int64_t PeakSinceStart();
// False where operator new can't be replaced (under AddressSanitizer); the
// peak then counts the GDI bitmaps alone.
bool PeakCountsNew();

}  // namespace velmora::test
