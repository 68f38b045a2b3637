#pragma once

// Start-up shared by the fuzz targets that run Qt code, done once from LLVMFuzzerInitialize: an
// application object, the meta-types and command kinds, a silent log (QLN_FUZZ_LOG=1 shows it)
// and a private home folder (HOME, TMPDIR and the XDG folders point into it, removed when the
// program ends) so that nothing the code under test writes lands outside it. Main thread only.

class FuzzEnvironment
{
public:
    FuzzEnvironment() = delete;

    static void setUp(int* argc, char*** argv);
    // Before each input: the settings an input may change, back to their defaults.
    static void beginInput();
    // After each input: delivers what the input posted (log lines for the views, deferred deletes);
    // with no event loop running they would pile up from one input to the next.
    static void endInput();
};
