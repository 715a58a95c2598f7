// Text helpers of the job-file, profile and sync-line readers.
#pragma once

// Number of reads of at most 128 characters (a read stops at a line end), so a
// line of more than 127 characters and its line end count once per piece.
// -1 for a null or empty name, a name beginning with a blank, or a file that
// cannot be opened for reading.
int textFileCountLines(const char* name);

// Reads the number after the first occurrence of letter in line: when the next
// character is a digit, '-' or a blank, the decimal number that follows
// (leading blanks allowed, C locale) goes to value and the result is 1.
// Otherwise, and when no number follows, the result is 0 and value is left
// untouched; later occurrences of the letter are not looked at, and a '+' or
// '.' right after the letter is not read.
int textGetLetterValue(int letter, const char* line, double* value);
