// A tiny Wine-style harness for the conformance tests: the same source builds against winsim
// and for Windows, and every check prints what it got.
#pragma once

#include <cstdio>

namespace conformance {

struct Counts {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
};
Counts& Totals();
bool UnderWine();

struct Test {
    const char* name;
    void (*run)();
    Test* next;
    Test(const char* n, void (*r)());
};

} // namespace conformance

#define CONFORMANCE_TEST(name)                                                                     \
    static void name();                                                                            \
    static conformance::Test name##_registration(#name, name);                                     \
    static void name()

// ok(condition, "format", args...): counts and, on failure, reports file, line and message.
#define ok(cond, ...)                                                                              \
    do {                                                                                           \
        if (cond) {                                                                                \
            conformance::Totals().passed++;                                                        \
        } else {                                                                                   \
            conformance::Totals().failed++;                                                        \
            std::printf("%s:%d: Test failed: ", __FILE__, __LINE__);                               \
            std::printf(__VA_ARGS__);                                                              \
            std::printf("\n");                                                                     \
        }                                                                                          \
    } while (0)

// Where Wine is known to differ from Windows, the check is skipped under Wine only.
#define skip_under_wine(reason)                                                                    \
    (conformance::UnderWine()                                                                      \
         ? (conformance::Totals().skipped++,                                                       \
            std::printf("%s:%d: skipped under Wine: %s\n", __FILE__, __LINE__, reason), true)      \
         : false)

// Where Wine is known to differ from Windows: true under Wine, after saying so where it is. The
// branch it guards pins what Wine does; the other branch pins Windows.
#define wine_differs(reason)                                                                       \
    (conformance::UnderWine()                                                                      \
         ? (std::printf("%s:%d: Wine differs: %s\n", __FILE__, __LINE__, reason), true)            \
         : false)
