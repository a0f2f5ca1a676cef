#pragma once

#include "sim_codecs.h"

#include <cstddef>
#include <cstdint>

namespace tallybird::sim {

// The scanner's NOR flash: erased bytes read 255; an erase sets a whole
// 4096-byte sector to 255; a program can only clear bits (it ANDs its bytes
// into memory) and wraps inside its 256-byte page, as NOR flash page
// programming does. Addresses beyond the end wrap around the memory.
class FlashMemory {
public:
    static constexpr std::size_t kSectorBytes = 4096;
    static constexpr std::size_t kPageBytes = 256;

    explicit FlashMemory(std::size_t size);

    std::size_t Size() const { return bytes_.size(); }
    // The sector holding `address` becomes 255.
    void EraseSector(std::uint32_t address);
    void EraseAll();
    // ANDs `data` into memory from `address`; byte i lands at
    // page start + (address + i) mod 256.
    void Program(std::uint32_t address, ByteView data);
    Bytes Read(std::uint32_t address, std::size_t count) const;
    std::uint8_t At(std::uint32_t address) const { return bytes_[address % bytes_.size()]; }
    // Sets bytes as they are (initial contents), not as a program would.
    void Load(std::uint32_t address, ByteView data);
    const Bytes& Contents() const { return bytes_; }

private:
    Bytes bytes_;
};

} // namespace tallybird::sim
