#!/usr/bin/env python3
"""Builds a stand-in Orvexa installer package with wixl.

The package carries the main product's upgrade code (read from
product/upgrade_code.txt, which the program is built with), a fresh product
code on every build, the given three-field ProductVersion, and installs the
stand-in Orvexa.exe and a RAZoro.ini into a folder under Program Files. wixl builds 32-bit packages,
so the folder lands under "Program Files (x86)".

InstallLocation is only recorded when the package sets ARPINSTALLLOCATION; a
type-51 custom action with an explicit sequence number does that (wixl
mis-sequences After/Before).

  make_fixture_msi.py --out F.msi --version 1.6.12 --folder OrvexaA
      --standin orvexa_standin.exe [--product-id 123456]
      [--location backslash|plain|long|none] [--location-value TEXT]

--location-value records TEXT itself as InstallLocation (for an installation
folder elsewhere, such as a small drive of its own); the files still go under
Program Files.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def upgrade_code():
    """The main product's upgrade code, from the file the program is built with."""
    with open(os.path.join(ROOT, "product", "upgrade_code.txt"), encoding="ascii") as source:
        code = source.readline().strip()
    if not re.fullmatch(r"\{[0-9A-F-]{36}\}", code):
        sys.exit("make_fixture_msi: product/upgrade_code.txt holds no upgrade code")
    return code


def location_value(mode, folder):
    if mode == "backslash":
        return "[INSTALLDIR]"
    if mode == "plain":
        return "[ProgramFilesFolder]" + folder
    if mode == "long":
        # Longer than the 259 characters a reader's buffer holds.
        return "[ProgramFilesFolder]" + folder + "\\" + "L" * 250 + "\\"
    return None


def wxs(args, code):
    location = args.location_value or location_value(args.location, args.folder)
    action = ""
    if location is not None:
        action = f"""
    <CustomAction Id="SetInstallLocation" Property="ARPINSTALLLOCATION" Value="{location}" Execute="immediate" Impersonate="yes"/>
    <InstallExecuteSequence>
      <Custom Action="SetInstallLocation" Sequence="1450"/>
    </InstallExecuteSequence>"""
    return f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Orvexa" Language="1033" Version="{args.version}"
           Manufacturer="Orvexa" UpgradeCode="{code}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="orvexa.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="{args.folder}">
          <Component Id="Player" Guid="*">
            <File Id="OrvexaExe" Name="Orvexa.exe" Source="Orvexa.exe" KeyPath="yes"/>
          </Component>
          <Component Id="Settings" Guid="*">
            <File Id="RazoroIni" Name="RAZoro.ini" Source="RAZoro.ini" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>{action}
    <Feature Id="Main" Level="1">
      <ComponentRef Id="Player"/>
      <ComponentRef Id="Settings"/>
    </Feature>
  </Product>
</Wix>
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--folder", required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--product-id", default="123456")
    parser.add_argument("--location", choices=["backslash", "plain", "long", "none"], default="backslash")
    parser.add_argument("--location-value")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        shutil.copyfile(args.standin, os.path.join(work, "Orvexa.exe"))
        with open(os.path.join(work, "RAZoro.ini"), "w", newline="\r\n", encoding="ascii") as ini:
            ini.write(f"[Main]\nProductID={args.product_id}\n")
        with open(os.path.join(work, "orvexa.wxs"), "w", encoding="utf-8") as source:
            source.write(wxs(args, upgrade_code()))
        out = os.path.abspath(args.out)
        subprocess.run(["wixl", "-o", out, "orvexa.wxs"], cwd=work, check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
