#!/usr/bin/env python3
# The Windows Installer package's tables, read back with msiinfo: what Windows Installer will do
# with the package, checked without running it.
# usage: packaging/msi_tables_test.py VEXOR2.EXE PROJECT_VERSION
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
UPGRADE_CODE = "{6C0B7E52-3F0D-4B8A-9E2C-5D1A7B4F9E31}"
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
NO_IMPERSONATE, DEFERRED, RETURN_IGNORE = 0x800, 0x400, 0x40
EXE = VERSION = None


def build(out, version=None):
    cmd = [os.path.join(HERE, "build_msi.sh"), EXE, out] + ([version] if version else [])
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


def table(msi, name):
    """Rows of a table as dicts by column name (msiinfo's idt export)."""
    # Run beside the package: the export writes a binary table's streams into the working folder.
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                          text=True, cwd=os.path.dirname(msi)).stdout
    lines = text.rstrip("\r\n").split("\n")
    columns = lines[0].rstrip("\r").split("\t")
    return [dict(zip(columns, line.rstrip("\r").split("\t"))) for line in lines[3:]]


def by(rows, key):
    return {row[key]: row for row in rows}


class PackageTables(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.msi = os.path.join(cls.dir.name, "Vexor2.msi")
        build(cls.msi)
        cls.props = {r["Property"]: r["Value"] for r in table(cls.msi, "Property")}

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def test_product_is_the_projects_version_by_quillbay_per_machine(self):
        p = self.props
        self.assertEqual(p["ProductName"], "Vexor2")
        self.assertEqual(p["Manufacturer"], "Quillbay")
        self.assertEqual(p["ProductVersion"], VERSION)
        self.assertEqual(p["UpgradeCode"], UPGRADE_CODE)
        self.assertEqual(p["ALLUSERS"], "1")
        self.assertEqual(p["ARPPRODUCTICON"], "vexor2.ico")
        self.assertIn("vexor2.ico", by(table(self.msi, "Icon"), "Name"))
        info = subprocess.run(["msiinfo", "suminfo", self.msi], check=True, capture_output=True,
                              text=True).stdout
        self.assertIn("Template: Intel;1033", info)  # a 32-bit package

    def test_product_code_is_fixed_per_version_and_new_for_another(self):
        again = os.path.join(self.dir.name, "again.msi")
        other = os.path.join(self.dir.name, "other.msi")
        build(again)
        build(other, "9.8.7")
        code = lambda msi: {r["Property"]: r["Value"] for r in table(msi, "Property")}["ProductCode"]
        self.assertEqual(code(again), self.props["ProductCode"])
        self.assertNotEqual(code(other), self.props["ProductCode"])
        self.assertEqual({r["Property"]: r["Value"] for r in table(other, "Property")}
                         ["UpgradeCode"], UPGRADE_CODE)

    def test_the_exe_is_a_versioned_file_in_program_files(self):
        files = table(self.msi, "File")
        self.assertEqual(len(files), 1)
        f = files[0]
        self.assertEqual(f["FileName"], "Vexor2.exe")
        self.assertEqual(f["Version"], VERSION + ".0")
        self.assertEqual(int(f["FileSize"]), os.path.getsize(EXE))
        # A hash row would make Windows Installer treat the exe as unversioned.
        self.assertEqual(table(self.msi, "MsiFileHash"), [])
        comps = by(table(self.msi, "Component"), "Component")
        self.assertEqual(comps["Program"]["KeyPath"], f["File"])
        self.assertEqual(comps["Program"]["Directory_"], "INSTALLDIR")
        dirs = by(table(self.msi, "Directory"), "Directory")
        self.assertEqual(dirs["INSTALLDIR"]["Directory_Parent"], "ProgramFilesFolder")
        self.assertEqual(dirs["INSTALLDIR"]["DefaultDir"], "Vexor2")
        self.assertEqual(dirs["ProgramFilesFolder"]["Directory_Parent"], "TARGETDIR")

    def test_start_menu_shortcut_points_at_the_installed_exe(self):
        shortcuts = table(self.msi, "Shortcut")
        self.assertEqual(len(shortcuts), 1)
        s = shortcuts[0]
        self.assertEqual(s["Directory_"], "ProgramMenuFolder")
        self.assertEqual(s["Name"], "Vexor2")
        self.assertEqual(s["Component_"], "Program")
        # A formatted target, not a feature name: an ordinary, not an advertised, shortcut.
        self.assertEqual(s["Target"], "[#Vexor2.exe]")
        self.assertEqual(s["WkDir"], "INSTALLDIR")

    def test_every_users_logon_start_only_when_asked_for(self):
        regs = table(self.msi, "Registry")
        self.assertEqual(len(regs), 1)
        r = regs[0]
        self.assertEqual((r["Root"], r["Key"], r["Name"], r["Value"]),
                         ("2", RUN_KEY, "Vexor_APP", '"[INSTALLDIR]Vexor2.exe"'))  # 2: HKLM
        comps = by(table(self.msi, "Component"), "Component")
        self.assertEqual(comps[r["Component_"]]["KeyPath"], r["Registry"])
        features = by(table(self.msi, "Feature"), "Feature")
        links = {(x["Feature_"], x["Component_"]) for x in table(self.msi, "FeatureComponents")}
        self.assertIn(("AllUsersStart", r["Component_"]), links)
        self.assertIn(("Main", "Program"), links)
        self.assertEqual(features["Main"]["Level"], "1")
        # Above the default INSTALLLEVEL of 1: off unless ADDLOCAL names it.
        self.assertGreater(int(features["AllUsersStart"]["Level"]), 1)
        self.assertNotIn("INSTALLLEVEL", self.props)

    def test_older_versions_are_replaced_and_newer_ones_refuse_this(self):
        ups = by(table(self.msi, "Upgrade"), "ActionProperty")
        self.assertEqual(set(ups), {"OLDERVERSIONFOUND", "NEWERVERSIONFOUND"})
        old, new = ups["OLDERVERSIONFOUND"], ups["NEWERVERSIONFOUND"]
        for row in (old, new):
            self.assertEqual(row["UpgradeCode"], UPGRADE_CODE)
        # Older: from 0.0.0 inclusive (0x100) to this version exclusive, features migrated (0x1).
        self.assertEqual((old["VersionMin"], old["VersionMax"], int(old["Attributes"])),
                         ("0.0.0", VERSION, 0x101))
        # Newer: above this version (exclusive), only detected (0x2).
        self.assertEqual((new["VersionMin"], new["VersionMax"], int(new["Attributes"])),
                         (VERSION, "", 0x2))
        conditions = [r["Condition"] for r in table(self.msi, "LaunchCondition")]
        self.assertEqual(conditions, ["NOT NEWERVERSIONFOUND"])
        for prop in ("OLDERVERSIONFOUND", "NEWERVERSIONFOUND"):
            self.assertIn(prop, self.props["SecureCustomProperties"].split(";"))

    def test_execute_sequence_orders_the_upgrade_and_the_removal(self):
        seq = {r["Action"]: (int(r["Sequence"]), r["Condition"])
               for r in table(self.msi, "InstallExecuteSequence")}
        n = {action: s for action, (s, _) in seq.items()}
        # Newer versions are found before the launch condition that refuses over them.
        self.assertLess(n["FindRelatedProducts"], n["LaunchConditions"])
        # The older version goes entirely before this one is installed.
        self.assertLess(n["InstallValidate"], n["RemoveExistingProducts"])
        self.assertLess(n["RemoveExistingProducts"], n["InstallInitialize"])
        self.assertLess(n["CostFinalize"], n["SetInstallLocation"])
        self.assertLess(n["SetInstallLocation"], n["RegisterProduct"])
        # A running copy is stopped, and the user's logon start removed, before files go.
        self.assertLess(n["SetTaskkill"], n["StopRunningCopy"])
        self.assertLess(n["SetReg"], n["RemoveUserLogonStart"])
        for action in ("StopRunningCopy", "RemoveUserLogonStart"):
            self.assertLess(n[action], n["InstallInitialize"])
        self.assertEqual(seq["StopRunningCopy"][1], 'REMOVE ~= "ALL"')
        # An upgrade removes the older version but keeps the user's logon start.
        self.assertEqual(seq["RemoveUserLogonStart"][1],
                         'REMOVE ~= "ALL" AND NOT UPGRADINGPRODUCTCODE')
        ui = {r["Action"]: int(r["Sequence"]) for r in table(self.msi, "InstallUISequence")}
        self.assertLess(ui["FindRelatedProducts"], ui["LaunchConditions"])

    def test_custom_actions_run_as_the_user_and_never_fail_the_removal(self):
        cas = by(table(self.msi, "CustomAction"), "Action")
        self.assertEqual(cas["SetInstallLocation"]["Source"], "ARPINSTALLLOCATION")
        self.assertEqual(cas["SetInstallLocation"]["Target"], "[INSTALLDIR]")
        self.assertEqual(cas["SetTaskkill"]["Target"], "[SystemFolder]taskkill.exe")
        self.assertEqual(cas["SetReg"]["Target"], "[SystemFolder]reg.exe")
        for action, source in (("StopRunningCopy", "TASKKILL"), ("RemoveUserLogonStart", "REGEXE")):
            ca = cas[action]
            kind = int(ca["Type"])
            self.assertEqual(kind & 0x3F, 50, action)  # an exe named by a property
            self.assertEqual(ca["Source"], source)
            # Immediate and as the user: HKCU is the uninstalling user's; nothing found is fine.
            self.assertFalse(kind & (NO_IMPERSONATE | DEFERRED), action)
            self.assertTrue(kind & RETURN_IGNORE, action)
        self.assertEqual(cas["StopRunningCopy"]["Target"], "/F /IM Vexor2.exe")
        self.assertEqual(cas["RemoveUserLogonStart"]["Target"],
                         "delete HKCU\\" + RUN_KEY + " /v Vexor_APP /f")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: msi_tables_test.py VEXOR2.EXE PROJECT_VERSION")
    EXE, VERSION = os.path.abspath(sys.argv[1]), sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
