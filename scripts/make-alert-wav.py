#!/usr/bin/env python3
"""Writes resources/alert.wav: a short two-note chime (about 1 s, 22.05 kHz, mono, 16 bit)."""
import math
import pathlib
import struct
import wave

RATE = 22050
LENGTH = 1.1  # seconds
# (start in seconds, fundamental in Hz): a rising major sixth, like a door chime.
NOTES = [(0.0, 659.25), (0.22, 1108.73)]
# Partials of a soft bell: (multiple of the fundamental, level, decay per second).
PARTIALS = [(1.0, 1.0, 4.0), (2.0, 0.35, 6.5), (3.0, 0.12, 9.0), (4.2, 0.05, 12.0)]


def sample(t):
    value = 0.0
    for start, freq in NOTES:
        u = t - start
        if u < 0:
            continue
        attack = min(1.0, u / 0.004)  # no click at the onset
        for mult, level, decay in PARTIALS:
            value += attack * level * math.exp(-decay * u) * math.sin(2 * math.pi * freq * mult * u)
    return value


def main():
    count = int(RATE * LENGTH)
    raw = [sample(i / RATE) for i in range(count)]
    fade = int(RATE * 0.05)
    for i in range(fade):  # end exactly at silence
        raw[count - 1 - i] *= i / fade
    peak = max(abs(v) for v in raw)
    scale = 0.6 * 32767 / peak
    frames = b"".join(struct.pack("<h", int(round(v * scale))) for v in raw)
    out = pathlib.Path(__file__).resolve().parent.parent / "resources" / "alert.wav"
    with wave.open(str(out), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


if __name__ == "__main__":
    main()
