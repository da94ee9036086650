// One block through its codec, both ways, with the rules that make a frame a
// function of its input alone. Runs on worker threads: everything here is
// reentrant and reaches codecs only through the host's public API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <vorlex/vorlex.h>

#include "format.hpp"

namespace vorlex::frame {

// Output room to offer for n input bytes: the codec's worst case, or n plus
// a margin when it names none. Not a promise for brieflz and fari, whose
// worst case covers ordinary data only: they answer OUTPUT_FULL beyond it.
size_t compress_capacity(vorlex_codec* codec, size_t n);

// The codec's output for in[0..n) in payload[0..capacity), zeroed at its
// head first (see encode_block): its length when shorter than n, else 0 (the
// block is to be stored). Throws Error as encode_block does. block_form: in
// the codec's block form, as for encode_block.
size_t compress_payload(vorlex_codec* codec, bool block_form, const uint8_t* in, size_t n,
                        uint8_t* payload, size_t capacity, vorlex_options* options);
// Decode payload[0..length) into exactly n bytes at out; throws Error.
void decompress_payload(vorlex_codec* codec, bool block_form, const uint8_t* payload,
                        size_t length, uint8_t* out, size_t n);

// Compress in[0..n) into payload[0..capacity) and describe the record: kind
// compressed when the codec's output is shorter than n, else stored (the
// payload is then unused). A codec that refuses the block, or whose worst
// case was too small, gets it stored; any other failure of the codec is a
// fault of this run and throws Error. The head of payload is zeroed first: a
// quicklz block padded to its minimum length carries filler that the codec
// takes from whatever the output held, and reused buffers would otherwise
// let it leak from an earlier block (which block, depends on the threads).
// options (NULL: the codec's defaults) go to every vorlex_compress.
// block_form: in the codec's block form (vorlex_compress_block) instead.
format::BlockHeader encode_block(vorlex_codec* codec, bool block_form, const uint8_t* in, size_t n,
                                 uint8_t* payload, size_t capacity, vorlex_options* options);

// Decode a record's payload into out[0..original_length) (stored: copied)
// and check the block checksum. Throws Error with what was wrong ("checksum
// mismatch"); the caller names the block.
void decode_block(vorlex_codec* codec, bool block_form, const format::BlockHeader& record,
                  const uint8_t* payload, uint8_t* out);

// Check the block checksum of out[0..original_length) only (a stored payload
// decoded in place).
void check_block(const format::BlockHeader& record, const uint8_t* out);

// "unknown codec 'NAME' (reason from the host)".
std::string codec_unavailable(const std::string& name);

}  // namespace vorlex::frame
