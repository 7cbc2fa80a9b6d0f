// The tagged-field packet: the one binary format of presence packets, of the
// playlist in the now-playing block and of a peer's playlist answer.
//
// Wire format, all integers 16-bit little-endian:
//   total length (whole packet, these two bytes included; 0 when empty)
//   fields back to back: field length (data + 3), tag byte, data bytes
#pragma once

#include <cstddef>
#include <cstdint>

struct TaggedField {
    TaggedField* next = nullptr;
    TaggedField* previous = nullptr;
    uint8_t tag = 0;
    uint8_t* data = nullptr; // owned, exactly `length` bytes
    uint16_t length = 0;
};

class CTaggedPacket {
  public:
    // Size of a field's header on the wire: its length and its tag.
    static constexpr unsigned kFieldOverhead = 3;

    CTaggedPacket() = default;
    virtual ~CTaggedPacket();
    CTaggedPacket(const CTaggedPacket&) = delete;
    CTaggedPacket& operator=(const CTaggedPacket&) = delete;

    // Appends a field holding a copy of `length` bytes; equal tags are kept apart.
    void AddField(uint8_t tag, const void* data, uint16_t length);
    // The first field with this tag in wire order, or null. Valid until Clear.
    const TaggedField* FindField(uint8_t tag) const;
    // Serialised size: 0 when empty, else 2 + sum(length + 3), modulo 65536.
    uint16_t GetSize() const;
    // Writes GetSize() bytes (at least 2) to out; null out writes nothing.
    uint8_t* Serialize(uint8_t* out) const;
    // Appends the fields of the serialised packet in `in`, which holds
    // `available` bytes. Returns false when the bytes cannot be walked: fewer
    // than 2 bytes, or a field shorter than its header or reaching past the
    // total length or past the buffer. Never reads outside `in`.
    bool Parse(const uint8_t* in, size_t available);
    void Clear();

    const TaggedField* First() const { return head_; }

  private:
    TaggedField* head_ = nullptr;
};
