# A responder for the walk tests of one agent, started inside the test's
# network namespace. Responder "own" (an address of the namespace) answers
# every GetNextRequest to port 161 of "listen" (empty: any address): the
# column's OID with its own address as the index, first, after "first"
# seconds; the next column after that, after "later" seconds. With "fresh"
# each reply comes from a new port; with "forge" a forged reply from
# 127.0.0.1, for the row of 6.6.6.6, comes before each real one. It prints
# "ready" once it listens.
# Usage: responder.py own listen first later fresh|- forge|-
import socket, sys, time
own, listen_on, first, later, fresh, forge = sys.argv[1:7]
def tlv(tag, body): return bytes([tag, len(body)]) + body
def oid(arcs):
    return tlv(6, bytes([40 * arcs[0] + arcs[1]]) + bytes(arcs[2:]))
column = [1, 3, 6, 1, 2, 1, 4, 22, 1, 2]
def reply(address, asked_column):
    numbers = [int(x) for x in address.split('.')]
    name = oid(column + [1] + numbers) if asked_column else oid(column[:-1] + [3, 1])
    value = tlv(4, bytes([2, 0, 0, 0, 0, numbers[-1]]))
    pdu = tlv(2, b'\x7b') + tlv(2, b'\x00') + tlv(2, b'\x00') + tlv(0x30, tlv(0x30, name + value))
    return tlv(0x30, tlv(2, b'\x00') + tlv(4, b'public') + tlv(0xA2, pdu))
def socket_on(address, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, port))
    return s
listen = socket_on(listen_on, 161)
answer = socket_on(own, 0)
forger = socket_on('127.0.0.1', 0)
print('ready', flush=True)
while True:
    request, sender = listen.recvfrom(4096)
    asked_column = oid(column) in request
    if forge == 'forge':
        forger.sendto(reply('6.6.6.6', asked_column), sender)
    time.sleep(float(first) if asked_column else float(later))
    if fresh == 'fresh':
        answer = socket_on(own, 0)
    answer.sendto(reply(own, asked_column), sender)
