// The variable store: bucket placement, updates in place, extreme values and
// the assignment and condition texts scripts use on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VarTable.hpp"

namespace {

struct TableFree {
    void operator()(VarTable *t) const { freeVarTable(t); }
};
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

TEST(VarTable, PlacesNamesByByteSum) {
    TablePtr t(newVarTable(128)), small(newVarTable(32));
    EXPECT_EQ(getVar(t.get(), "ab"), 0);
    EXPECT_EQ(records(t.get()), 0);  // a lookup never creates

    int32_t value = 0;
    for (const char *name : {"ab", "ba", "abc", ""}) setVar(t.get(), name, ++value);
    setVar(small.get(), "abc", 5);
    EXPECT_EQ(chain(t.get(), 67), (Names{"ab", "ba"}));  // same bytes, same bucket
    EXPECT_EQ(chain(t.get(), 38), Names{"abc"});
    EXPECT_EQ(chain(t.get(), 0), Names{""});
    EXPECT_EQ(chain(small.get(), 6), Names{"abc"});
    EXPECT_EQ(records(t.get()), 4);
    EXPECT_EQ(getVar(t.get(), "ba"), 2);
    EXPECT_EQ(getVar(t.get(), ""), 4);
    EXPECT_EQ(getVar(small.get(), "abc"), 5);
}

TEST(VarTable, UpdatesInPlaceAndKeepsCreationOrder) {
    TablePtr t(newVarTable(1));
    int32_t value = 0;
    for (const char *name : {"gold", "Gold", "gold ", "zero"})
        EXPECT_EQ(setVar(t.get(), name, ++value), 1);
    EXPECT_EQ(setVar(t.get(), "zero", 0), 0);
    EXPECT_EQ(setVar(t.get(), "gold", 7), 0);
    EXPECT_EQ(chain(t.get(), 0), (Names{"gold", "Gold", "gold ", "zero"}));
    EXPECT_EQ(getVar(t.get(), "gold"), 7);
    EXPECT_EQ(getVar(t.get(), "Gold"), 2);
    EXPECT_EQ(getVar(t.get(), "gold "), 3);
    EXPECT_EQ(getVar(t.get(), "zero"), getVar(t.get(), "never"));
    for (int32_t v : {INT32_MIN, INT32_MAX, -1}) {
        setVar(t.get(), "edge", v);
        EXPECT_EQ(getVar(t.get(), "edge"), v);
    }

    char *name = strdup("lamp");  // the table keeps its own copy of the name
    setVar(t.get(), name, 9);
    name[0] = 'c';
    EXPECT_EQ(getVar(t.get(), "camp"), 0);
    free(name);
    EXPECT_EQ(getVar(t.get(), "lamp"), 9);
}

TEST(VarTable, HighByteNamesLandInsideTheTable) {
    // "é" alone has a negative signed byte sum.
    const char *names[] = {"café", "é", "日本語", "\xff\xff\xff\xff"};
    for (int32_t size : {1, 32, 128}) {
        TablePtr t(newVarTable(size));
        for (int32_t i = 0; i < 4; ++i) {
            int32_t h = getHash(size, names[i]);
            ASSERT_TRUE(h >= 0 && h < size) << names[i] << " -> " << h;
            EXPECT_EQ(setVar(t.get(), names[i], i + 10), 1);
            Names c = chain(t.get(), h);
            EXPECT_EQ(std::count(c.begin(), c.end(), names[i]), 1) << names[i];
        }
        for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(getVar(t.get(), names[i]), i + 10) << names[i];
    }
}

TEST(VarTable, HashStopsSummingAtTheLargestSum) {
    // 16909320 * 127 + 7 == INT32_MAX: the bytes after that point do not count.
    std::string name(16909320, '\x7f');
    name += '\x07';
    EXPECT_EQ(getHash(128, name.c_str()), INT32_MAX % 128);
    name += "abc";
    EXPECT_EQ(getHash(128, name.c_str()), INT32_MAX % 128);
    EXPECT_EQ(getHash(1000, name.c_str()), INT32_MAX % 1000);
}

TEST(VarTable, AgreesWithAMapOverRandomOperations) {
    std::mt19937 rng(20240607);
    TablePtr t(newVarTable(7));
    std::map<std::string, int32_t> ref;
    std::uniform_int_distribution<int> len(0, 3), byte(0, 3), op(0, 2);
    std::uniform_int_distribution<int32_t> val(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 20000; ++i) {
        std::string name;
        for (int n = len(rng); n > 0; --n) name += "abA\xc3"[byte(rng)];
        bool known = ref.count(name) > 0;
        if (op(rng) == 0) {
            EXPECT_EQ(getVar(t.get(), name.c_str()), known ? ref[name] : 0);
        } else {
            int32_t v = val(rng);
            EXPECT_EQ(setVar(t.get(), name.c_str(), v), known ? 0 : 1);
            ref[name] = v;
        }
    }
    EXPECT_EQ(records(t.get()), static_cast<int>(ref.size()));
    for (const auto &[name, v] : ref) {
        Names c = chain(t.get(), getHash(7, name.c_str()));
        EXPECT_EQ(std::count(c.begin(), c.end(), name), 1);
        EXPECT_EQ(getVar(t.get(), name.c_str()), v);
    }
}

TEST(Assignment, ReadsNameAndNumber) {
    TablePtr t(newVarTable(128));
    struct Case { const char *text, *name; int32_t value; };
    const Case cases[] = {
        {"lamp", "lamp", 1},        {"gold 5", "gold", 5},         {"gold -3", "gold", -3},
        {"gold +4", "gold", 4},     {"gold  7", "gold", 7},        {"gold five", "gold", 0},
        {"gold 12abc", "gold", 12}, {"gold 5 coins", "gold", 5},   {"gold", "gold", 1},
        {" lamp", "", 0},           {"", "", 1},                   {"lamp\t5", "lamp\t5", 1},
        {"lamp\r", "lamp\r", 1},    {"lamp=on 2", "lamp=on", 2},   {"key\n 9", "key", 1},
        {"key 8\n9", "key", 8},
        // Beyond 32 bits the number saturates instead of wrapping.
        {"n 2147483647", "n", INT32_MAX},  {"n 2147483648", "n", INT32_MAX},
        {"n 4294967297", "n", INT32_MAX},  {"n 99999999999999999999999", "n", INT32_MAX},
        {"n -2147483648", "n", INT32_MIN}, {"n -2147483649", "n", INT32_MIN},
        {"n -99999999999999999999999", "n", INT32_MIN},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(interpVar(t.get(), c.text), c.value) << c.text;
        EXPECT_EQ(getVar(t.get(), c.name), c.value) << c.text;
    }
    EXPECT_EQ(getVar(t.get(), "lamp"), 1);  // the tab and CR names are others
}

TEST(Condition, FirstOperatorDecidesTheForm) {
    TablePtr t(newVarTable(128));
    auto check = [&](const char *text) { return checkVar(t.get(), text); };
    auto set = [&](const char *name, int32_t v) { setVar(t.get(), name, v); };
    EXPECT_EQ(check("lamp"), 0);
    EXPECT_EQ(check("lamp&key"), 0);
    EXPECT_EQ(check("gold="), 1);    // never set reads 0
    EXPECT_EQ(records(t.get()), 0);  // and checking creates nothing

    set("lamp", -3);
    EXPECT_EQ(check("lamp"), -3);
    EXPECT_EQ(check("lamp\r"), 0);
    set("key", 5);
    EXPECT_EQ(check("lamp&key"), 1);  // -3 + 5 balance to 2
    set("lamp", 2);
    EXPECT_EQ(check("lamp&key"), 0);  // 2 + 5
    set("key", 0);
    EXPECT_EQ(check("lamp&key"), 1);
    EXPECT_EQ(check("lamp&gold=5"), 1);  // 'gold=5' is a name here
    EXPECT_EQ(check("lamp&"), 1);        // 2 + the empty name's 0
    EXPECT_EQ(check("&"), 0);
    set("", 1);
    EXPECT_EQ(check("&"), 1);
    EXPECT_EQ(check("&&&"), 1);
    EXPECT_EQ(check("lamp&"), 0);
    EXPECT_EQ(check(""), 1);

    set("gold", 5);
    for (const char *text : {"gold=5", "gold=5&lamp", "gold=5x", "gold=5\r", "gold=5=6"})
        EXPECT_EQ(check(text), 1) << text;
    EXPECT_EQ(check("gold=6"), 0);
    set("gold", -3);
    EXPECT_EQ(check("gold=-3"), 1);
}

TEST(Condition, LongSumsWrapAndNumbersSaturate) {
    TablePtr t(newVarTable(128));
    const char *ten = "a&b&c&d&e&f&g&h&i&j";  // more pieces than the list starts with
    for (char c = 'a'; c <= 'j'; ++c) setVar(t.get(), std::string(1, c).c_str(), 1);
    EXPECT_EQ(checkVar(t.get(), ten), 1);
    setVar(t.get(), "j", 0);
    EXPECT_EQ(checkVar(t.get(), ten), 0);
    setVar(t.get(), "a", 2);  // balances the missing one
    EXPECT_EQ(checkVar(t.get(), ten), 1);

    for (auto [name, v] : {std::pair{"hi", INT32_MAX}, {"lo", INT32_MIN}, {"minus", -1},
                           {"five", 5}, {"three", 3}})
        setVar(t.get(), name, v);
    EXPECT_EQ(checkVar(t.get(), "hi"), INT32_MAX);
    EXPECT_EQ(checkVar(t.get(), "hi&hi"), 0);        // wraps to -2
    EXPECT_EQ(checkVar(t.get(), "hi&hi&five"), 1);   // 2^32 + 3 wraps to 3
    EXPECT_EQ(checkVar(t.get(), "lo&lo&three"), 1);  // -2^32 + 3 wraps to 3
    for (const char *text : {"hi=2147483648", "hi=99999999999999999999", "lo=-2147483649",
                             "lo=-99999999999999999999"})
        EXPECT_EQ(checkVar(t.get(), text), 1) << text;
    EXPECT_EQ(checkVar(t.get(), "minus=4294967295"), 0);  // saturates, no wrap to -1
}
