#!/bin/sh
# Remakes the PE fixtures of the resource reader and writer tests with the
# MinGW-w64 toolchain. The binaries are kept beside this script so that the
# native tests need no cross compiler; run it again after changing stub.c,
# stub.rc, stub.manifest or the icon recipe.
#   stub_plain.exe  console stub without resources
#   stub_res.exe    the same stub with a manifest, an icon and a VERSIONINFO
#   stub_res64.exe  stub_res.exe as a 64-bit program: the loader tests of a
#                   64-bit build load it (a process loads only its own kind)
set -eu
cd "$(dirname "$0")"
CC=${CC:-i686-w64-mingw32-gcc-posix}
WINDRES=${WINDRES:-i686-w64-mingw32-windres}
STRIP=${STRIP:-i686-w64-mingw32-strip}

# A 2x2 32-bit icon: ICONDIR, one ICONDIRENTRY, then a BITMAPINFOHEADER of
# double height, four BGRA pixels and the 1-bit AND mask (rows padded to 4).
python3 - <<'PY'
import struct
w = h = 2
pixels = bytes([0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255])
mask = bytes(4 * h)
bmp = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0) + pixels + mask
ico = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 32, len(bmp), 22) + bmp
open('stub.ico', 'wb').write(ico)
PY

LDFLAGS="-nostdlib -Wl,-e,_stub_start@0 -Wl,--subsystem,console -lkernel32"
"$CC" -Os -s -ffreestanding -fno-builtin -o stub_plain.exe stub.c $LDFLAGS
"$WINDRES" -O coff -o stub_res.o stub.rc
"$CC" -Os -s -ffreestanding -fno-builtin -o stub_res.exe stub.c stub_res.o $LDFLAGS
rm -f stub_res.o
"$STRIP" stub_plain.exe stub_res.exe

CC64=${CC64:-x86_64-w64-mingw32-gcc-posix}
WINDRES64=${WINDRES64:-x86_64-w64-mingw32-windres}
"$WINDRES64" -O coff -o stub_res64.o stub.rc
"$CC64" -Os -s -ffreestanding -fno-builtin -o stub_res64.exe stub.c stub_res64.o \
  -nostdlib -Wl,-e,stub_start -Wl,--subsystem,console -lkernel32
rm -f stub_res64.o
ls -l stub_plain.exe stub_res.exe stub_res64.exe
