#include "flash_memory.h"

namespace tallybird::sim {

FlashMemory::FlashMemory(std::size_t size) : bytes_(size, 0xFF) {}

void FlashMemory::EraseSector(std::uint32_t address) {
    const std::size_t start = (address % bytes_.size()) / kSectorBytes * kSectorBytes;
    for (std::size_t i = start; i < start + kSectorBytes && i < bytes_.size(); ++i) {
        bytes_[i] = 0xFF;
    }
}

void FlashMemory::EraseAll() {
    bytes_.assign(bytes_.size(), 0xFF);
}

void FlashMemory::Program(std::uint32_t address, ByteView data) {
    const std::size_t start = address % bytes_.size();
    const std::size_t page = start / kPageBytes * kPageBytes;
    std::size_t offset = start - page;
    for (std::uint8_t byte : data) {
        bytes_[page + offset] &= byte;
        offset = (offset + 1) % kPageBytes;
    }
}

Bytes FlashMemory::Read(std::uint32_t address, std::size_t count) const {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = bytes_[(address + i) % bytes_.size()];
    }
    return out;
}

void FlashMemory::Load(std::uint32_t address, ByteView data) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        bytes_[(address + i) % bytes_.size()] = data[i];
    }
}

} // namespace tallybird::sim
