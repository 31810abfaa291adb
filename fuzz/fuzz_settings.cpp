// libFuzzer target "settings": arbitrary bytes as the settings file, through
// loading, every getter, the profile and the write-back.
#include "FuzzPipeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzpipeline::runSettings(data, size);
    return 0;
}
