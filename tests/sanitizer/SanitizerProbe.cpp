// A program with one deliberate fault, for the test of the sanitizer harness (sanitizer build only).
//
//   sanitizer_probe leak|overflow|undefined|none   commits the fault, then exits with 3
//   sanitizer_probe expect-failure <fault>         runs `sanitizer_probe <fault>` and exits with 0 when
//                                                  that failed, as a test does that expects a program to fail

#include <climits>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

// Through a volatile pointer the compiler can neither drop an allocation nor prove a store harmless.
char* volatile g_kept = nullptr;

int commit(const char* fault)
{
    if (std::strcmp(fault, "leak") == 0) {
        g_kept = new char[64];
        g_kept = nullptr;
    } else if (std::strcmp(fault, "overflow") == 0) {
        g_kept = new char[8];
        volatile int past = 8;
        g_kept[past] = 1;
        delete[] g_kept;
    } else if (std::strcmp(fault, "undefined") == 0) {
        volatile int largest = INT_MAX;
        volatile int sum = largest + 1;
        (void)sum;
    } else if (std::strcmp(fault, "none") != 0) {
        return 2;
    }
    return 3;
}

int expectFailure(char* fault)
{
    char self[] = "/proc/self/exe";
    char* arguments[] = {self, fault, nullptr};
    pid_t child = 0;
    int status = 0;
    if (posix_spawn(&child, self, nullptr, nullptr, arguments, environ) != 0 || waitpid(child, &status, 0) != child)
        return 2;
    return WIFEXITED(status) && WEXITSTATUS(status) != 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "expect-failure") == 0)
        return expectFailure(argv[2]);
    return argc == 2 ? commit(argv[1]) : 2;
}
