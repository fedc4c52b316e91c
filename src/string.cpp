// Heap strings: copying, joining and printf-style formatting into strings
// that the caller owns and replaces with each result.
#include "string.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static char *emptyString()
{
    return static_cast<char *>(calloc(1, 1));
}

char *copyString(char *dst, const char *src)
{
    if (!dst)
        dst = emptyString();
    if (!src || src == dst)
        return dst;
    const size_t n = strlen(src);
    auto *copy = static_cast<char *>(malloc(n + 1));
    memcpy(copy, src, n + 1);
    free(dst);
    return copy;
}

char *catString(char *dst, const char *src)
{
    if (!dst)
        dst = emptyString();
    if (!src)
        return dst;
    const size_t a = strlen(dst), b = strlen(src);
    auto *joined = static_cast<char *>(malloc(a + b + 1));
    memcpy(joined, dst, a);
    memcpy(joined + a, src, b + 1);
    free(dst);
    return joined;
}

namespace {
// A formatted text: short results live in the stack buffer, longer ones in
// a heap block made for them.
struct Formatted {
    char small[128];
    char *heap = nullptr;
    const char *text = nullptr;
    int length = -1;

    Formatted(const char *format, va_list args) __attribute__((format(printf, 2, 0)))
    {
        va_list again;
        va_copy(again, args);
        length = vsnprintf(small, sizeof small, format, args);
        if (length > 127) {
            heap = static_cast<char *>(malloc(static_cast<size_t>(length) + 1));
            vsnprintf(heap, static_cast<size_t>(length) + 1, format, again);
            text = heap;
        } else if (length >= 0) {
            text = small;
        }
        va_end(again);
    }
    ~Formatted() { free(heap); }
    Formatted(const Formatted &) = delete;
    Formatted &operator=(const Formatted &) = delete;
};

// Formats into a fresh text, then replaces dst with it or appends it to
// dst. Formatting is done before dst is touched, so dst's own text may be
// one of the arguments. If the formatter fails, dst stays as it was.
char *formatInto(char *dst, bool append, const char *format, va_list args) __attribute__((format(printf, 3, 0)));
char *formatInto(char *dst, bool append, const char *format, va_list args)
{
    if (!dst)
        dst = emptyString();
    Formatted out(format, args);
    if (!out.text)
        return dst;
    if (append)
        return catString(dst, out.text);
    auto *resized = static_cast<char *>(realloc(dst, static_cast<size_t>(out.length) + 1));
    if (!resized)
        return dst;
    memcpy(resized, out.text, static_cast<size_t>(out.length) + 1);
    return resized;
}

}  // namespace

char *setStringF(char *dst, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    dst = formatInto(dst, false, format, args);
    va_end(args);
    return dst;
}

char *catStringF(char *dst, const char *format, ...)
{
    if (!format)
        return nullptr;
    va_list args;
    va_start(args, format);
    dst = formatInto(dst, true, format, args);
    va_end(args);
    return dst;
}
