// The variable store: bucket placement, updates in place, extreme values, assignment and condition texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "VarTable.hpp"

namespace {

struct TableFree { void operator()(VarTable *t) const { freeVarTable(t); } };
using TablePtr = std::unique_ptr<VarTable, TableFree>;
using Names = std::vector<std::string>;

Names chain(const VarTable *t, int bucket) {
    Names names;
    for (const Var *v = t->buckets[bucket]; v; v = v->next) names.emplace_back(v->name);
    return names;
}

int records(const VarTable *t) {
    int n = 0;
    for (int i = 0; i < t->size; ++i) n += static_cast<int>(chain(t, i).size());
    return n;
}

}  // namespace

TEST(VarTable, PlacesByByteSumInsideTheTableAndUpdatesInPlace) {
    TablePtr t(newVarTable(128)), small(newVarTable(32)), one(newVarTable(1));
    int32_t value = 0;
    for (const char *name : {"ab", "ba", "abc", ""}) EXPECT_EQ(setVar(t.get(), name, ++value), 1);
    setVar(small.get(), "abc", 5);
    EXPECT_EQ(chain(t.get(), 67), (Names{"ab", "ba"}));  // same bytes, same bucket
    EXPECT_EQ(chain(t.get(), 38), Names{"abc"});
    EXPECT_EQ(chain(t.get(), 0), Names{""});
    EXPECT_EQ(chain(small.get(), 6), Names{"abc"});

    // One bucket: creation order kept, updates leave records where they are.
    for (const char *name : {"gold", "Gold", "gold ", "zero"}) EXPECT_EQ(setVar(one.get(), name, ++value), 1);
    EXPECT_EQ(setVar(one.get(), "gold", 1), 0);
    EXPECT_EQ(setVar(one.get(), "gold", 0), 0);
    EXPECT_EQ(chain(one.get(), 0), (Names{"gold", "Gold", "gold ", "zero"}));
    EXPECT_EQ(getVar(one.get(), "gold "), 7);
    for (int32_t v : {INT32_MIN, INT32_MAX, -1}) EXPECT_EQ((setVar(one.get(), "Gold", v), getVar(one.get(), "Gold")), v);
    char *name = strdup("lamp");  // the table keeps its own copy of the name
    setVar(one.get(), name, 9);
    name[0] = 'c';
    EXPECT_EQ(getVar(one.get(), "camp"), 0);
    free(name);
    EXPECT_EQ(getVar(one.get(), "lamp"), 9);

    // Bytes 128-255 make the byte sum negative: -61 - 87 = -148 lands in 128 - 20.
    EXPECT_EQ(getHash(128, "é"), 108);
    for (const char *high : {"café", "é", "日本語", "\xff\xff\xff\xff"})
        for (int32_t size : {1, 32, 128}) EXPECT_TRUE(getHash(size, high) >= 0 && getHash(size, high) < size) << high;
    // 16909320 * 127 + 7 == INT32_MAX: the bytes after that point do not count.
    std::string huge(16909320, '\x7f');
    huge += "\x07";
    EXPECT_EQ(getHash(128, huge.c_str()), INT32_MAX % 128);
    EXPECT_EQ(getHash(1000, (huge + "abc").c_str()), INT32_MAX % 1000);
}

TEST(Assignment, ReadsNameAndNumberSaturatingBeyond32Bits) {
    TablePtr t(newVarTable(128));
    struct Case { const char *text, *name; int32_t value; };
    const Case cases[] = {
        {"lamp", "lamp", 1}, {"gold -3", "gold", -3}, {"gold +4", "gold", 4}, {"gold  7", "gold", 7},
        {"gold five", "gold", 0}, {"gold 12abc", "gold", 12}, {"gold", "gold", 1}, {" lamp", "", 0},
        {"", "", 1}, {"lamp\t5", "lamp\t5", 1}, {"lamp\r", "lamp\r", 1}, {"lamp=on 2", "lamp=on", 2},
        {"key\n 9", "key", 1}, {"key 8\n9", "key", 8}, {"n 2147483647", "n", INT32_MAX},
        {"n 2147483648", "n", INT32_MAX}, {"n 99999999999999999999999", "n", INT32_MAX},
        {"n -2147483648", "n", INT32_MIN}, {"n -2147483649", "n", INT32_MIN},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(interpVar(t.get(), c.text), c.value) << c.text;
        EXPECT_EQ(getVar(t.get(), c.name), c.value) << c.text;
    }
}

TEST(Condition, FirstOperatorDecidesTheForm) {
    // Each row: assignments on a fresh table, then the condition and its result.
    struct Case { std::vector<const char *> sets; const char *text; int32_t want; };
    const std::vector<const char *> ten = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    const Case cases[] = {
        {{}, "lamp", 0}, {{}, "lamp&key", 0}, {{}, "gold=", 1}, {{"lamp -3"}, "lamp", -3},
        {{"lamp"}, "lamp\r", 0}, {{"lamp 5", "key -3"}, "lamp&key", 1}, {{"lamp 2", "key 2"}, "lamp&key", 0},
        {{"lamp 2"}, "lamp&key", 1}, {{"lamp 2", "gold 5"}, "lamp&gold=5", 1}, {{"lamp 2"}, "lamp&", 1},
        {{}, "&", 0}, {{""}, "&&&", 1}, {{"", "lamp 2"}, "lamp&", 0}, {{""}, "", 1},
        {{"gold 5"}, "gold=5&lamp", 1}, {{"gold 5"}, "gold=5x", 1}, {{"gold 5"}, "gold=5\r", 1},
        {{"gold 5"}, "gold=5=6", 1}, {{"gold 5"}, "gold=6", 0}, {{"gold -3"}, "gold=-3", 1},
        {ten, "a&b&c&d&e&f&g&h&i&j", 1}, {ten, "a&b&c&d&e&f&g&h&i&j&k", 0},  // past the list's first 8
        // The sum wraps modulo 2^32; numbers beyond 32 bits saturate.
        {{"hi 2147483647"}, "hi&hi", 0}, {{"hi 2147483647", "five 5"}, "hi&hi&five", 1},
        {{"lo -2147483648", "three 3"}, "lo&lo&three", 1}, {{"hi 2147483647"}, "hi=99999999999", 1},
        {{"lo -2147483648"}, "lo=-2147483649", 1}, {{"minus -1"}, "minus=4294967295", 0},
    };
    for (const Case &c : cases) {
        TablePtr t(newVarTable(128));
        for (const char *set : c.sets) interpVar(t.get(), set);
        const int before = records(t.get());
        EXPECT_EQ(checkVar(t.get(), c.text), c.want) << c.text << " after " << c.sets.size() << " sets";
        EXPECT_EQ(records(t.get()), before) << "checking " << c.text << " created a variable";
    }
}
