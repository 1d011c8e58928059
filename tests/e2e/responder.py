# A device for tests/e2e/lib.sh's start_agent_devices: "own" answers each
# GetNextRequest to port 161 of "listen" (-: any address) with its own row
# after "first" seconds, then the next column after "later"; "fresh" answers
# from a new port each time, "forge" sends a forged row from 127.0.0.1 first.
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
listen = socket_on('' if listen_on == '-' else listen_on, 161)
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
