#!/usr/bin/env python3
"""Checks a WAV recorded from the test endpoint through the loopback source.

usage: check_loopback_wav.py FILE MIN_SECONDS

The test endpoint plays a triangle wave per channel (period 100 + 10 x channel
frames, half of full scale) from frame 0 on. This checks the header (extensible,
float or integer sub-type) and every sample of the data chunk against that
wave, and that at least MIN_SECONDS of audio arrived.
"""
import struct
import sys
from math import gcd


def level(frame, channel):
    period = 100 + 10 * (channel % 64)
    phase = frame % period
    amp = 1 << 22
    if phase * 2 < period:
        return -amp + 4 * amp * phase // period
    return 3 * amp - 4 * amp * phase // period


def sample_bytes(frame, channel, is_float, bits):
    if is_float:
        return struct.pack('<f', level(frame, channel) / 8388608.0)
    s = ((level(frame, channel) << 8) & 0xFFFFFFFF) | ((frame + 31 * channel) & 0xFF)
    return s.to_bytes(4, 'little')[4 - bits // 8:]


def read_header(f):
    """The fmt chunk's bytes and the data chunk's offset and size, for RIFF and
    RF64 (whose ds64 chunk holds the 64-bit data size)."""
    head = f.read(12)
    if head[:4] not in (b'RIFF', b'RF64') or head[8:12] != b'WAVE':
        return None, None, None
    fmt, ds64_data = None, None
    while True:
        header = f.read(8)
        if len(header) < 8:
            return fmt, None, None
        name, size = header[:4], struct.unpack_from('<I', header, 4)[0]
        if name == b'data':
            if head[:4] == b'RF64' and size == 0xFFFFFFFF:
                size = ds64_data
            return fmt, f.tell(), size
        body = f.read(size + (size & 1))
        if name == b'fmt ':
            fmt = body[:size]
        elif name == b'ds64':
            ds64_data = struct.unpack_from('<Q', body, 8)[0]


def main():
    path, min_seconds = sys.argv[1], float(sys.argv[2])
    with open(path, 'rb') as f:
        fmt, offset, size = read_header(f)
        if fmt is None and offset is None:
            sys.exit(f'{path}: not a WAV file')
        if fmt is None or offset is None:
            sys.exit(f'{path}: no fmt or data chunk')
        tag, channels, rate, _, block, bits = struct.unpack_from('<HHIIHH', fmt)
        if tag != 0xFFFE or len(fmt) < 40:
            sys.exit(f'{path}: format tag {tag:#x}, expected the extensible header of the mix format')
        sub_tag = struct.unpack_from('<H', fmt, 24)[0]
        is_float = sub_tag == 3
        f.seek(0, 2)
        size = min(size, f.tell() - offset)
        frames = size // block
        print(f'{path}: {channels} ch, {rate} Hz, {bits}-bit {"float" if is_float else "integer"}, '
              f'{frames} frames ({frames / rate:.2f} s)')
        if frames < min_seconds * rate:
            sys.exit(f'{path}: only {frames / rate:.2f} s of audio, expected at least {min_seconds}')
        # A piece at a time: a recording may be far larger than memory. Each
        # channel's signal repeats (the triangle's period, and for integer
        # samples also the 256 frames of the low byte's counter), so every byte
        # lane of a channel is compared at once against one repeating pattern.
        bps = bits // 8
        piece_frames = 65536
        patterns = []
        for c in range(channels):
            period = 100 + 10 * (c % 64)
            if not is_float:
                period = period * 256 // gcd(period, 256)
            one = [sample_bytes(frame, c, is_float, bits) for frame in range(period)]
            repeats = (piece_frames + period - 1) // period + 1
            patterns.append((period, [bytes(s[b] for s in one) * repeats for b in range(bps)]))
        f.seek(offset)
        for first in range(0, frames, piece_frames):
            count = min(piece_frames, frames - first)
            audio = f.read(count * block)
            for c, (period, lanes) in enumerate(patterns):
                start = first % period
                for b, lane in enumerate(lanes):
                    got = audio[c * bps + b::block]
                    if got != lane[start:start + count]:
                        i = next(i for i in range(count) if got[i] != lane[start + i])
                        sys.exit(f'{path}: frame {first + i} differs from the test signal')
    print(f'{path}: every frame matches the test endpoint\'s signal')


if __name__ == '__main__':
    main()
