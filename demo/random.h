// The demo's random generator: a 32-bit linear congruential generator.
//
// The state lives in the caller's record, so a run (and a test) can reproduce
// every draw from a known seed.
#pragma once

#include <cstdint>

struct RandomGenerator {
    uint32_t state = 0;
};

// Sets the state to the current calendar time in whole seconds since 1970.
void seed_random(RandomGenerator& random);

// One draw: state = state * 214013 + 2531011 (mod 2^32); returns bits 16..30 of
// the new state, a value 0..32767.
int random_value(RandomGenerator& random);
