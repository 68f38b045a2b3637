// Fuzz target: the command-line option parser. The input split at NUL bytes is the argument
// vector after the program name.

#include "app/ArgParser.h"
#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/FuzzTarget.h"

#include <getopt.h>

#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzEnvironment::setUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzEnvironment::beginInput();

    // Each argument ends at a NUL byte or at the end of the input: the arguments point into one
    // copy of the input with a NUL after its last byte.
    std::vector<char> texts(data, data + size);
    texts.push_back('\0');
    char program[] = "quillonlite";
    std::vector<char*> argv{program};
    for (size_t start = 0; start < size; ++start) {
        argv.push_back(&texts[start]);
        while (texts[start] != '\0')
            ++start;
    }
    argv.push_back(nullptr);

    ArgParser::Options options;
    optind = 0;
    ArgParser::generateTask(static_cast<int>(argv.size() - 1), argv.data(), options);
    options.isValid();
    FuzzEnvironment::endInput();
    return 0;
}
