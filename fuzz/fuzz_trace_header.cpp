// libFuzzer target "trace_header": arbitrary bytes as the whole trace, the
// pcap file header included. Odd block sizes exercise the buffer edges.
#include "FuzzPipeline.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzpipeline::loadTraceProfile(13, 7);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzpipeline::runTrace(data, size);
    return 0;
}
