// Words and word lists: the byte strings the interpreter fills while it reads
// a script, and the lists that hold menu labels and split condition texts.
#include "Word.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

// Every size a Word grows to must fit its 32-bit capacity: a growth past
// that (a map of hundreds of megabytes of description lines adds up the
// capacities of its lines) would wrap round to a small block and write past
// it. Such a growth is refused, the Word left as it was, and the result is 1.
static bool fitsCapacity(uint64_t capacity)
{
    return capacity <= UINT32_MAX;
}

Word *newWord(uint32_t size)
{
    auto *word = static_cast<Word *>(malloc(sizeof(Word)));
    word->step = size;
    word->capacity = size;
    word->text = static_cast<char *>(calloc(size ? size : 1, 1));
    word->length = 0;
    return word;
}

int freeWord(Word *word)
{
    free(word->text);
    free(word);
    return 0;
}

// The interpreter empties its Words at every blank and newline, so the
// common case, a Word that never grew, costs no reallocation; and since the
// bytes behind the text are zero already, only the text itself is zeroed.
int clearWord(Word *word)
{
    if (word->capacity != word->step) {
        auto *text = static_cast<char *>(realloc(word->text, word->step));
        if (!text) {
            puts("clearWord: realloc failed");
            return 1;
        }
        word->text = text;
    }
    memset(word->text, 0, word->length < word->step ? word->length : word->step);
    word->length = 0;
    word->capacity = word->step;
    return 0;
}

int addchar(Word *word, char ch)
{
    return addchars(word, &ch, 1);
}

// Appends n bytes at once, growing to the capacity that adding them one by
// one with addchar would reach; the interpreter copies plain lines this way.
int addchars(Word *word, const char *bytes, uint32_t n)
{
    if (uint64_t{word->length} + n >= word->capacity) {
        // The capacity addchar would reach, one step at a time; a size the
        // 32-bit capacity cannot hold is refused before anything moves.
        const uint64_t steps = (uint64_t{word->length} + n + 1 - word->capacity + word->step - 1) / word->step;
        if (!fitsCapacity(word->capacity + steps * word->step))
            return 1;
        const auto capacity = static_cast<uint32_t>(word->capacity + steps * word->step);
        auto *text = static_cast<char *>(realloc(word->text, capacity));
        if (!text) {
            puts("addChar: realloc failed");
            return 1;
        }
        word->text = text;
        memset(word->text + word->capacity, 0, capacity - word->capacity);
        word->capacity = capacity;
    }
    memcpy(word->text + word->length, bytes, n);
    word->length += n;
    return 0;
}

// Compares byte by byte without measuring either side first: the
// interpreter asks after every byte it reads, the Word may hold a whole long
// line, and most probes differ within their first bytes. The text's bytes are
// read only up to the probe's length and the one after it.
int isWord(const Word *word, const char *text)
{
    uint32_t i = 0;
    for (; text[i] != '\0'; i++)
        if (i >= word->length || word->text[i] != text[i])
            return 0;
    return word->text[i] == '\0' ? 1 : 0;
}

int catWords(Word *dst, const Word *src)
{
    if (!fitsCapacity(uint64_t{dst->capacity} + src->capacity))
        return 1;
    const uint32_t capacity = dst->capacity + src->capacity;
    const uint32_t length = dst->length + src->length;
    auto *text = static_cast<char *>(realloc(dst->text, capacity));
    if (!text) {
        puts("catWords: realloc failed");
        return 1;
    }
    dst->text = text;
    // Behind the old length the text is already zero up to the old capacity,
    // so only the room just gained needs zeroing; a description that grows
    // line by line would otherwise zero all its slack again for every line.
    memset(dst->text + dst->capacity, 0, capacity - dst->capacity);
    memcpy(dst->text + dst->length, src->text, src->length);
    dst->capacity = capacity;
    dst->length = length;
    return 0;
}

int setWord(Word *word, const char *text)
{
    const size_t n = strlen(text);
    if (!fitsCapacity(uint64_t{word->capacity} + n + 1))
        return 1;
    const uint32_t capacity = word->capacity + static_cast<uint32_t>(n) + 1;
    auto *grown = static_cast<char *>(realloc(word->text, capacity));
    if (!grown) {
        puts("setWord: realloc failed");
        return 1;
    }
    word->text = grown;
    memcpy(word->text + word->length, text, n + 1);
    // Zero the room gained behind the copied terminator as well, so that
    // addchar and catWords find zeros behind the text here too.
    const uint32_t copied = word->length + static_cast<uint32_t>(n) + 1;
    const uint32_t from = copied > word->capacity ? copied : word->capacity;
    memset(word->text + from, 0, capacity - from);
    word->capacity = capacity;
    word->length += static_cast<uint32_t>(n);
    return 0;
}

WordList *newWordList(int32_t size)
{
    auto *list = static_cast<WordList *>(malloc(sizeof(WordList)));
    list->capacity = static_cast<uint32_t>(size);
    list->step = static_cast<uint32_t>(size);
    list->cursor = 0;
    list->count = 0;
    list->items = static_cast<Word **>(calloc(size > 0 ? size : 1, sizeof(Word *)));
    return list;
}

static void releaseWords(WordList *list)
{
    for (uint32_t i = 0; i < list->capacity; i++)
        if (list->items[i])
            freeWord(list->items[i]);
}

int freeWordList(WordList *list)
{
    releaseWords(list);
    free(list->items);
    free(list);
    return 0;
}

int addWordList(WordList *list, Word *word)
{
    if (static_cast<uint32_t>(list->count) + 1 > list->capacity) {
        const uint32_t capacity = list->capacity + list->step;
        auto *items = static_cast<Word **>(realloc(list->items, capacity * sizeof(Word *)));
        if (!items) {
            puts("addWordList: realloc failed");
            return 1;
        }
        list->items = items;
        for (uint32_t i = list->count; i < capacity; i++)
            list->items[i] = nullptr;
        list->capacity = capacity;
    }
    list->items[list->count++] = word;
    return 0;
}

int clearWordList(WordList *list)
{
    releaseWords(list);
    free(list->items);
    list->items = static_cast<Word **>(calloc(list->step ? list->step : 1, sizeof(Word *)));
    list->cursor = 0;
    list->count = 0;
    if (!list->items) {
        // Keep the list usable as an empty one that grows on the next add.
        list->capacity = 0;
        puts("clearWordList: realloc failed");
        return 1;
    }
    list->capacity = list->step;
    return 0;
}

Word *readWordList(WordList *list)
{
    if (list->cursor < list->count)
        return list->items[list->cursor++];
    list->cursor = 0;
    return nullptr;
}

int explodeString(WordList *list, char sep, const char *text)
{
    const size_t n = strlen(text);
    size_t start = 0;
    for (size_t i = 0; i <= n; i++) {
        if (text[i] != sep && text[i] != '\0')
            continue;
        std::string_view piece(text + start, i - start);
        char *copy = static_cast<char *>(malloc(piece.size() + 1));
        memcpy(copy, piece.data(), piece.size());
        copy[piece.size()] = '\0';
        Word *word = newWord(0);
        setWord(word, copy);
        addWordList(list, word);
        free(copy);
        start = i + 1;
    }
    return 0;
}
