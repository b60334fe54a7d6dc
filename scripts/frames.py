#!/usr/bin/env python3
"""A signal that numbers every frame, and what a recording of it lost.

usage: frames.py play
         writes 16-bit stereo frames to standard output until the reader goes
         away: frame n carries n & 0xFFFF in the left channel and
         (n >> 16) + 1 in the right one (as 16-bit codes), so that no frame
         is silent and each one says where it belongs
       frames.py check FILE.wav SECONDS [--report-only]
         reads the recording (16-bit or 32-bit integer, or 32-bit float; RIFF
         or RF64) a piece at a time, skips the leading silence (before the
         player's frames reached the capture) and follows the numbers: frames
         missing (a number skipped) or repeated (a number again or back), and
         the seconds captured. Passes when at least SECONDS - 0.1 s were
         captured, the leading silence is at most one 10 ms packet and no
         frame is missing or repeated; with --report-only it prints the same
         and exits 0. The 0.1 s: when a capture stops, Wine's PulseAudio
         record stream still holds the last 10 to 80 ms it took from the
         monitor (measured here on a loaded machine, nothing missing), which
         no capture client can read.
"""
import struct
import sys

PACKET_SECONDS = 0.010


def play():
    out = sys.stdout.buffer
    n = 0
    try:
        while True:
            block = bytearray()
            for i in range(n, n + 4410):
                block += struct.pack('<HH', i & 0xFFFF, ((i >> 16) + 1) & 0xFFFF)
            out.write(block)
            n += 4410
    except (BrokenPipeError, KeyboardInterrupt):
        pass


def data_chunk(f):
    head = f.read(12)
    if head[:4] not in (b'RIFF', b'RF64') or head[8:12] != b'WAVE':
        sys.exit('not a WAV file')
    fmt, ds64 = None, None
    while True:
        header = f.read(8)
        if len(header) < 8:
            sys.exit('no data chunk')
        name, size = header[:4], struct.unpack_from('<I', header, 4)[0]
        if name == b'data':
            if head[:4] == b'RF64' and size == 0xFFFFFFFF:
                size = ds64
            return fmt, size
        body = f.read(size + (size & 1))
        if name == b'fmt ':
            tag, channels, rate, _, block, bits = struct.unpack_from('<HHIIHH', body)
            if tag == 0xFFFE:
                tag = struct.unpack_from('<H', body, 24)[0]
            fmt = (tag, channels, rate, block, bits)
        elif name == b'ds64':
            ds64 = struct.unpack_from('<Q', body, 8)[0]


def codes(f, fmt, size):
    """The first two channels of every frame as 16-bit codes."""
    tag, channels, rate, block, bits = fmt
    if tag == 3 and bits == 32:
        unpack, scale = '<ff', 32768.0
    elif tag == 1 and bits == 16:
        unpack, scale = '<hh', 1
    elif tag == 1 and bits == 32:
        unpack, scale = '<ii', 1 / 65536.0
    else:
        sys.exit(f'format tag {tag} with {bits} bits is not read here')
    left = size
    while left >= block:
        piece = f.read(min(left, block * 65536))
        left -= len(piece)
        for at in range(0, len(piece) - block + 1, block):
            a, b = struct.unpack_from(unpack, piece, at)
            yield int(round(a * scale)) & 0xFFFF, int(round(b * scale)) & 0xFFFF
        if len(piece) < block:
            break


def check(path, seconds, report_only):
    with open(path, 'rb') as f:
        fmt, size = data_chunk(f)
        if fmt is None:
            sys.exit(f'{path}: no format chunk')
        rate = fmt[2]
        leading = captured = missing = repeated = 0
        expected = None
        for low, high in codes(f, fmt, size):
            if expected is None:
                if low == 0 and high == 0:
                    leading += 1
                    continue
                expected = low | ((high - 1) & 0xFFFF) << 16
            number = low | ((high - 1) & 0xFFFF) << 16
            captured += 1
            if number == expected:
                expected += 1
            elif number > expected:
                missing += number - expected
                expected = number + 1
            else:
                repeated += 1
    wanted = seconds - 0.1
    ok = captured >= wanted * rate and leading <= PACKET_SECONDS * rate and not missing and not repeated
    print(f'{path}: {captured / rate:.3f} s of numbered frames captured of {seconds:.3f} s asked, '
          f'{leading / rate * 1000:.1f} ms of leading silence, {missing} frame(s) missing, '
          f'{repeated} repeated: {"passes" if ok else "FAILS"}')
    return 0 if ok or report_only else 1


def main():
    if sys.argv[1:] == ['play']:
        play()
        return 0
    if len(sys.argv) in (4, 5) and sys.argv[1] == 'check':
        return check(sys.argv[2], float(sys.argv[3]), sys.argv[4:] == ['--report-only'])
    sys.exit(__doc__)


if __name__ == '__main__':
    sys.exit(main())
