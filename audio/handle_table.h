#pragma once

// Objects behind 32-bit handles that are never reused while the process
// runs: a handle is [kind:4][generation:20][index:8]. Each slot's generation
// grows with every object it holds; a slot whose generation runs out is
// retired. A stale handle (older generation, other kind) finds nothing.
// Not thread-safe: the engine's lock guards it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace audio {

template <typename T, std::size_t Capacity> class HandleTable {
    static_assert(Capacity <= 256, "the index has 8 bits");

public:
    static constexpr uint32_t kIndexBits = 8;
    static constexpr uint32_t kGenerationBits = 20;
    static constexpr uint32_t kMaxGeneration = (1u << kGenerationBits) - 1;

    // `kind` (1..15) tells the handles of different tables apart.
    explicit HandleTable(uint32_t kind) : kind_(kind) {}

    // Stores `item` and returns its handle; 0 (and `item` kept by the
    // caller) when every slot is taken.
    uint32_t Insert(std::unique_ptr<T> &item) {
        // Round robin, so that slots age evenly.
        for (std::size_t n = 0; n < Capacity; ++n) {
            const std::size_t i = (next_ + n) % Capacity;
            Slot &slot = slots_[i];
            if (slot.item || slot.generation == kMaxGeneration)
                continue;
            next_ = (i + 1) % Capacity;
            ++slot.generation;
            slot.item = std::move(item);
            return kind_ << (kIndexBits + kGenerationBits) | slot.generation << kIndexBits |
                   static_cast<uint32_t>(i);
        }
        return 0;
    }

    T *Find(uint32_t handle) const {
        const Slot *slot = slotOf(handle);
        return slot != nullptr ? slot->item.get() : nullptr;
    }

    std::unique_ptr<T> Remove(uint32_t handle) {
        Slot *slot = const_cast<Slot *>(slotOf(handle));
        return slot != nullptr ? std::move(slot->item) : nullptr;
    }

    // The slot index of a valid handle (0..Capacity-1).
    static std::size_t IndexOf(uint32_t handle) { return handle & ((1u << kIndexBits) - 1); }

    template <typename F> void ForEach(F &&f) const {
        for (const Slot &slot : slots_) {
            if (slot.item)
                f(*slot.item);
        }
    }

private:
    struct Slot {
        std::unique_ptr<T> item;
        uint32_t generation = 0;
    };

    const Slot *slotOf(uint32_t handle) const {
        if (handle >> (kIndexBits + kGenerationBits) != kind_)
            return nullptr;
        const std::size_t index = IndexOf(handle);
        if (index >= Capacity)
            return nullptr;
        const Slot &slot = slots_[index];
        const uint32_t generation = (handle >> kIndexBits) & kMaxGeneration;
        return slot.item && slot.generation == generation ? &slot : nullptr;
    }

    const uint32_t kind_;
    std::array<Slot, Capacity> slots_{};
    std::size_t next_ = 0;
};

} // namespace audio
