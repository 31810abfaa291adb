// libFuzzer target "primitive": attribute maps and fields decoded from the
// bytes, through AnonFactory::create and anonymizeChain.
#include "FuzzPipeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzpipeline::runPrimitives(data, size);
    return 0;
}
