#include "wire/tagged_packet.h"

#include <cstring>

namespace {

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void WriteU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

CTaggedPacket::~CTaggedPacket() {
    Clear();
}

void CTaggedPacket::AddField(uint8_t tag, const void* data, uint16_t length) {
    auto* node = new TaggedField;
    node->tag = tag;
    node->length = length;
    node->data = new uint8_t[length ? length : 1]();
    if (length) std::memcpy(node->data, data, length);

    if (!head_) {
        head_ = node;
        return;
    }
    TaggedField* tail = head_;
    while (tail->next)
        tail = tail->next;
    tail->next = node;
    node->previous = tail;
}

const TaggedField* CTaggedPacket::FindField(uint8_t tag) const {
    for (const TaggedField* f = head_; f; f = f->next)
        if (f->tag == tag) return f;
    return nullptr;
}

uint16_t CTaggedPacket::GetSize() const {
    if (!head_) return 0;
    unsigned size = 2;
    for (const TaggedField* f = head_; f; f = f->next)
        size += f->length + kFieldOverhead;
    return static_cast<uint16_t>(size);
}

uint8_t* CTaggedPacket::Serialize(uint8_t* out) const {
    if (!out) return nullptr;
    WriteU16(out, GetSize());
    uint8_t* p = out + 2;
    for (const TaggedField* f = head_; f; f = f->next) {
        WriteU16(p, static_cast<uint16_t>(f->length + kFieldOverhead));
        p[2] = f->tag;
        if (f->length) std::memcpy(p + kFieldOverhead, f->data, f->length);
        p += f->length + kFieldOverhead;
    }
    return out;
}

bool CTaggedPacket::Parse(const uint8_t* in, size_t available) {
    if (!in || available < 2) return false;
    const size_t total = ReadU16(in);
    size_t cursor = 2;
    while (cursor < total) {
        // The field's header must lie inside both the packet and the buffer.
        if (cursor + kFieldOverhead > total || cursor + kFieldOverhead > available) return false;
        const size_t fieldLength = ReadU16(in + cursor);
        if (fieldLength < kFieldOverhead) return false;
        if (cursor + fieldLength > total || cursor + fieldLength > available) return false;
        AddField(in[cursor + 2], in + cursor + kFieldOverhead,
                 static_cast<uint16_t>(fieldLength - kFieldOverhead));
        cursor += fieldLength;
    }
    return true;
}

void CTaggedPacket::Clear() {
    TaggedField* f = head_;
    while (f) {
        TaggedField* next = f->next;
        delete[] f->data;
        delete f;
        f = next;
    }
    head_ = nullptr;
}
