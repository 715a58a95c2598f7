// Shared by the fuzz targets: a file that holds the current input, for the
// readers that take a file name.  The kFY scanner appends its trace file
// QZK.TXT to the working directory: run the fuzzers in a scratch directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Writes the bytes to the file name in a private temporary directory (made
// on the first call, removed at exit) and returns the file's absolute name.
// The working directory is left alone: the fuzzing engine reads and writes
// its corpus by relative names.  Aborts when the file cannot be written: a
// fuzzer that silently tests nothing is worse than one that stops.
std::string fuzzWriteInput(const uint8_t* data, std::size_t size, const char* name = "input");
