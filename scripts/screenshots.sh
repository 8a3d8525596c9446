#!/usr/bin/env bash
# Takes the documentation's pictures of the real Vexor2.exe under Wine and Xvfb and writes them
# as PNGs to docs/images/ (or the folder given): rerun after a change to what the user sees.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m -- "${1:-docs/images}")

scripts/install_deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Vexor2 screenshots
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
scripts/wine_run.sh build/windows/e2e/screenshots.exe "Z:${work//\//\\}"
mkdir -p -- "$out"
python3 - "$work" "$out" <<'PY'
# 24-bit bottom-up BMP to 8-bit RGB PNG, with the standard library only.
import os, struct, sys, zlib
src, dst = sys.argv[1:3]
for name in sorted(os.listdir(src)):
    data = open(os.path.join(src, name), "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    w, h = struct.unpack_from("<ii", data, 18)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + w * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + \
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    target = os.path.join(dst, os.path.splitext(name)[0] + ".png")
    open(target, "wb").write(png)
    print("screenshots:", target)
PY
