#include "RandomNumberGenerator.h"

#include <cassert>
#include <cstdlib>

uint16_t RandomNumberGenerator::generate() {
    return static_cast<uint16_t>(std::rand() & 0xFFFF);
}

uint32_t RandomNumberGenerator::generate(uint32_t rangemin, uint32_t rangemax) {
    if (rangemin == rangemax) {
        return rangemax;
    }
    uint32_t value = static_cast<uint32_t>(std::rand());
    uint32_t ret = rangemin + (value % (rangemax - rangemin));
    assert(ret >= rangemin && ret <= rangemax);
    return ret;
}
