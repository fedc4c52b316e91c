// The variable store: named signed 32-bit integers in a chained hash table,
// and the assignment and condition texts through which scripts reach them.
#include "VarTable.hpp"


#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

VarTable *global_variables = nullptr;
VarTable *special_variables = nullptr;

VarTable *newVarTable(int32_t size)
{
    auto *table = static_cast<VarTable *>(malloc(sizeof(VarTable)));
    table->size = size;
    table->buckets = static_cast<Var **>(calloc(static_cast<size_t>(size), sizeof(Var *)));
    return table;
}

int freeVarTable(VarTable *table)
{
    for (int32_t i = 0; i < table->size; i++) {
        Var *var = table->buckets[i];
        while (var) {
            Var *next = var->next;
            freeVar(var);
            var = next;
        }
    }
    free(table->buckets);
    free(table);
    return 0;
}

// The bucket is the sum of the name's bytes, read as signed, modulo the
// table size. The sum stops growing once it reaches INT32_MAX. Bytes 128-255
// can make the sum negative; such names wrap into the table from the top.
int32_t getHash(int32_t size, const char *name)
{
    int64_t sum = 0;
    for (const char *p = name; *p && sum != INT32_MAX; p++)
        sum += static_cast<signed char>(*p);
    int64_t index = sum % size;
    if (index < 0)
        index += size;
    return static_cast<int32_t>(index);
}

Var *newVar(const char *name, int32_t value)
{
    auto *var = static_cast<Var *>(malloc(sizeof(Var)));
    const size_t n = strlen(name);
    var->name = static_cast<char *>(malloc(n + 1));
    memcpy(var->name, name, n + 1);
    var->value = value;
    var->next = nullptr;
    return var;
}

int freeVar(Var *var)
{
    free(var->name);
    free(var);
    return 0;
}

int setVar(VarTable *table, const char *name, int32_t value)
{
    Var **link = &table->buckets[getHash(table->size, name)];
    for (; *link; link = &(*link)->next) {
        if (strcmp((*link)->name, name) == 0) {
            (*link)->value = value;
            return 0;
        }
    }
    *link = newVar(name, value);
    return 1;
}

int32_t getVar(const VarTable *table, const char *name)
{
    for (const Var *var = table->buckets[getHash(table->size, name)]; var; var = var->next)
        if (strcmp(var->name, name) == 0)
            return var->value;
    return 0;
}

// Reads a decimal number the way atoi does (leading white space, an optional
// sign, digits up to the first other byte), stopping at a newline, and
// saturating at the 32-bit limits instead of overflowing.
static int32_t readNumber(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\v' || *p == '\f')
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        value = value * 10 + (*p - '0');
        if (value > int64_t{INT32_MAX} + 1)
            value = int64_t{INT32_MAX} + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<int32_t>(value);
}

int32_t interpVar(VarTable *table, const char *text)
{
    const size_t n = strcspn(text, " \n");
    const std::string name(text, n);
    const int32_t value = text[n] == ' ' ? readNumber(text + n + 1) : 1;
    setVar(table, name.c_str(), value);
    return value;
}

// The first byte that is '&' or '=' decides the form: names joined by '&'
// (true when their values add up to how many there are, as flags that are
// all set do), or a name, '=' and a number. Conditions are read on every
// pass of a map, so the pieces are looked up where they lie, not copied
// into a word list.
int32_t checkVar(const VarTable *table, const char *text)
{
    const char *op = strpbrk(text, "&=");
    if (!op)
        return getVar(table, text);
    std::string name;
    auto valueOf = [&](const char *from, const char *to) {
        name.assign(from, to);
        return getVar(table, name.c_str());
    };
    if (*op == '=')  // the number stops at the next '=' (or any non-digit)
        return valueOf(text, op) == readNumber(op + 1) ? 1 : 0;
    // The sum wraps modulo 2^32; an empty piece is the empty name.
    uint32_t sum = 0, count = 0;
    for (const char *from = text;; from = op + 1) {
        op = strchr(from, '&');
        sum += static_cast<uint32_t>(valueOf(from, op ? op : from + strlen(from)));
        count++;
        if (!op)
            return sum == count ? 1 : 0;
    }
}
