// Variable bindings: a name (an object identifier) with an optional value, and
// the singly linked list of them that closes every PDU on the wire.
#pragma once

#include <cstdint>
#include <memory>

#include "snmp/values.h"

class SnmpVarbind final : public BerObject {
public:
    SnmpVarbind() = default;
    // Takes over both; value may be null, which stands for an SNMP NULL.
    SnmpVarbind(SnmpOid* name, SnmpValue* value) : name_(name), value_(value) {}
    ~SnmpVarbind() override;
    SnmpVarbind(const SnmpVarbind&) = delete;
    SnmpVarbind& operator=(const SnmpVarbind&) = delete;

    // Store the new pointer only: the caller disposes of the object replaced.
    void setName(SnmpOid* name) { name_ = name; }
    void setValue(SnmpValue* value) { value_ = value; }
    SnmpOid* name() const { return name_; }
    SnmpValue* value() const { return value_; }

    // SEQUENCE { name, value or NULL }.
    void encode(std::uint8_t*& cursor) override;
    std::int32_t encodedLength() const;

    // The following binding of a list; not owned by this binding.
    SnmpVarbind* next = nullptr;

private:
    std::uint32_t contentSize() const;

    SnmpOid* name_ = nullptr;
    SnmpValue* value_ = nullptr;
};

// A binding of parts that the caller owns until it is made: when memory runs
// out on the way, the parts go with it.
std::unique_ptr<SnmpVarbind> makeVarbind(std::unique_ptr<SnmpOid> name, std::unique_ptr<SnmpValue> value);

class SnmpVarbindList final : public BerObject {
public:
    SnmpVarbindList() = default;
    // Deletes every binding along the chain.
    ~SnmpVarbindList() override;
    SnmpVarbindList(const SnmpVarbindList&) = delete;
    SnmpVarbindList& operator=(const SnmpVarbindList&) = delete;

    // Adds the binding (and any chain behind it) at the tail. Returns the binding
    // when it became the head of an empty list, else null. Null changes nothing,
    // and so does a binding the list already holds (or a chain that leads into
    // it), which the list does not take.
    SnmpVarbind* append(SnmpVarbind* binding);
    SnmpVarbind* head() const { return head_; }
    // Makes binding the head and hands the former chain to the caller. A
    // binding the list already holds (or a chain that leads into it) is
    // refused as append refuses it: the list stays as it was, and the result
    // is null, since the list and the caller would both hold and delete it.
    SnmpVarbind* replaceHead(SnmpVarbind* binding);

    void encode(std::uint8_t*& cursor) override;
    std::int32_t encodedLength() const;

private:
    // Bytes of the bindings inside the list's SEQUENCE.
    std::uint32_t contentSize() const;
    // Whether a chain reaches a binding the list holds: every such chain
    // runs into the list's last binding.
    bool leadsInto(const SnmpVarbind* chain) const;

    SnmpVarbind* head_ = nullptr;
};
