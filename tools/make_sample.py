#!/usr/bin/env python3
"""Writes the bundled sample: a few seconds of chime notes as an MPEG-1 Layer II stream.

The notes are not encoded from PCM: each partial of a note is written straight into the
subband domain as a decaying cosine in the subband that holds its frequency. The polyphase
synthesis turns a subband signal cos(32 * w * n) (n counting subband samples, w the tone's
angular frequency per PCM sample) into a tone at w, so a partial that lies well inside its
subband (away from the band edges, where the neighbouring band would have to cancel the
filter bank's aliasing) comes out as a clean tone. Scale factors, bit allocation and
quantisation then follow ISO/IEC 11172-3 Layer II.

Stream: MPEG-1 Layer II, 44100 Hz, stereo, 112 kbit/s (56 kbit/s per channel, so the
27-subband high-rate allocation table), no CRC. Standard library only; the output is
deterministic.

usage: make_sample.py [OUTPUT]   (default: samples/chime.mp2 next to this script's folder)
"""
import math
import os
import sys

SAMPLE_RATE = 44100
BITRATE = 112000
BITRATE_INDEX = 7        # 112 kbit/s in the MPEG-1 Layer II row
FREQUENCY_INDEX = 0      # 44100 Hz
MODE_STEREO = 0
CHANNELS = 2
SUBBANDS = 27            # high-rate table for 56 kbit/s per channel at 44.1 kHz
SLOTS_PER_FRAME = 36     # 1152 samples = 36 subband samples per subband
DURATION_S = 4.0
BAND_WIDTH_HZ = SAMPLE_RATE / 64.0

# Allocation field width and the quantisation levels each allocation value selects.
HIGH_RATE_ROWS = [
    (range(0, 3), 4, [0, 3, 7, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535]),
    (range(3, 11), 4, [0, 3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 65535]),
    (range(11, 23), 3, [0, 3, 5, 7, 9, 15, 31, 65535]),
    (range(23, 32), 2, [0, 3, 5, 65535]),
]
GROUPED_BITS = {3: 5, 5: 7, 9: 10}  # three samples share one code

SCALE_FACTORS = [2.0 ** (1.0 - i / 3.0) for i in range(63)]

# (start in seconds, fundamental in Hz, peak amplitude, decay time in seconds, pan 0 = left .. 1 = right).
# The fundamentals lie near the middle of their subbands, so they come out at their pitch.
NOTES = [
    (0.05, 1046.50, 0.30, 0.90, 0.30),   # C6
    (0.45, 1760.00, 0.26, 0.85, 0.70),   # A6
    (0.85, 2349.32, 0.22, 0.75, 0.35),   # D7
    (1.25, 1760.00, 0.24, 0.80, 0.65),   # A6
    (1.65, 987.77, 0.28, 0.95, 0.40),    # B5
    (2.15, 261.63, 0.26, 1.30, 0.50),    # C4
    (2.15, 392.00, 0.20, 1.20, 0.45),    # G4
    (2.15, 1046.50, 0.20, 1.10, 0.55),   # C6
    (2.15, 3135.96, 0.10, 0.60, 0.50),   # G7
]
# Partials of a struck bar: frequency ratio, relative amplitude, relative decay. A partial is
# moved to the inner part of its subband if needed, which keeps the bell character.
PARTIALS = [(1.0, 1.0, 1.0), (2.76, 0.30, 0.5), (5.40, 0.12, 0.3)]
ATTACK_S = 0.004
# Inner part of a subband, as fractions of its width.
INNER = (0.4, 0.6)


def row_for(subband):
    for bands, width, levels in HIGH_RATE_ROWS:
        if subband in bands:
            return width, levels
    raise ValueError(subband)


def place(frequency):
    """The subband of a tone and its frequency moved into the inner part of that subband,
    where the neighbouring band need not cancel any alias; None above the coded subbands.
    Subband 0 may go down to 0 Hz: its mirror image at the lower edge is the tone itself."""
    position = frequency / BAND_WIDTH_HZ
    subband = int(position)
    if subband >= SUBBANDS:
        return None
    low = 0.0 if subband == 0 else INNER[0]
    offset = min(max(position - subband, low), INNER[1])
    return subband, (subband + offset) * BAND_WIDTH_HZ


def subband_signals(total_slots):
    """signals[ch][sb][n]: subband sample n of subband sb in channel ch."""
    signals = [[[0.0] * total_slots for _ in range(32)] for _ in range(CHANNELS)]
    slot_seconds = 32.0 / SAMPLE_RATE
    for start, fundamental, amplitude, decay, pan in NOTES:
        gains = (math.cos(pan * math.pi / 2), math.sin(pan * math.pi / 2))
        for ratio, relative, relative_decay in PARTIALS:
            placed = place(fundamental * ratio)
            if placed is None:
                continue
            subband, frequency = placed
            assert ratio != 1.0 or frequency == fundamental, "fundamental off its subband's middle"
            step = 2.0 * math.pi * frequency * 32.0 / SAMPLE_RATE
            tau = decay * relative_decay
            first = int(start / slot_seconds)
            for n in range(first, total_slots):
                age = n * slot_seconds - start
                if age < 0.0:
                    continue
                envelope = amplitude * relative * math.exp(-age / tau) * min(1.0, age / ATTACK_S)
                if envelope < 1e-6:
                    break
                value = envelope * math.cos(step * (n - first))
                for ch in range(CHANNELS):
                    signals[ch][subband][n] += gains[ch] * value
    return signals


def scale_factor_index(peak):
    """Largest index whose scale factor still covers the peak."""
    index = 0
    while index < 62 and SCALE_FACTORS[index + 1] >= peak:
        index += 1
    return index


def scale_factor_selection(indexes):
    a, b, c = indexes
    if a == b == c:
        return 2, [a]
    if a == b:
        return 1, [a, c]
    if b == c:
        return 3, [a, b]
    return 0, [a, b, c]


def snr_db(levels):
    return 20.0 * math.log10(levels) + 1.76


def sample_bits(levels):
    if levels in GROUPED_BITS:
        return 12 * GROUPED_BITS[levels]
    return 36 * int(math.log2(levels + 1))


class Band:
    """One subband of one channel in one frame."""

    def __init__(self, samples):
        self.samples = samples
        parts = [samples[12 * p:12 * p + 12] for p in range(3)]
        peaks = [max(abs(s) for s in part) for part in parts]
        self.silent = max(peaks) < 1e-5
        indexes = [scale_factor_index(p) for p in peaks]
        self.selection, self.coded_indexes = scale_factor_selection(indexes)
        self.indexes = indexes
        if self.selection == 1:
            self.indexes = [indexes[0], indexes[0], indexes[2]]
        elif self.selection == 2:
            self.indexes = [indexes[0]] * 3
        elif self.selection == 3:
            self.indexes = [indexes[0], indexes[1], indexes[1]]
        self.level_db = 20.0 * math.log10(max(peaks) + 1e-12)
        self.allocation = 0

    def cost(self, levels):
        if levels == 0:
            return 0
        return sample_bits(levels) + 2 + 6 * len(self.coded_indexes)


def allocate(bands, budget):
    """Greedy allocation: keep raising the band whose quantisation noise is loudest."""
    while True:
        best = None
        for (band, levels_row) in bands:
            if band.silent or band.allocation + 1 >= len(levels_row):
                continue
            noise = band.level_db - (snr_db(levels_row[band.allocation]) if band.allocation else 0.0)
            extra = band.cost(levels_row[band.allocation + 1]) - band.cost(levels_row[band.allocation])
            if extra <= budget and noise > -100.0 and (best is None or noise > best[0]):
                best = (noise, band, extra)
        if best is None:
            return
        _, band, extra = best
        band.allocation += 1
        budget -= extra


class BitWriter:
    def __init__(self):
        self.bits = []

    def put(self, value, width):
        for shift in range(width - 1, -1, -1):
            self.bits.append((value >> shift) & 1)

    def to_bytes(self, length):
        bits = self.bits + [0] * (8 * length - len(self.bits))
        assert len(bits) == 8 * length, "frame overflow"
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def quantise(value, scale, levels):
    x = value / scale
    q = int(math.floor((x * levels + levels - 1) / 2.0 + 0.5))
    return min(max(q, 0), levels - 1)


def encode_frame(signals, frame, padding):
    length = 144 * BITRATE // SAMPLE_RATE + padding
    first = frame * SLOTS_PER_FRAME
    header = (0xFFF << 20) | (1 << 19) | (2 << 17) | (1 << 16) | (BITRATE_INDEX << 12) | \
             (FREQUENCY_INDEX << 10) | (padding << 9) | (MODE_STEREO << 6) | (1 << 2)
    grid = []  # grid[sb][ch] = (Band, levels row, allocation width)
    for sb in range(SUBBANDS):
        width, row = row_for(sb)
        grid.append([(Band(signals[ch][sb][first:first + SLOTS_PER_FRAME]), row, width)
                     for ch in range(CHANNELS)])
    budget = 8 * length - 32 - sum(cell[2] for cells in grid for cell in cells)
    allocate([(cell[0], cell[1]) for cells in grid for cell in cells], budget)

    out = BitWriter()
    out.put(header, 32)
    for cells in grid:
        for band, _, width in cells:
            out.put(band.allocation, width)
    for cells in grid:
        for band, _, _ in cells:
            if band.allocation:
                out.put(band.selection, 2)
    for cells in grid:
        for band, _, _ in cells:
            if band.allocation:
                for index in band.coded_indexes:
                    out.put(index, 6)
    for group in range(12):
        part = group // 4
        for cells in grid:
            for band, row, _ in cells:
                if not band.allocation:
                    continue
                levels = row[band.allocation]
                scale = SCALE_FACTORS[band.indexes[part]]
                codes = [quantise(s, scale, levels) for s in band.samples[3 * group:3 * group + 3]]
                if levels in GROUPED_BITS:
                    out.put(codes[0] + levels * codes[1] + levels * levels * codes[2], GROUPED_BITS[levels])
                else:
                    bits = int(math.log2(levels + 1))
                    for code in codes:
                        out.put(code, bits)
    return out.to_bytes(length)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "samples", "chime.mp2")
    frames = int(math.ceil(DURATION_S * SAMPLE_RATE / 1152))
    signals = subband_signals(frames * SLOTS_PER_FRAME)
    exact_length = 144.0 * BITRATE / SAMPLE_RATE
    stream = bytearray()
    for frame in range(frames):
        # Padding keeps the average frame length at 144 * bitrate / sampling rate bytes.
        padding = int(math.floor((frame + 1) * exact_length) - math.floor(frame * exact_length)) - \
            144 * BITRATE // SAMPLE_RATE
        stream += encode_frame(signals, frame, padding)
    with open(output, "wb") as f:
        f.write(stream)
    print(f"{output}: {frames} frames, {len(stream)} bytes")


if __name__ == "__main__":
    main()
