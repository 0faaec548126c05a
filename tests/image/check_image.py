#!/usr/bin/env python3
"""Checks the built launcher image against what the product promises.

usage: check_image.py LAUNCHER.EXE --product-name NAME --revision-file FILE
                      --private-build-text TEXT
                      --version X.Y.Z [--size-budget BYTES]

Fails (exit 1, one line per fault) when the machine, format, subsystem,
security flags, relocations, load configuration, import list, resources or
size budget are off.
"""
import argparse
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

EXPECTED_IMPORTS = {"kernel32.dll", "user32.dll", "shell32.dll", "bcrypt.dll"}
DLL_DYNAMIC_BASE = 0x0040
DLL_NX_COMPAT = 0x0100
DLL_TERMINAL_SERVER_AWARE = 0x8000
LANGUAGE = 0x0409
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 72, 80, 96, 128, 256]
MANIFEST_NAME = "ZOR.FirmwareUpdate.Launcher"
SUPPORTED_OS = {"{4f476546-9377-4f7e-856b-2d22128e2995}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT_V1 = "{urn:schemas-microsoft-com:compatibility.v1}"
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
VS_FF_PRIVATEBUILD = 0x8
DIRTY_SUFFIX = "-dirty"
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
# Imports and every later load come from the system folder only.
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
LOAD_CONFIG_SIZE = 72  # the 32-bit layout up to the SEH handler fields, no guard fields
SYSTEM_BOUND_DLLS = {"bcrypt.dll", "version.dll"}
SYSTEM_FOLDER = "%SystemRoot%\\system32\\"

faults = []


def expect(condition, message):
    if not condition:
        faults.append(message)


def check_headers(pe):
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    expect(fh.Machine == 0x14C, f"machine {fh.Machine:#x}, want i386 (0x14c)")
    expect(oh.Magic == 0x10B, f"optional header magic {oh.Magic:#x}, want PE32 (0x10b)")
    expect(oh.Subsystem == 2, f"subsystem {oh.Subsystem}, want Windows GUI (2)")
    version = (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion)
    expect(version == (6, 1), f"subsystem version {version}, want (6, 1)")
    for flag, name in ((DLL_DYNAMIC_BASE, "DYNAMIC_BASE"), (DLL_NX_COMPAT, "NX_COMPAT"),
                       (DLL_TERMINAL_SERVER_AWARE, "TERMINAL_SERVER_AWARE")):
        expect(oh.DllCharacteristics & flag, f"DllCharacteristics lacks {name}")
    expect(not fh.Characteristics & 0x0001, "relocations stripped")
    reloc = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    expect(reloc.VirtualAddress != 0 and reloc.Size != 0, "no base relocation table")
    expect(fh.TimeDateStamp == 0, f"build time in the header ({fh.TimeDateStamp:#x})")


def check_load_config(pe):
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
    expect(entry.VirtualAddress != 0 and entry.Size == LOAD_CONFIG_SIZE,
           f"load configuration directory at {entry.VirtualAddress:#x}, {entry.Size} bytes, want {LOAD_CONFIG_SIZE}")
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    # Unparsed, the DependentLoadFlags and SEH checks below would be skipped.
    expect(config is not None, "pefile cannot parse the load configuration")
    if config is None:
        return
    fields = config.struct
    expect(fields.Size == LOAD_CONFIG_SIZE, f"load configuration says {fields.Size} bytes, want {LOAD_CONFIG_SIZE}")
    # pefile's older name for DependentLoadFlags is Reserved1.
    flags = getattr(fields, "DependentLoadFlags", getattr(fields, "Reserved1", None))
    expect(flags == LOAD_LIBRARY_SEARCH_SYSTEM32, f"DependentLoadFlags {flags}, want {LOAD_LIBRARY_SEARCH_SYSTEM32:#x}")
    expect(fields.SEHandlerTable == 0 and fields.SEHandlerCount == 0, "load configuration has an SEH table")


def check_imports(pe):
    names = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    expect(names == EXPECTED_IMPORTS, f"imports {sorted(names)}, want {sorted(EXPECTED_IMPORTS)}")
    expect(not getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", None), "delay imports present")
    expect(not getattr(pe, "DIRECTORY_ENTRY_BOUND_IMPORT", None), "bound imports present")


def collect_resources(pe):
    """{(type, id): (language, bytes)} for every resource, flattened."""
    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in directory.entries if directory else []:
        for rid in rtype.directory.entries:
            for lang in rid.directory.entries:
                expect(rtype.id is not None and rid.id is not None, "named resource present")
                data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                found[(rtype.id, rid.id)] = (lang.id, data)
    return found


def check_manifest(data):
    root = ET.fromstring(data)
    ident = root.find(ASM_V1 + "assemblyIdentity")
    expect(ident is not None, "manifest has no assemblyIdentity")
    if ident is not None:
        want = {"type": "win32", "name": MANIFEST_NAME, "version": "1.0.0.0", "processorArchitecture": "x86"}
        for key, value in want.items():
            expect(ident.get(key) == value, f"manifest {key}={ident.get(key)!r}, want {value!r}")
    level = root.find(f".//{ASM_V3}requestedExecutionLevel")
    expect(level is not None and level.get("level") == "asInvoker" and level.get("uiAccess") == "false",
           "manifest execution level is not asInvoker without uiAccess")
    ids = {e.get("Id") for e in root.iter(COMPAT_V1 + "supportedOS")}
    expect(ids == SUPPORTED_OS, f"manifest supportedOS {sorted(ids)}")
    bound = {e.get("name", "").lower(): e.get("loadFrom") for e in root.findall(ASM_V1 + "file")}
    expect(bound == {name: SYSTEM_FOLDER for name in SYSTEM_BOUND_DLLS},
           f"manifest file elements {bound}, want {sorted(SYSTEM_BOUND_DLLS)} from {SYSTEM_FOLDER}")


def check_icons(resources):
    group = resources.get((RT_GROUP_ICON, 0))
    expect(group is not None, "no icon group with id 0")
    if group is None:
        return
    data = group[1]
    _, kind, count = struct.unpack_from("<HHH", data)
    expect(kind == 1 and count == len(ICON_SIZES), f"icon group holds {count} images, want {len(ICON_SIZES)}")
    sizes = []
    for i in range(count):
        w, h, _, _, planes, bpp, length, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        size = w or 256
        sizes.append(size)
        expect(w == h and bpp == 32, f"icon entry {i}: {w}x{h} at {bpp} bpp")
        expect(icon_id == i + 1, f"icon entry {i} has id {icon_id}, want {i + 1}")
        image = resources.get((RT_ICON, icon_id))
        expect(image is not None, f"icon image {icon_id} missing")
        if image is None:
            continue
        png = image[1]
        expect(png.startswith(PNG_SIGNATURE), f"icon image {icon_id} is not a PNG")
        if png.startswith(PNG_SIGNATURE):
            pw, ph, depth, colour = struct.unpack_from(">IIBB", png, 16)
            expect((pw, ph) == (size, size), f"icon image {icon_id} is {pw}x{ph}, want {size}")
            expect(depth == 8 and colour == 6, f"icon image {icon_id} is not 32-bit RGBA")
        expect(len(png) == length, f"icon image {icon_id} length differs from its entry")
    expect(sizes == ICON_SIZES, f"icon sizes {sizes}")
    icons = sorted(rid for (rtype, rid) in resources if rtype == RT_ICON)
    expect(icons == list(range(1, 13)), f"icon resources {icons}, want 1..12")


def check_version(pe, args):
    expect(hasattr(pe, "VS_FIXEDFILEINFO"), "no version record")
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    one = (0x00010000, 0)
    expect((fixed.FileVersionMS, fixed.FileVersionLS) == one, "file version is not 1.0.0.0")
    expect((fixed.ProductVersionMS, fixed.ProductVersionLS) == one, "product version is not 1.0.0.0")
    expect(fixed.FileOS == 0x40004, f"file OS {fixed.FileOS:#x}")
    expect(fixed.FileType == 1, f"file type {fixed.FileType}")
    # The build's revision file: the revision, and "-dirty" after it for a
    # build from uncommitted changes, which only PrivateBuild and its flag
    # report.
    label = open(args.revision_file).read().strip()
    revision, dirty = label.removesuffix(DIRTY_SUFFIX), label.endswith(DIRTY_SUFFIX)
    want_flags = VS_FF_PRIVATEBUILD if dirty else 0
    expect(fixed.FileFlags == want_flags, f"file flags {fixed.FileFlags:#x}, want {want_flags:#x}")
    tables, translations = {}, []
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                tables[table.LangID.decode().lower()] = {k.decode(): v.decode() for k, v in table.entries.items()}
            for var in getattr(entry, "Var", []):
                translations.append(var.entry.get(b"Translation"))
    expect(list(tables) == ["040904b0"], f"string tables {list(tables)}, want 040904b0")
    strings = tables.get("040904b0", {})
    want = {
        "CompanyName": "ZOR",
        "FileDescription": args.product_name,
        "ProductName": args.product_name,
        "InternalName": args.product_name + ".exe",
        "OriginalFilename": args.product_name + ".exe",
        "FileVersion": revision,
        "ProductVersion": args.version,
    }
    if dirty:
        want["PrivateBuild"] = args.private_build_text
    expect(sorted(strings) == sorted(want), f"version strings {sorted(strings)}, want {sorted(want)}")
    for key, value in want.items():
        expect(strings.get(key) == value, f"version string {key}={strings.get(key)!r}, want {value!r}")
    revision = strings.get("FileVersion", "")
    expect(len(revision) == 40 and all(c in "0123456789abcdef" for c in revision),
           "FileVersion is not a 40-digit hexadecimal revision")
    expect(translations == ["0x0409 0x04b0"], f"translations {translations}")


def check_resources(pe, args):
    resources = collect_resources(pe)
    for (rtype, rid), (lang, _) in resources.items():
        expect(lang == LANGUAGE, f"resource {rtype}/{rid} has language {lang:#x}")
    kinds = sorted({rtype for rtype, _ in resources})
    expect(kinds == [RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST], f"resource types {kinds}")
    expect((RT_MANIFEST, 1) in resources, "no manifest with id 1")
    expect((RT_VERSION, 1) in resources, "no version record with id 1")
    if (RT_MANIFEST, 1) in resources:
        check_manifest(resources[(RT_MANIFEST, 1)][1])
    check_icons(resources)
    check_version(pe, args)


def check_size(pe, path, budget):
    with open(path, "rb") as f:
        total = len(f.read())
    resources = sum(s.SizeOfRawData for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc")
    without = total - resources
    print(f"image without resources: {without} bytes (budget {budget})")
    expect(without <= budget, f"image without resources is {without} bytes, over the budget of {budget}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("image")
    parser.add_argument("--product-name", required=True)
    parser.add_argument("--revision-file", required=True)
    parser.add_argument("--private-build-text", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--size-budget", type=int, default=12 * 1024)
    args = parser.parse_args()
    pe = pefile.PE(args.image)
    check_headers(pe)
    check_load_config(pe)
    check_imports(pe)
    check_resources(pe, args)
    check_size(pe, args.image, args.size_budget)
    for fault in faults:
        print("FAULT:", fault)
    print("image check:", "failed" if faults else "passed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
