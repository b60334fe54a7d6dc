#!/usr/bin/env python3
"""A sine to play, and what a recording of one holds.

usage: tone.py play HZ DBFS RATE
         writes 16-bit stereo samples of the sine (peak DBFS) to standard output
         until the reader goes away
       tone.py measure FILE.wav HZ DBFS
         prints the frequency (median period) and peak level of the first
         channel of a WAV recording (16-bit or 32-bit integer, or 32-bit float)
         next to what was played, and how many periods the stream broke; exit 1
         when the frequency is off by more than 0.5 % or the level by more than
         1 dB, or the tone lasts less than a second
"""
import math
import struct
import sys


def play(hz, dbfs, rate):
    amplitude = 32767 * 10 ** (dbfs / 20)
    period = []
    # One second of samples repeats exactly for a whole number of hertz.
    for n in range(rate):
        v = int(round(amplitude * math.sin(2 * math.pi * hz * n / rate)))
        period.append(struct.pack('<hh', v, v))
    block = b''.join(period)
    out = sys.stdout.buffer
    try:
        while True:
            out.write(block)
    except (BrokenPipeError, KeyboardInterrupt):
        pass


def read_first_channel(path):
    with open(path, 'rb') as f:
        data = f.read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        sys.exit(f'{path}: not a WAVE file')
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b'fmt ':
            tag, channels, rate = struct.unpack('<HHI', body[:8])
            bits = struct.unpack('<H', body[14:16])[0]
            if tag == 0xFFFE:
                tag = struct.unpack('<H', body[24:26])[0]
            fmt = (tag, channels, rate, bits)
        elif cid == b'data':
            samples = body
        pos += 8 + size + (size & 1)
    if not fmt or samples is None:
        sys.exit(f'{path}: no format or no data')
    tag, channels, rate, bits = fmt
    step = channels * bits // 8
    if tag == 3 and bits == 32:
        values = [struct.unpack_from('<f', samples, i)[0] for i in range(0, len(samples) - step + 1, step)]
    elif tag == 1 and bits in (16, 32):
        code, scale = ('<h', 32768.0) if bits == 16 else ('<i', 2147483648.0)
        values = [struct.unpack_from(code, samples, i)[0] / scale
                  for i in range(0, len(samples) - step + 1, step)]
    else:
        sys.exit(f'{path}: format tag {tag} with {bits} bits is not measured here')
    return rate, channels, bits, tag, values


def measure(values, rate):
    """Frequency from the median distance of rising zero crossings
    (interpolated), so that a stretch the capture lost shifts no more than the
    one period it falls into; the peak level; the number of periods more than
    5 % off (breaks in the stream); and how long the tone lasts. Leading and
    trailing silence (before the player started, after it stopped) are left
    out."""
    loud = [i for i, v in enumerate(values) if abs(v) > 0.01]
    if not loud:
        return None
    first, last = loud[0], loud[-1]
    crossings = []
    for i in range(first + 1, last + 1):
        a, b = values[i - 1], values[i]
        if a < 0 <= b:
            crossings.append(i - 1 + a / (a - b))
    if len(crossings) < 3:
        return None
    periods = sorted(b - a for a, b in zip(crossings, crossings[1:]))
    median = periods[len(periods) // 2]
    breaks = sum(1 for p in periods if abs(p - median) > median * 0.05)
    peak = max(abs(v) for v in values[first:last + 1])
    return rate / median, 20 * math.log10(peak), breaks, (last - first + 1) / rate


def main():
    if len(sys.argv) == 5 and sys.argv[1] == 'play':
        play(int(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]))
        return 0
    if len(sys.argv) != 5 or sys.argv[1] != 'measure':
        sys.exit(__doc__)
    path, hz, dbfs = sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
    rate, channels, bits, tag, values = read_first_channel(path)
    result = measure(values, rate)
    kind = 'float' if tag == 3 else 'integer'
    print(f'{path}: {rate} Hz, {channels} channels, {bits}-bit {kind}, {len(values) / rate:.2f} s')
    if result is None:
        print('  no tone found in the recording')
        return 1
    got_hz, got_db, breaks, seconds = result
    print(f'  played:   {hz:.1f} Hz sine, peak {dbfs:.1f} dBFS')
    print(f'  recorded: {got_hz:.2f} Hz, peak {got_db:.2f} dBFS, over {seconds:.2f} s'
          f' ({breaks} periods more than 5 % off: breaks in the captured stream)')
    ok = abs(got_hz - hz) <= hz * 0.005 and abs(got_db - dbfs) <= 1.0 and seconds >= 1.0
    print('  ' + ('matches' if ok else 'DOES NOT MATCH') + ' (0.5 % and 1 dB allowed)')
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
