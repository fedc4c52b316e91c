// Word: a growable, always zero-terminated byte string filled one byte at a
// time; WordList: a growable array of owned Words with a read cursor.
#pragma once
#include <cstdint>
#include <memory>

struct Word {
    uint32_t capacity;  // bytes allocated for text
    uint32_t length;    // bytes of text, terminator not counted
    uint32_t step;      // growth step, and the size clearWord shrinks back to
    char *text;         // owned buffer, zero from length up to capacity
};

struct WordList {
    uint32_t capacity;  // slots allocated in items
    uint32_t step;      // growth step in slots, and the size clearWordList returns to
    int32_t cursor;     // slot readWordList hands out next
    int32_t count;      // slots in use
    Word **items;       // owned Words; unused slots are null
};

Word *newWord(uint32_t size);
int freeWord(Word *word);
int clearWord(Word *word);
// The growing operations return 1, leaving the Word as it was, when memory
// runs out or the capacity they need would not fit 32 bits; 0 otherwise.
int addchar(Word *word, char ch);
// Appends n bytes as n calls of addchar would, growing the buffer once.
int addchars(Word *word, const char *bytes, uint32_t n);
int isWord(const Word *word, const char *text);
int catWords(Word *dst, const Word *src);
int setWord(Word *word, const char *text);

WordList *newWordList(int32_t size);
int freeWordList(WordList *list);
int addWordList(WordList *list, Word *word);
int clearWordList(WordList *list);
Word *readWordList(WordList *list);
int explodeString(WordList *list, char sep, const char *text);

// Owning handles for call sites that must release on every path.
struct WordFree {
    void operator()(Word *word) const { freeWord(word); }
};
struct WordListFree {
    void operator()(WordList *list) const { freeWordList(list); }
};
using WordPtr = std::unique_ptr<Word, WordFree>;
using WordListPtr = std::unique_ptr<WordList, WordListFree>;
