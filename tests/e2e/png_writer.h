// Writes 24-bit RGB pixels as a PNG file (stored, uncompressed deflate
// blocks: the screenshots of the end-to-end runs need no more).
#ifndef UPDATER_TESTS_E2E_PNG_WRITER_H
#define UPDATER_TESTS_E2E_PNG_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

// rgb holds height rows of width pixels, top row first, 3 bytes a pixel.
bool WritePng(const std::wstring& path, int width, int height, const std::vector<uint8_t>& rgb);

#endif  // UPDATER_TESTS_E2E_PNG_WRITER_H
