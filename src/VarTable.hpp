// The variable store: a chained hash table of named signed 32-bit integers,
// and the assignment (".set") and condition (".if") texts that scripts use on it.
#pragma once
#include <cstdint>

struct Var {
    char *name;     // own copy of the name
    int32_t value;
    Var *next;      // next record of the same bucket, in creation order
};

struct VarTable {
    int32_t size;   // number of buckets, fixed at creation
    Var **buckets;  // chain heads, null while a bucket is empty
};

VarTable *newVarTable(int32_t size);
int freeVarTable(VarTable *table);
int32_t getHash(int32_t size, const char *name);
int setVar(VarTable *table, const char *name, int32_t value);
int32_t getVar(const VarTable *table, const char *name);
Var *newVar(const char *name, int32_t value);
int freeVar(Var *var);

int32_t interpVar(VarTable *table, const char *text);
int32_t checkVar(const VarTable *table, const char *text);

// The script variables, and a second table kept for the engine's own use.
extern VarTable *global_variables;
extern VarTable *special_variables;
