// Decimal numbers in member names, without the C library's printf: that
// would link its whole formatter, floating point included, into every plug-in.
#pragma once

#include <cstdint>

// Writes value in decimal, padded with zeros to at least minDigits digits
// (at most 20), and returns the end; no terminating zero. out has room for 20.
inline char* PutDecimal(char* out, uint64_t value, int minDigits = 1) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < minDigits && n < 20) digits[n++] = '0';
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Copies text with its terminating zero to out and returns the position of that zero.
inline char* PutText(char* out, const char* text) {
  while ((*out = *text++) != 0) ++out;
  return out;
}
