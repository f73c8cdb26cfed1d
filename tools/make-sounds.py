#!/usr/bin/env python3
"""Writes the program's wave files: short synthesised cues, 22050 Hz, 16-bit mono."""
import math
import struct
import sys
import wave
from pathlib import Path

RATE = 22050


def tone(freq, seconds, volume=0.5, decay=6.0):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        env = math.exp(-decay * t) * min(1.0, i / (RATE * 0.005))
        val = math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t)
        out.append(volume * env * val / 1.3)
    return out


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def write(path, samples):
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32000)) for s in samples))


def main(sound_dir, resource_dir):
    sound_dir.mkdir(parents=True, exist_ok=True)
    resource_dir.mkdir(parents=True, exist_ok=True)
    write(sound_dir / "start.wav", tone(660, 0.12) + tone(880, 0.25))
    write(sound_dir / "over.wav", tone(784, 0.3, decay=3) + tone(659, 0.3, decay=3) + tone(523, 0.8, decay=2))
    write(sound_dir / "yes.wav", tone(1047, 0.12) + tone(1319, 0.35, decay=4))
    write(sound_dir / "type.wav", tone(1568, 0.25, decay=10))
    # The rolling display: a run of quick ticks.
    ticks = []
    for _ in range(8):
        ticks += tone(2000, 0.02, volume=0.35, decay=60) + silence(0.04)
    write(sound_dir / "type0.wav", ticks)
    write(resource_dir / "default.wav", tone(440, 0.2, decay=8))


if __name__ == "__main__":
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    main(root / "sound", root / "app" / "resources")
