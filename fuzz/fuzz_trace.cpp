// libFuzzer target "trace": arbitrary bytes behind a valid pcap file header,
// through the frame loop with a profile that uses every primitive.
#include "FuzzPipeline.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzpipeline::loadTraceProfile(4096, 4096);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzpipeline::runTraceBody(data, size);
    return 0;
}
