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

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


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


def product_wxs(name, version, manufacturer, code, folder, files, extra=""):
    """A per-machine package with its cabinet embedded that installs `files`
    ((id, name, source) each, one component apiece, the source relative to
    where wixl runs) into `folder` under Program Files; `extra` goes after
    the folders (custom actions and their sequence)."""
    components = "".join(
        f"""
          <Component Id="{id_}" Guid="*">
            <File Id="{id_}File" Name="{file_name}" Source="{source}" KeyPath="yes"/>
          </Component>""" for id_, file_name, source in files)
    refs = "".join(f"""
      <ComponentRef Id="{id_}"/>""" for id_, _, _ in files)
    return f"""<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="{name}" Language="1033" Version="{version}"
           Manufacturer="{manufacturer}" UpgradeCode="{code}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="files.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="{folder}">{components}
        </Directory>
      </Directory>
    </Directory>{extra}
    <Feature Id="Main" Level="1">{refs}
    </Feature>
  </Product>
</Wix>
"""


def build_package(work, wxs_text, out):
    """Writes `wxs_text` into `work` and builds it there with wixl into `out`
    (wixl takes sources by paths relative to the folder it runs in)."""
    with open(os.path.join(work, "package.wxs"), "w", encoding="utf-8") as source:
        source.write(wxs_text)
    subprocess.run(["wixl", "-o", os.path.abspath(out), "package.wxs"], cwd=work, check=True,
                   stdout=subprocess.DEVNULL)


def wxs(args, code):
    location = args.location_value or location_value(args.location, args.folder)
    action = ""
    if location is not None:
        action = f"""
    <CustomAction Id="SetInstallLocation" Property="ARPINSTALLLOCATION" Value="{location}" Execute="immediate" Impersonate="yes"/>
    <InstallExecuteSequence>
      <Custom Action="SetInstallLocation" Sequence="1450"/>
    </InstallExecuteSequence>"""
    files = [("Player", "Orvexa.exe", "Orvexa.exe"), ("Settings", "RAZoro.ini", "RAZoro.ini")]
    return product_wxs("Orvexa", args.version, "Orvexa", code, args.folder, files, action)


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
        build_package(work, wxs(args, upgrade_code()), args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
