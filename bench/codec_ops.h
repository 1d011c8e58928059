// The codec operations measured side by side: the walk's request encoded and
// the one-entry GetResponse decoded, by this library and, when it is
// installed, by net-snmp's libnetsnmp doing the same work.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "snmp/decoder.h"
#include "snmp/message.h"

#ifdef TARNWICK_WITH_NETSNMP
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/snmp_impl.h>
#endif

namespace codec {

inline const std::uint8_t kResponse[52] = {
    0x30, 0x32, 0x02, 0x01, 0x00, 0x04, 0x06, 0x70, 0x75, 0x62, 0x6C, 0x69, 0x63, 0xA2, 0x25, 0x02, 0x01, 0x7B,
    0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x1A, 0x30, 0x18, 0x06, 0x0E, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x04,
    0x16, 0x01, 0x02, 0x01, 0x0A, 0x00, 0x00, 0x01, 0x04, 0x06, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// The walk's request, made once as the walk makes it.
class OurRequest {
public:
    OurRequest() : message_(0xA1, 0) {
        message_.setCommunity("public");
        message_.setRequestId(123);
        message_.addVarbind(new SnmpVarbind(new SnmpOid("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1"), nullptr));
    }
    // As the transport sends: a buffer of exactly the encoded length, encoded, released.
    std::uint8_t encodeOnce() {
        const std::int32_t length = message_.encodedLength();
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(length));
        std::uint8_t* cursor = buffer.data();
        message_.encode(cursor);
        return buffer.data()[static_cast<std::size_t>(length) - 1];
    }

private:
    SnmpMessage message_;
};

// Decodes the GetResponse, reads what the walk reads, releases it.
inline std::int32_t ourDecodeOnce() {
    SnmpMessageDecoder decoder(kResponse, sizeof kResponse);
    std::unique_ptr<SnmpMessage> message(decoder.release());
    return message->requestId();
}

#ifdef TARNWICK_WITH_NETSNMP
class NetSnmpRequest {
public:
    NetSnmpRequest() {
        snmp_sess_init(&session_);
        session_.version = SNMP_VERSION_1;
        session_.community = community_;
        session_.community_len = 6;
        pdu_ = snmp_pdu_create(SNMP_MSG_GETNEXT);
        pdu_->reqid = 123;
        pdu_->version = SNMP_VERSION_1;
        static const oid name[] = {1, 3, 6, 1, 2, 1, 4, 22, 1, 2, 1, 10, 0, 0, 1};
        snmp_add_null_var(pdu_, name, sizeof name / sizeof name[0]);
    }
    ~NetSnmpRequest() { snmp_free_pdu(pdu_); }
    std::uint8_t encodeOnce() {
        size_t length = 1472;
        size_t offset = 0;
        auto* buffer = static_cast<u_char*>(std::malloc(length));
        // Built from the end of the buffer towards its start, net-snmp's default.
        if (snmp_build(&buffer, &length, &offset, &session_, pdu_) != 0) std::abort();
        const std::uint8_t last = buffer[length - 1];
        std::free(buffer);
        return last;
    }

private:
    netsnmp_session session_{};
    u_char community_[7] = "public";
    netsnmp_pdu* pdu_ = nullptr;
};

inline std::int32_t netSnmpDecodeOnce() {
    u_char data[sizeof kResponse];
    std::copy(kResponse, kResponse + sizeof kResponse, data);
    size_t length = sizeof data;
    u_char community[256];
    size_t communityLength = sizeof community;
    long version = 0;
    u_char* pduStart = snmp_comstr_parse(data, &length, community, &communityLength, &version);
    netsnmp_pdu* pdu = snmp_pdu_create(0);
    snmp_pdu_parse(pdu, pduStart, &length);
    const auto requestId = static_cast<std::int32_t>(pdu->reqid);
    snmp_free_pdu(pdu);
    return requestId;
}

inline void netSnmpInit() { init_snmp("tarnwick-bench"); }
#endif

}  // namespace codec
