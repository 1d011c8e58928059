# Forges ICMP port unreachables from another host about the walker's requests:
# it learns the walker's address and port from the first request to UDP port
# 161 that reaches this namespace, then sends reports that quote that request,
# from address "source", at most "rate" a second, until "seconds" have passed.
# Prints how many it sent and in how many seconds. Needs root (raw sockets).
# Usage: flood.py source rate seconds
import signal, socket, struct, sys, time
source, rate, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])

def checksum(data):
    # RFC 1071: the ones' complement of the ones' complement sum of 16-bit words.
    total = sum(struct.unpack('!%dH' % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF

# Every UDP datagram that arrives here, IP header included.
sniff = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_UDP)
print('ready', flush=True)
while True:
    request = sniff.recv(65535)
    header = (request[0] & 15) * 4
    if struct.unpack('!H', request[header + 2:header + 4])[0] == 161:
        break
sniff.close()
# RFC 792: type 3 code 3, then the datagram's IP header and its first 8 bytes.
icmp = bytes([3, 3, 0, 0, 0, 0, 0, 0]) + request[:header + 8]
icmp = icmp[:2] + struct.pack('!H', checksum(icmp)) + icmp[4:]
# The IP header by hand, from source; the system fills in its checksum.
walker = request[12:16]
packet = struct.pack('!BBHHHBBH4s4s', 0x45, 0, 20 + len(icmp), 0, 0, 64, socket.IPPROTO_ICMP, 0,
                     socket.inet_aton(source), walker) + icmp
out = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
destination = (socket.inet_ntoa(walker), 0)
sent = 0
start = time.monotonic()
# Stopped early, it still says what it sent.
stop = []
signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
while not stop:
    elapsed = time.monotonic() - start
    if elapsed >= seconds:
        break
    # In bursts of a hundred, held back to the rate.
    if sent > rate * elapsed:
        time.sleep(0.0005)
        continue
    for _ in range(100):
        try:
            out.sendto(packet, destination)
            sent += 1
        except OSError:
            pass
print(sent, round(time.monotonic() - start, 2), flush=True)
