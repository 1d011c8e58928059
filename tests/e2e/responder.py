# A device for the one-agent tests: "own" answers each GetNextRequest to port
# 161 of "listen" (-: any address) with its own row after "first" seconds,
# then the next column after "later"; "fresh" answers from a new port each
# time; "forge" names an address from which a forged row goes out first (-:
# none). "stray" answers, instead of rows, with only what cannot answer: a
# reply without a binding, one with request-id 124, and a Trap. "lossy"
# answers as "row" does, but not the second request that comes. "restart"
# serves three rows (10.122.9.1 to .3); asked for the third, it stops
# listening for seven seconds, as an agent that restarts, and then answers.
# "table" serves "count" rows (10.122.9.1 onwards), each after "first" seconds.
# Usage: responder.py own listen first later fresh|- forge|- row|stray|lossy|restart|table [count]
import socket, sys, time
own, listen_on, first, later, fresh, forge, kind = sys.argv[1:8]
count = int(sys.argv[8]) if len(sys.argv) > 8 else 3

def length(n):
    # X.690 8.1.3: the short form below 128; else 0x80 | k, then k bytes.
    if n < 128:
        return bytes([n])
    body = n.to_bytes((n.bit_length() + 7) // 8, 'big')
    return bytes([0x80 | len(body)]) + body

def tlv(tag, body):
    return bytes([tag]) + length(len(body)) + body

def integer(n):
    # The shortest two's-complement form: one bit more than the value needs.
    return tlv(2, n.to_bytes(n.bit_length() // 8 + 1, 'big', signed=True))

def subid(n):
    # X.690 8.19.2: base 128, most significant group first, the top bit set
    # on every byte but the last.
    groups = [n & 0x7F]
    while n > 0x7F:
        n >>= 7
        groups.insert(0, 0x80 | (n & 0x7F))
    return bytes(groups)

def oid(arcs):
    return tlv(6, subid(40 * arcs[0] + arcs[1]) + b''.join(subid(a) for a in arcs[2:]))

def message(pdu_tag, fields, bindings):
    varbinds = b''.join(tlv(0x30, name + value) for name, value in bindings)
    return tlv(0x30, integer(0) + tlv(4, b'public') + tlv(pdu_tag, fields + tlv(0x30, varbinds)))

column = [1, 3, 6, 1, 2, 1, 4, 22, 1, 2]

def response(request_id, bindings):
    return message(0xA2, integer(request_id) + integer(0) + integer(0), bindings)

def row(address, asked_column, request_id=123):
    numbers = [int(x) for x in address.split('.')]
    name = oid(column + [1] + numbers) if asked_column else oid(column[:-1] + [3, 1])
    return response(request_id, [(name, tlv(4, bytes([2, 0, 0, 0, 0, numbers[-1]])))])

def trap(address):
    fields = oid([1, 3, 6, 1, 4, 1, 8072]) + tlv(0x40, socket.inet_aton(address)) + integer(0) + integer(0)
    return message(0xA4, fields + tlv(0x43, b'\x00'), [])

def socket_on(address, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, port))
    return s

listen = socket_on('' if listen_on == '-' else listen_on, 161)
answer = socket_on(own, 0)
forger = socket_on(forge, 0) if forge != '-' else None
print('ready', flush=True)
if kind in ('restart', 'table'):
    addresses = ['10.122.%d.%d' % (9 + n // 200, n % 200 + 1) for n in range(count)]
    names = [oid(column)] + [oid(column + [1] + [int(x) for x in a.split('.')]) for a in addresses]
    restarted = False
    while True:
        request, sender = listen.recvfrom(4096)
        asked = max(i for i, name in enumerate(names) if name in request)
        if kind == 'restart' and asked == 2 and not restarted:
            restarted = True
            listen.close()
            time.sleep(7)
            listen = socket_on('' if listen_on == '-' else listen_on, 161)
            continue
        time.sleep(float(first))
        answer.sendto(row(addresses[asked], True) if asked < count else row(own, False), sender)
count = 0
while True:
    request, sender = listen.recvfrom(4096)
    count += 1
    if kind == 'lossy' and count == 2:
        continue
    asked_column = oid(column) in request
    if forger:
        forger.sendto(row('6.6.6.6', asked_column), sender)
    time.sleep(float(first) if asked_column else float(later))
    if fresh == 'fresh':
        answer = socket_on(own, 0)
    if kind == 'stray':
        for datagram in (response(123, []), row(own, asked_column, 124), trap(own)):
            answer.sendto(datagram, sender)
    else:
        answer.sendto(row(own, asked_column), sender)
