// The member encoder for -lh5-, -lh6- and -lh7-: an LZ parse over the method's dictionary
// and static Huffman blocks in exactly the layout readStaticBlockHeader and runStaticLoop
// read. Host tool only; the stub never calls it.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

enum class EncodeEffort : uint8_t {
  fast,  // hash chains with lazy matching
  best,  // optimal parse priced by each block's own code lengths
};

// Starts a member of kMethodLh5, kMethodLh6 or kMethodLh7 (lha/decode.h); false for any
// other method. A member holds at most 0xFFFFFFFF bytes (the header's size field).
bool startEncoder(uint32_t method, EncodeEffort effort);
// The member's next bytes. Packed bytes collect in encoderOutput() as blocks complete.
void encodeBytes(std::span<const uint8_t> bytes);
// Codes what is left and pads the last byte with zero bits.
void finishEncoder();
// Packed bytes made and not yet taken; the caller empties it when it has used them.
std::vector<uint8_t>& encoderOutput();

// A whole member in memory, start to finish.
std::vector<uint8_t> encodeMember(uint32_t method, EncodeEffort effort, std::span<const uint8_t> input);
