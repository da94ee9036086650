// The FastARI model and stream constants shared by the encoder and the
// decoder. Both sides must run the very same bit step, so its arithmetic
// (split point, probability update, context shift) lives here once; the
// register handling around it stays in each side's own file.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace fari {

// The model: one adaptive probability per 17-bit context of preceding bits.
constexpr unsigned CONTEXT_BITS = 17;
constexpr uint32_t CONTEXT_MASK = (uint32_t(1) << CONTEXT_BITS) - 1;  // 0x0001ffff
constexpr size_t TABLE_ENTRIES = size_t(1) << CONTEXT_BITS;
constexpr size_t TABLE_BYTES = TABLE_ENTRIES * sizeof(uint16_t);      // 256 KiB

// Probabilities of a 1 bit in units of 1/65536. Every entry starts at one
// half; an update moves it 1/16 of the way towards 0 or 0xffff, rounded down,
// which keeps it within [15, 0xfff0] so no bit ever costs infinitely much.
constexpr uint16_t PROBABILITY_START = 0x8000;
constexpr unsigned ADAPT_SHIFT = 4;

// The interval [low, high], both ends included. low starts at 1, not 0, so
// the first four bytes of every non-empty stream are non-zero and can never be
// mistaken for the empty stream.
constexpr uint32_t LOW_START = 1;
constexpr uint32_t HIGH_START = 0xffffffff;
// The width of the interval is cut to 16 bits before the multiply, so that
// (width >> 16) * p fits in 32 bits for every p the model can hold.
constexpr unsigned WIDTH_SHIFT = 16;
// low and high agree in their top byte exactly when low ^ high is below this:
// that byte can no longer change and is shifted out.
constexpr uint32_t SETTLED_BELOW = 0x01000000;
constexpr unsigned BYTE_BITS = 8;

// The stream: emitted bytes, then the final low (big-endian), then one 0x00
// that the decoder never reads but whose presence tells it the fetches of a
// complete stream never run dry.
constexpr size_t CODE_BYTES = 4;
constexpr size_t TRAILER_BYTES = CODE_BYTES + 1;
// The empty input is five zero bytes; its first four read as code value 0.
constexpr size_t EMPTY_STREAM_BYTES = 5;

// At most four renormalisation shifts per bit (after four the interval is
// the full 32-bit range again) and one at each byte boundary.
constexpr size_t MAX_SHIFTS_PER_BYTE = 4 * BYTE_BITS + 1;

// Results of the coder functions.
constexpr int FA_OK = 0;
constexpr int FA_NO_TABLE = 1;
constexpr int FA_OUTPUT_FULL = 2;  // fa_decompress: capacity reached; bounded encoder: stream too long

// The largest stream the binding reports for n input bytes. It covers every
// ordinary input, but not all: data chosen bit by bit against the model
// expands by about 4 % and passes it from a few thousand bytes on (the true
// limit is 33n + 4). Callers that hand out only this much must use the
// bounded encoder, which stops at the capacity instead. Wraps for n near
// SIZE_MAX; the host treats a bound below n as none.
constexpr size_t fari_bound(size_t n) { return n + n / 34 + 8; }

// The split point of [low, high] for probability p: [low, split] codes a 1,
// [split + 1, high] a 0. split never exceeds high since p < 0x10000. The
// coders work with lower = split - low directly.
inline uint32_t lower_width(uint32_t width, uint32_t p) { return (width >> WIDTH_SHIFT) * p; }

// The update after a 1 is p + ((0xffff - p) >> 4), after a 0 p - (p >> 4).
// Both are p plus (target - p) >> 4, shifted arithmetically, with target
// 0xffff after a 1 and 15 after a 0: floor((15 - p) / 16) = -floor(p / 16).
// One formula with a selected constant instead of two with a branch.
constexpr uint32_t TARGET_AFTER_ONE = 0xffff;
constexpr uint32_t TARGET_AFTER_ZERO = 15;
inline uint16_t adapt_towards(uint32_t p, uint32_t target) {
    return uint16_t(p + uint32_t(int32_t(target - p) >> ADAPT_SHIFT));
}

inline bool top_bytes_settled(uint32_t low, uint32_t high) { return (low ^ high) < SETTLED_BELOW; }

// Every call starts from the same model, whatever the table held before.
inline void reset_table(uint16_t* table) {
    for (size_t i = 0; i < TABLE_ENTRIES; ++i) table[i] = PROBABILITY_START;
}

}  // namespace fari
