// The conformance harness's runner: runs every registered test and prints the totals in the
// plain "N passed, N failed" form.
#include "ok.h"

#include "win32api.h"

namespace conformance {

static Test* gFirst = nullptr;
static Test** gLast = &gFirst;

Counts& Totals() {
    static Counts counts;
    return counts;
}

Test::Test(const char* n, void (*r)()) : name(n), run(r), next(nullptr) {
    *gLast = this;
    gLast = &next;
}

bool UnderWine() {
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

} // namespace conformance

int main() {
    using namespace conformance;
    for (Test* t = gFirst; t; t = t->next) {
        int failedBefore = Totals().failed;
        t->run();
        std::printf("%s: %s\n", t->name, Totals().failed == failedBefore ? "ok" : "FAILED");
    }
    std::printf("conformance: %d passed, %d failed, %d skipped\n", Totals().passed, Totals().failed,
                Totals().skipped);
    std::fflush(stdout);
    return Totals().failed ? 1 : 0;
}
