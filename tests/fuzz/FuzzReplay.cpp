// main() of a fuzz target built without libFuzzer: runs the target once over every file named on
// the command line or found in a named folder, so that CTest replays the seeds and the regressions
// in every build. Flags (arguments starting with '-') are libFuzzer's and are ignored, except
// -timeout=<seconds>, which ends the replay when one input runs longer than that. Files ending in
// ".md" are notes, not inputs.

#include "tests/fuzz/FuzzTarget.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <csignal>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char* const kTimeoutFlag = "-timeout=";
const char* g_current = "";    // the input running now, for the time-out message

void onAlarm(int)
{
    const char prefix[] = "fuzz replay: input ran longer than its time-out: ";
    // Only async-signal-safe calls here.
    (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
    (void)!write(STDERR_FILENO, g_current, std::strlen(g_current));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(70);
}

bool isNote(const fs::path& path)
{
    return path.extension() == ".md";
}

// The inputs an argument names, sorted; false when it names nothing that exists.
bool collectInputs(const std::string& argument, std::vector<fs::path>& inputs)
{
    std::error_code error;
    const fs::path path(argument);
    if (fs::is_regular_file(path, error)) {
        inputs.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, error))
        return false;
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
        if (entry.is_regular_file(error) && !isNote(entry.path()))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return !error;
}

// The input in a heap block of exactly its size, so that a sanitizer sees every read past its end.
std::vector<uint8_t> readInput(const fs::path& path, bool& ok)
{
    std::ifstream stream(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    ok = !stream.bad();
    bytes.shrink_to_fit();
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);

    unsigned timeoutSeconds = 0;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string argument(argv[i]);
        if (argument.rfind(kTimeoutFlag, 0) == 0) {
            timeoutSeconds = static_cast<unsigned>(std::strtoul(argv[i] + std::strlen(kTimeoutFlag), nullptr, 10));
            continue;
        }
        if (argument.empty() || argument[0] == '-')
            continue;
        if (!collectInputs(argument, inputs)) {
            std::fprintf(stderr, "fuzz replay: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    if (timeoutSeconds > 0)
        std::signal(SIGALRM, onAlarm);

    for (const fs::path& input : inputs) {
        const std::string name = input.string();
        bool ok = false;
        std::vector<uint8_t> bytes = readInput(input, ok);
        if (!ok) {
            std::fprintf(stderr, "fuzz replay: cannot read %s\n", name.c_str());
            return 1;
        }
        g_current = name.c_str();
        alarm(timeoutSeconds);
        LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
        alarm(0);
    }
    std::printf("fuzz replay: %zu inputs, no failure\n", inputs.size());
    return 0;
}
