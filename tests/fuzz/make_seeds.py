#!/usr/bin/env python3
# Writes the seed corpora of the fuzz targets: the shipped example images, scenarios, preferences
# and vendor list, a saved database, and answer scripts built from the frames the tests use.
import os, struct, sys

root = os.path.dirname(os.path.abspath(__file__))
src = os.path.abspath(os.path.join(root, '..', '..'))
corpus = os.path.join(root, 'corpus')

HOST = bytes([0x02, 0, 0, 0, 0, 0x10])
LOCAL = bytes([0x00, 0xB0, 0x52, 0x00, 0x00, 0x20])
STATIONS = [bytes([0x00, 0xB0, 0x52, 0x00, 0x00, 0x30 + n]) for n in range(3)]
# Another host on the segment, sending in its own name and in the host's.
SPOOF = bytes([0x02, 0, 0, 0, 0x66, 0x66])

def put(target, name, data):
    os.makedirs(os.path.join(corpus, target), exist_ok=True)
    with open(os.path.join(corpus, target, name), 'wb') as f:
        f.write(data)

def read(path):
    with open(os.path.join(src, path), 'rb') as f:
        return f.read()

def av(mmtype, payload, source=LOCAL, dest=HOST):
    frame = dest + source + b'\x88\xe1' + b'\x00' + struct.pack('<H', mmtype) + b'\x00\xb0\x52'
    frame += payload
    return frame + bytes(max(0, 60 - len(frame)))

def version(text, source=LOCAL):
    body = text.encode()
    return av(0xA001, bytes([0, 2, len(body)]) + body, source)

def network_info(stations, source=LOCAL):
    body = bytes([1]) + bytes(17) + bytes([len(stations)])
    for mac in stations:
        body += mac + bytes(7) + bytes([120]) + bytes(1)
    return av(0xA039, body, source)

def hp10(entry_type, data, source, dest=HOST):
    return dest + source + b'\x88\x7b' + bytes([1, entry_type, len(data)]) + data

def script(answers):
    # Each request answered by the frames listed for it: a count, then length-prefixed frames.
    out = b''
    for frames in answers:
        out += bytes([len(frames)])
        for frame in frames:
            out += struct.pack('>H', len(frame)) + frame
    return out

firmware = 'QCA7420-MAC-1-2-3-4'
av_answers = [[version(firmware)], [version(firmware)], [network_info(STATIONS)]] + \
             [[version(firmware, mac)] for mac in STATIONS]
put('av_network_fuzz', 'stations', script(av_answers))
put('av_network_fuzz', 'group-station', script(
    [[version(firmware)], [version(firmware)], [network_info([b'\x01\x00\x5e\x00\x00\x01'])]]))
# Every answer preceded by the same answer from another address and from the host's own.
spoofed_answers = [[version('forged', SPOOF), version('own', HOST), version(firmware)],
                   [version(firmware), version('forged', SPOOF)],
                   [network_info([SPOOF], SPOOF), network_info([HOST], HOST),
                    network_info(STATIONS)]] + \
                  [[version('forged', SPOOF), version(firmware, mac)] for mac in STATIONS]
put('av_network_fuzz', 'spoofed', script(spoofed_answers))
put('av_decoder_fuzz', 'version', b'\x00' + script([[version(firmware)]])[1:])
put('av_decoder_fuzz', 'network-info', b'\x00' + script([[network_info(STATIONS)]])[1:])
put('av_decoder_fuzz', 'read', b'\x01' + script([[av(0xA025, bytes(20))]])[1:])

def request(kind, ident, body=b''):
    message = bytes([kind]) + struct.pack('<I', ident) + body
    return struct.pack('>H', len(message)) + message

def sent(ident, frame, answers):
    # A Send on handle 0, then how many frames the wire hands back and the frames.
    out = request(4, ident, struct.pack('<H', 0) + frame) + bytes([len(answers)])
    for answer in answers:
        out += struct.pack('>H', len(answer)) + answer
    return out

ipv4 = HOST + LOCAL + b'\x08\x00' + bytes(46)
put('capture_request_fuzz', 'session',
    request(1, 1) + request(2, 2, b'eth0') + sent(3, version(firmware, HOST), [version(firmware)]) +
    request(3, 4, struct.pack('<H', 0)) + request(5, 5))
put('capture_request_fuzz', 'refused',
    request(2, 1, b'eth0') + request(1, 2) + request(2, 3, b'lo') + request(2, 4, b'eth1') +
    request(4, 5, struct.pack('<H', 0) + ipv4) + request(9, 6) + request(3, 7, b'\x05\x00') +
    request(4, 8, struct.pack('<H', 7) + version(firmware, HOST)))
put('capture_request_fuzz', 'unfiltered-answers',
    request(1, 1) + request(2, 2, b'eth1') +
    sent(3, version(firmware, HOST), [ipv4, b'\x88\xe1', network_info(STATIONS)]))

station_answers = [hp10(0x08, bytes(8), mac) for mac in STATIONS]
local_stats = hp10(0x1A, bytes([0x02]) + bytes(200), LOCAL)
put('hp10_replies_fuzz', 'stations', bytes([0, 4]) + script([station_answers + [local_stats]])[1:] +
    script([[local_stats]]))
put('wire_scan_fuzz', 'av', script(av_answers * 2))
put('wire_scan_fuzz', 'hp10', script([[], [], [local_stats], station_answers, [local_stats]] * 2))
put('wire_scan_fuzz', 'av-spoofed', script(spoofed_answers * 2))
host_stats = hp10(0x1A, bytes([0x02]) + bytes(200), HOST)
host_self = hp10(0x08, bytes(8), HOST, HOST)
put('wire_scan_fuzz', 'hp10-host', script(
    [[], [], [host_self, host_stats, local_stats], [host_self] + station_answers,
     [host_stats, local_stats]] * 2))

def frames(*items):
    return b''.join(struct.pack('>H', len(f)) + f for f in items)

# Link health confirmations: statistics of both directions with six intervals, full transmit
# and receive tone maps (a notch of unmodulated carriers), a reset, and refusals.
counters = lambda n, base: b''.join(struct.pack('<Q', base + i) for i in range(n))
interval = lambda rate, base: bytes([rate]) + counters(4, base)
rx_block = counters(6, 100) + bytes([6]) + b''.join(interval(180 - 10 * i, 200 + 4 * i)
                                                    for i in range(6))
tone_map = bytes([0x77] * 100 + [0x00] * 20 + [0x77] * 457 + [0x07])
put('health_decoder_fuzz', 'link-stats', frames(
    av(0xA031, bytes([0, 2, 0xF8, 2]) + counters(5, 1) + rx_block),
    av(0xA031, bytes([0, 0, 0xF8, 2]) + counters(5, 1)),
    av(0xA031, bytes([0x20, 2, 0xF8, 0]))))
put('health_decoder_fuzz', 'tone-maps', frames(
    av(0xA071, bytes([0, 0, 1]) + struct.pack('<H', 1155) + tone_map),
    av(0xA091, bytes([0, 0, 1]) + struct.pack('<H', 1155) + tone_map + bytes([1, 0x10, 0])),
    av(0xA071, bytes([2, 1, 1]) + struct.pack('<H', 0))))
put('health_decoder_fuzz', 'reset', frames(av(0xA01D, bytes([0])), av(0xA01D, bytes([1]))))

put('pib_fuzz', 'example.pib', read('data/examples/example.pib'))
put('nvm_fuzz', 'example.nvm', read('data/examples/example.nvm'))

def newer_chain(images):
    """Images behind sealed 96-byte headers of version 1.1: (module type, bytes) each."""
    out, previous = b'', 0xFFFFFFFF
    for i, (module, image) in enumerate(images):
        at = len(out)
        nxt = at + 96 + len(image) if i + 1 < len(images) else 0xFFFFFFFF
        words = struct.unpack('<%dI' % (len(image) // 4), image[:len(image) // 4 * 4])
        check = 0
        for w in words:
            check ^= w
        header = struct.pack('<HHIIIIIIIII', 1, 1, 0, at + 96, 0x00100000, len(image),
                             ~check & 0xFFFFFFFF, 0, nxt, previous, module) + bytes(52)
        seal = 0
        for w in struct.unpack('<23I', header):
            seal ^= w
        out += header + struct.pack('<I', ~seal & 0xFFFFFFFF) + image
        previous = at
    return out

pib = read('data/examples/example.pib')
put('nvm_fuzz', 'newer-chain', newer_chain([(4, bytes(range(256)) * 4), (15, pib)]))
put('pib_fuzz', 'newer-pib', newer_chain([(15, pib)]))
for name in sorted(os.listdir(os.path.join(src, 'sim/scenarios'))):
    put('scenario_fuzz', name, read('sim/scenarios/' + name))
put('scenario_fuzz', 'demo-scenario.json', read('data/demo-scenario.json'))

put('store_fuzz', 'preferences', b'\x01' + read('data/OEMPrefs.dat'))
put('store_fuzz', 'vendor-list', b'\x02' + read('data/OUIList.txt')[:4000])
database = struct.pack('<ii', 306, 0) + bytes(8 * 16426) + struct.pack('<i', 1)
record = b'Device 1'.ljust(35, b'\0') + STATIONS[0] + bytes(198 - 41)
layout = struct.pack('<5i5iii', 0, 1, 2, 3, 4, 100, 100, 100, 100, 100, 1, 1)
put('store_fuzz', 'database', b'\x00' + database + record + layout)
