#include "Sha256.h"

#include "BigEndian.h"

#include <array>
#include <cstdio>

namespace ZORVI {

namespace {

constexpr size_t BLOCK_SIZE = 64;
constexpr size_t LENGTH_FIELD = 8;

constexpr std::array<uint32_t, 64> ROUND_CONSTANTS = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

constexpr std::array<uint32_t, 8> INITIAL_STATE = {0x6a09e667, 0xbb67ae85, 0x3c6ef372,
                                                   0xa54ff53a, 0x510e527f, 0x9b05688c,
                                                   0x1f83d9ab, 0x5be0cd19};

uint32_t rotateRight(uint32_t value, unsigned bits)
{
    return (value >> bits) | (value << (32 - bits));
}

void compress(std::array<uint32_t, 8>& state, const uint8_t* block)
{
    std::array<uint32_t, 64> schedule;
    for (size_t i = 0; i < 16; ++i)
        schedule[i] = BigEndian::read32(block + 4 * i);
    for (size_t i = 16; i < 64; ++i) {
        const uint32_t s0 = rotateRight(schedule[i - 15], 7) ^ rotateRight(schedule[i - 15], 18)
            ^ (schedule[i - 15] >> 3);
        const uint32_t s1 = rotateRight(schedule[i - 2], 17) ^ rotateRight(schedule[i - 2], 19)
            ^ (schedule[i - 2] >> 10);
        schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
    }

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (size_t i = 0; i < 64; ++i) {
        const uint32_t sum1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        const uint32_t choice = (e & f) ^ (~e & g);
        const uint32_t t1 = h + sum1 + choice + ROUND_CONSTANTS[i] + schedule[i];
        const uint32_t sum0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = sum0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

} // namespace

std::string Sha256::hexDigest(const uint8_t* data, size_t length)
{
    std::array<uint32_t, 8> state = INITIAL_STATE;
    size_t whole = length - length % BLOCK_SIZE;
    for (size_t offset = 0; offset < whole; offset += BLOCK_SIZE)
        compress(state, data + offset);

    // The rest, the 0x80 marker and the length in bits fill one or two
    // final blocks.
    std::array<uint8_t, 2 * BLOCK_SIZE> tail{};
    const size_t rest = length - whole;
    for (size_t i = 0; i < rest; ++i)
        tail[i] = data[whole + i];
    tail[rest] = 0x80;
    const size_t tailLength = rest + 1 + LENGTH_FIELD <= BLOCK_SIZE ? BLOCK_SIZE : 2 * BLOCK_SIZE;
    const uint64_t bits = uint64_t(length) * 8;
    for (size_t i = 0; i < LENGTH_FIELD; ++i)
        tail[tailLength - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    for (size_t offset = 0; offset < tailLength; offset += BLOCK_SIZE)
        compress(state, tail.data() + offset);

    std::string hex;
    hex.reserve(64);
    char word[9];
    for (uint32_t value : state) {
        std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(value));
        hex += word;
    }
    return hex;
}

} // namespace ZORVI
