// Replaces libstdc++'s verbose terminate handler in the Windows build. That handler prints the
// uncaught exception's demangled type to standard error, which a GUI program does not have, and
// brings the 46 kB demangler into the exe; an uncaught exception ends the program either way.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
