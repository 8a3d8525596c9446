#!/usr/bin/env python3
# The shipped exe as an IT person receives it: one self-contained file of at most 1 MB that
# needs only DLLs every Windows has.
# usage: packaging/exe_test.py VEXOR2.EXE OBJDUMP
import os
import re
import subprocess
import sys
import unittest

EXE = OBJDUMP = None
MAX_BYTES = 1000000  # decimal, so that no reading of "1 MB" is exceeded

# Windows' own libraries; a MinGW runtime DLL (libstdc++-6, libgcc_s, libwinpthread-1) would
# have to be shipped beside the exe, and is not.
SYSTEM_DLLS = {"advapi32.dll", "gdi32.dll", "hid.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
               "oleaut32.dll", "setupapi.dll", "shell32.dll", "user32.dll", "winmm.dll"}


def private_headers():
    return subprocess.run([OBJDUMP, "-p", EXE], check=True, capture_output=True,
                          text=True).stdout


class ExeTest(unittest.TestCase):
    def test_size(self):
        size = os.path.getsize(EXE)
        print(f"Vexor2.exe: {size} bytes", file=sys.stderr)
        self.assertLessEqual(size, MAX_BYTES)

    def test_imports_only_system_dlls(self):
        dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", private_headers())}
        self.assertTrue(dlls, "no import table found")
        self.assertEqual(set(), dlls - SYSTEM_DLLS)

    def test_gui_program_for_32_bit_windows(self):
        text = private_headers()

        def field(name):
            m = re.search(rf"^{name}\s+(\S+)", text, re.M)
            return m and m.group(1)

        self.assertEqual("010b", field("Magic"))  # PE32
        self.assertEqual("00000002", field("Subsystem"))  # Windows GUI: no console window
        # Relocations kept and announced, so the loader may place the image anywhere (ASLR).
        self.assertTrue(int(field("DllCharacteristics"), 16) & 0x40, "not DYNAMIC_BASE")
        self.assertIn("Base Relocation Directory", text)

if __name__ == "__main__":
    EXE, OBJDUMP = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
