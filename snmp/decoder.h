// Turns one received datagram into a message. It never reads past the bytes
// received: a datagram whose elements run past them yields no message, so a
// damaged reply is never taken for a short one.
#pragma once

#include <cstdint>
#include <memory>

#include "snmp/message.h"

class SnmpMessageDecoder {
public:
    // Decodes at once; afterwards the decoder holds the message, or none.
    SnmpMessageDecoder(const std::uint8_t* bytes, std::int32_t count);
    // Deletes a message that was not released.
    ~SnmpMessageDecoder();
    SnmpMessageDecoder(const SnmpMessageDecoder&) = delete;
    SnmpMessageDecoder& operator=(const SnmpMessageDecoder&) = delete;

    // Hands the message (or null) to the caller, who owns it from then on.
    SnmpMessage* release();

private:
    bool decode(const std::uint8_t* bytes, std::int32_t count, std::unique_ptr<SnmpMessage>& out);

    bool owns_ = true;
    SnmpMessage* message_ = nullptr;
};
