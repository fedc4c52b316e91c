// Heap strings: each helper takes the caller's string (or null), may release
// or move it, and returns the string to store in its place.
#pragma once

char *copyString(char *dst, const char *src);
char *catString(char *dst, const char *src);
char *setStringF(char *dst, const char *format, ...) __attribute__((format(printf, 2, 3)));
char *catStringF(char *dst, const char *format, ...) __attribute__((format(printf, 2, 3)));
