#!/usr/bin/env python3
"""Writes the small captures the decode command tests replay."""

def tern32(pos3to10, ann="000000", second="0"):
    # positions 1-2, 3-10 main digits, 11-18, 19-24 annunciators, 25-30 second row, DA
    return "0" + second + pos3to10 + "0" * 8 + ann + "123456" + "DA"

def wren32(ann="00000000000"):
    return "03603FAD6B" + "0" * 8 + ann + "000"

def bridge_bytes(digits):
    assert len(digits) == 32
    out = bytearray(0x30 | int(d, 16) for d in digits)
    out[30], out[31] = 0x0D if digits[30] == "D" else out[30], 0x0A if digits[31] == "A" else out[31]
    return bytes(out)

def serial_tern(digits14):
    return bytes(((i + 1) << 4) | int(d, 16) for i, d in enumerate(digits14))

t1234 = tern32("56C7ED06", ann="820000")   # 12.34, LUX, USB button
t0L = tern32("00B0B700", ann="800000")     # 0L lux
none = tern32("56C7ED06", second="E")      # second digit E: no decoder
w = wren32(ann="01000000000")              # USB bit (position 80)

with open("bridge.bin", "wb") as f:
    f.write(bridge_bytes(t1234) + bridge_bytes(w) + bridge_bytes(none) + bridge_bytes(t0L) + b"\x31" * 10)

f1 = serial_tern("0056C7ED060000" + "")[:13] + bytes([0xE8])  # position 14 = 8: lux and more
f2 = serial_tern("00000000000000")
f3 = serial_tern("0007F3D3000000")  # blank, 5, 6, 7
with open("serial_tern.bin", "wb") as f:
    f.write(bytes([0x93, 0xA1, 0xB0, 0xC0, 0xD0, 0xE0]) + f1 + f2[:6] + f2[7:] + f3)

with open("serial_wren.bin", "wb") as f:
    f.write(b"\x33\x0d" + b"\x0a123456789\x0d" + b"\x0a987654321\x0d")

def hid_lines(digits):
    data = [0x30 | int(d, 16) for d in digits]
    data[-2:] = [0x0D, 0x0A]
    lines = []
    while data:
        chunk, data = data[:9], data[9:]
        lines.append("00 %02X " % len(chunk) + " ".join("%02X" % b for b in chunk))
    lines.append("00 00 00")
    return lines

rook = "02" + "0" * 28 + "DA"
with open("hid.txt", "w") as f:
    f.write("\n".join(hid_lines(t1234) + ["00 F0", ""] + hid_lines(rook)) + "\n")

with open("hid_bad.txt", "w") as f:
    f.write("00 03 31 32 33\n00 03 3G 32 33\n")
