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


def chunks(data):
    pos = 12
    while pos + 8 <= len(data):
        name, size = data[pos:pos + 4], struct.unpack_from('<I', data, pos + 4)[0]
        yield name, data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)


def main():
    path, min_seconds = sys.argv[1], float(sys.argv[2])
    data = open(path, 'rb').read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        sys.exit(f'{path}: not a WAV file')
    found = dict(chunks(data))
    fmt, audio = found.get(b'fmt '), found.get(b'data')
    if fmt is None or audio is None:
        sys.exit(f'{path}: no fmt or data chunk')
    tag, channels, rate, _, block, bits = struct.unpack_from('<HHIIHH', fmt)
    if tag != 0xFFFE or len(fmt) < 40:
        sys.exit(f'{path}: format tag {tag:#x}, expected the extensible header of the mix format')
    sub_tag = struct.unpack_from('<H', fmt, 24)[0]
    is_float = sub_tag == 3
    frames = len(audio) // block
    print(f'{path}: {channels} ch, {rate} Hz, {bits}-bit {"float" if is_float else "integer"}, '
          f'{frames} frames ({frames / rate:.2f} s)')
    if frames < min_seconds * rate:
        sys.exit(f'{path}: only {frames / rate:.2f} s of audio, expected at least {min_seconds}')
    for frame in range(frames):
        expected = b''.join(sample_bytes(frame, c, is_float, bits) for c in range(channels))
        if audio[frame * block:(frame + 1) * block] != expected:
            sys.exit(f'{path}: frame {frame} differs from the test signal')
    print(f'{path}: every frame matches the test endpoint\'s signal')


if __name__ == '__main__':
    main()
