// One block of a filtered frame through its filter and codec, both ways. The
// block checksum stays over the original bytes; a compressed payload is the
// block's filter code and the codec's output of the filtered bytes; a stored
// block holds the original bytes, as in every frame. Runs on worker threads:
// all memory comes from the slot's Work, which grows to the block size once
// and is reused, so nothing is allocated per block at steady state.
#pragma once

#include <cstddef>
#include <cstdint>

#include <vorlex/vorlex.h>

#include "../buffer.hpp"
#include "../format.hpp"

namespace vorlex::frame::filters {

struct Work {
    Buffer a, b;                           // filtered block, and its temp
    Buffer sample, sample_a, sample_b;     // auto's trial
    Buffer trial;                          // the codec's output of a trial
};

struct Setting {
    uint8_t filter = 0;  // vorlex_filter, 1 to 4
    uint8_t typesize = 1;
};

// Extra payload room a filtered block needs: its code byte.
inline constexpr size_t CODE_BYTES = 1;

// As encode_block (block_codec.hpp), through the filter; block_form as
// there. capacity counts the code byte.
format::BlockHeader encode_filtered_block(vorlex_codec* codec, bool block_form, Setting setting,
                                          const uint8_t* in, size_t n, uint8_t* payload,
                                          size_t capacity, vorlex_options* options, Work& work);

// As decode_block: out[0..original_length) from the record's payload; temp
// holds original_length bytes. A code the header's filter does not allow, or
// one this library does not know, is an Error.
void decode_filtered_block(vorlex_codec* codec, bool block_form, Setting setting,
                           const format::BlockHeader& record, const uint8_t* payload, uint8_t* out,
                           uint8_t* temp);

// The code auto picks for in[0..n): the candidate whose filtered sample
// the codec shrinks most (auto.cpp).
uint8_t choose_code(vorlex_codec* codec, bool block_form, size_t typesize, const uint8_t* in,
                    size_t n, vorlex_options* options, Work& work);

}  // namespace vorlex::frame::filters
