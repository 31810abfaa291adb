#include "OwnedBytes.h"

#include <cstdlib>
#include <cstring>

uint8_t* copyOwnedBytes(const uint8_t* block, uint32_t length) {
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(length > 0 ? length : 1));
    if (length > 0) {
        std::memcpy(copy, block, length);
    }
    return copy;
}

void assignOwnedBytes(uint8_t*& block, uint32_t& blockLength, const uint8_t* data,
                      uint32_t length) {
    if (length == 0) {
        std::free(block);
        block = nullptr;
        blockLength = 0;
        return;
    }
    block = static_cast<uint8_t*>(std::realloc(block, length));
    std::memcpy(block, data, length);
    blockLength = length;
}

void adoptOwnedBytes(uint8_t*& block, uint32_t& blockLength, uint8_t* data, uint32_t length) {
    std::free(block);
    if (length == 0) {
        std::free(data);
        data = nullptr;
    }
    block = data;
    blockLength = length;
}
