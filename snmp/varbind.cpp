#include "snmp/varbind.h"

namespace {
// An absent value goes on the wire as NULL: 05 00.
constexpr std::uint32_t kNullSize = 2;
}  // namespace

SnmpVarbind::~SnmpVarbind() {
    delete name_;
    delete value_;
}

std::uint32_t SnmpVarbind::contentSize() const {
    return (name_ != nullptr ? name_->encodedSize() : 0) + (value_ != nullptr ? value_->encodedSize() : kNullSize);
}

std::int32_t SnmpVarbind::encodedLength() const { return static_cast<std::int32_t>(elementSize(contentSize())); }

void SnmpVarbind::encode(std::uint8_t*& cursor) {
    writeHeader(cursor, tags::kSequence, contentSize());
    if (name_ != nullptr) name_->encode(cursor);
    if (value_ != nullptr) {
        value_->encode(cursor);
    } else {
        writeHeader(cursor, tags::kNull, 0);
    }
}

std::unique_ptr<SnmpVarbind> makeVarbind(std::unique_ptr<SnmpOid> name, std::unique_ptr<SnmpValue> value) {
    auto binding = std::make_unique<SnmpVarbind>(name.get(), value.get());
    name.release();
    value.release();
    return binding;
}

SnmpVarbindList::~SnmpVarbindList() {
    SnmpVarbind* binding = head_;
    while (binding != nullptr) {
        SnmpVarbind* next = binding->next;
        delete binding;
        binding = next;
    }
}

bool SnmpVarbindList::leadsInto(const SnmpVarbind* chain) const {
    const SnmpVarbind* last = head_;
    while (last != nullptr && last->next != nullptr) last = last->next;
    for (const SnmpVarbind* b = chain; b != nullptr && last != nullptr; b = b->next) {
        if (b == last) return true;
    }
    return false;
}

SnmpVarbind* SnmpVarbindList::append(SnmpVarbind* binding) {
    if (head_ == nullptr) {
        head_ = binding;
        return binding;
    }
    // A binding the list already holds, or a chain that leads into the list,
    // would close a loop: the list would never end, and its bindings would be
    // deleted twice. Such an append is refused.
    if (leadsInto(binding)) return nullptr;
    SnmpVarbind* last = head_;
    while (last->next != nullptr) last = last->next;
    last->next = binding;
    return nullptr;
}

SnmpVarbind* SnmpVarbindList::replaceHead(SnmpVarbind* binding) {
    if (leadsInto(binding)) return nullptr;
    SnmpVarbind* former = head_;
    head_ = binding;
    return former;
}

std::uint32_t SnmpVarbindList::contentSize() const {
    std::uint32_t size = 0;
    for (const SnmpVarbind* b = head_; b != nullptr; b = b->next) size += static_cast<std::uint32_t>(b->encodedLength());
    return size;
}

std::int32_t SnmpVarbindList::encodedLength() const { return static_cast<std::int32_t>(elementSize(contentSize())); }

void SnmpVarbindList::encode(std::uint8_t*& cursor) {
    writeHeader(cursor, tags::kSequence, contentSize());
    for (SnmpVarbind* b = head_; b != nullptr; b = b->next) b->encode(cursor);
}
