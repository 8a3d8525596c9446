#!/usr/bin/env python3
# Writes the fuzz targets' seed inputs (tests/fuzz/seeds/<target>/), committed with this script:
# well-formed cases the fuzzers start from and mutate.
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    d = os.path.join(here, "seeds", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(bytes(data))


def eeprom(text=b"VX2-0042"):
    # A configuration block at 340 whose string 1 holds `text`.
    image = bytearray([0xFF] * 512)
    image[1] = 0x01
    image[340 + 18] = 0x01
    image[340 + 12] = 0x30
    image[340 + 0x30] = len(text) + 2
    image[340 + 0x31] = 3
    image[340 + 0x32:340 + 0x32 + len(text)] = text
    return image


for route in range(4):
    img = eeprom()
    # route, register 5, register 6, selector, EEPROM size, EEPROM, flash
    write("config_string", "route%d" % route,
          bytes([route, 0x00, 0x04, 1]) + struct.pack("<H", len(img)) + img)
flash = bytearray([0xFF] * 256)
write("config_string", "flash", bytes([0, 0x80, 0x04, 1, 0, 0]) + flash)
write("config_string", "long_string",
      bytes([0, 0, 4, 1]) + struct.pack("<H", 512) + eeprom(b"X" * 200)[:512])

# count, then per interface: kind, vendor, product
write("hid_discovery", "camera", [1, 0x00, 0x1A, 0xEB, 0x60, 0x28, 0, 5, 2, 0, 0, 0, 0])
write("hid_discovery", "keyboard_mouse_camera",
      [3, 0x01, 1, 0, 2, 0, 0x02, 3, 0, 4, 0, 0x00, 0x1A, 0xEB, 0x60, 0x28, 0])
write("hid_discovery", "own_caps",
      [2, 0x04, 1, 0, 1, 0, 3, 2, 0x87, 1, 0, 0xFF, 1, 0, 2, 0x93, 1, 0, 0xFF, 1, 0, 2, 0x87, 0,
       0x00, 0x1A, 0xEB, 0x60, 0x28, 0])

# count, then per value: name index, type, length, bytes; then the Custom Settings flag
write("settings", "custom_send_all",
      [6, 0, 4, 4, 10, 0, 0, 1, 4, 4, 1, 0, 0, 0, 2, 4, 4, 100, 0, 0, 0, 4, 3, 1, 1, 6, 4, 4,
       0x43, 0, 0, 0, 10, 4, 4, 0x58, 0, 0, 0, 1])
write("settings", "schick", [1, 0, 4, 4, 4, 0, 0, 0, 0])
write("settings", "odd_types", [3, 0, 3, 1, 10, 6, 1, 8, 1, 2, 3, 2, 255, 255, 1])
