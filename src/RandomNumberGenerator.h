#ifndef VEILCAP_RANDOMNUMBERGENERATOR_H
#define VEILCAP_RANDOMNUMBERGENERATOR_H

#include <cstdint>

// The one random source of the process: the C library's rand(), never
// seeded, so every run draws the same sequence and a given input and
// profile always give the same output.
class RandomNumberGenerator {
  public:
    // The low 16 bits of one rand() value.
    static uint16_t generate();

    // A value in [rangemin, rangemax - 1]; rangemax itself when both are
    // equal, without drawing.
    static uint32_t generate(uint32_t rangemin, uint32_t rangemax);
};

#endif
