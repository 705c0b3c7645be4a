#!/usr/bin/env python3
# Reads the application manifest and the version resource back from a PE file and checks them.
# Usage: check_resources.py EXE VERSION PRODUCT_NAME DESCRIPTION INTERNAL_NAME FILE_NAME
import struct
import sys
import xml.etree.ElementTree as ET

RT_VERSION = 16
RT_MANIFEST = 24
FIXED_INFO_SIGNATURE = 0xFEEF04BD

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'
COMPATIBILITY = '{urn:schemas-microsoft-com:compatibility.v1}'
SETTINGS_2005 = '{http://schemas.microsoft.com/SMI/2005/WindowsSettings}'
SETTINGS_2016 = '{http://schemas.microsoft.com/SMI/2016/WindowsSettings}'

# Windows Vista, 7, 8, 8.1, and 10 with 11 (which shares the id of 10).
SUPPORTED_OS = {
    '{e2011457-1546-43c5-a5fe-008deee3d3f0}',
    '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
    '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}',
    '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
    '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}',
}
COMMON_CONTROLS = {'type': 'win32', 'name': 'Microsoft.Windows.Common-Controls', 'version': '6.0.0.0',
                   'processorArchitecture': '*', 'publicKeyToken': '6595b64144ccf1df', 'language': '*'}

failures = []


def fail(text):
    failures.append(text)


class Image:
    """The sections of a PE file and its resource directory."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3c)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        count = struct.unpack_from('<H', data, pe + 6)[0]
        optional_size = struct.unpack_from('<H', data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from('<H', data, optional)[0]
        directories = optional + (96 if magic == 0x10b else 112)  # PE32 or PE32+
        self.resource_rva, self.resource_size = struct.unpack_from('<II', data, directories + 2 * 8)
        table = optional + optional_size
        self.sections = []
        for i in range(count):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from('<8sIIII', data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def offset(self, rva):
        for vaddr, span, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + span and rva - vaddr < rawsize:
                return rawptr + rva - vaddr
        raise ValueError('address %#x lies in no section' % rva)

    def resources(self):
        """Every leaf of the resource tree as (type, name, language, bytes); names are ids or texts."""
        if not self.resource_rva:
            return []
        base = self.offset(self.resource_rva)
        out = []

        def label(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = struct.unpack_from('<H', self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode('utf-16-le')
            return entry_name

        def walk(at, path):
            named, ids = struct.unpack_from('<HH', self.data, at + 12)
            for i in range(named + ids):
                entry_name, target = struct.unpack_from('<II', self.data, at + 16 + 8 * i)
                here = path + [label(entry_name)]
                if target & 0x80000000:
                    if len(here) >= 3:
                        raise ValueError('resource tree deeper than three levels')
                    walk(base + (target & 0x7FFFFFFF), here)
                else:
                    rva, size = struct.unpack_from('<II', self.data, base + target)
                    start = self.offset(rva)
                    out.append(tuple(here) + (self.data[start:start + size],))

        walk(base, [])
        return out


def version_blocks(data, at=0):
    """One block of a version resource: (key, value bytes, type, children), and where it ends."""
    length, value_length, kind = struct.unpack_from('<HHH', data, at)
    end = at + length
    key_at = at + 6
    key_end = key_at
    while data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[key_at:key_end].decode('utf-16-le')
    value_at = (key_end + 2 + 3) & ~3
    # Text values count characters, binary ones bytes.
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = data[value_at:value_at + value_bytes]
    children = []
    child = (value_at + value_bytes + 3) & ~3
    while child < end:
        block, child_end = version_blocks(data, child)
        children.append(block)
        child = (child_end + 3) & ~3
    return (key, value, kind, children), end


def check_manifest(text):
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        fail('manifest is not well-formed XML: %s' % error)
        return
    if root.tag != ASM_V1 + 'assembly' or root.get('manifestVersion') != '1.0':
        fail('manifest root is %s, manifestVersion %s' % (root.tag, root.get('manifestVersion')))
    levels = root.findall('.//%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel' % ((ASM_V3,) * 4))
    if len(levels) != 1:
        fail('manifest has %d requestedExecutionLevel elements, expected 1' % len(levels))
    else:
        if levels[0].get('level') != 'highestAvailable':
            fail('execution level is %r, expected highestAvailable' % levels[0].get('level'))
        if levels[0].get('uiAccess') != 'false':
            fail('uiAccess is %r, expected false' % levels[0].get('uiAccess'))
    ids = [e.get('Id') for e in root.findall('.//%scompatibility/%sapplication/%ssupportedOS' % ((COMPATIBILITY,) * 3))]
    if sorted(ids) != sorted(SUPPORTED_OS):
        fail('supportedOS ids are %s, expected %s' % (sorted(ids), sorted(SUPPORTED_OS)))
    dependencies = [e.attrib for e in root.findall('.//%sdependency/%sdependentAssembly/%sassemblyIdentity' % ((ASM_V1,) * 3))]
    if dependencies != [COMMON_CONTROLS]:
        fail('dependencies are %s, expected only %s' % (dependencies, COMMON_CONTROLS))
    settings = './/%sapplication/%swindowsSettings/' % (ASM_V3, ASM_V3)
    aware = [e.text for e in root.findall(settings + SETTINGS_2005 + 'dpiAware')]
    awareness = [e.text for e in root.findall(settings + SETTINGS_2016 + 'dpiAwareness')]
    if aware != ['true']:
        fail('dpiAware is %s, expected [true] (system DPI)' % aware)
    if awareness != ['system']:
        fail('dpiAwareness is %s, expected [system]' % awareness)


def check_version(data, version, strings):
    try:
        (key, value, _, children), _ = version_blocks(data)
    except (struct.error, UnicodeDecodeError) as error:
        fail('version resource cannot be read: %s' % error)
        return
    if key != 'VS_VERSION_INFO' or len(value) != 52:
        fail('version resource starts with %r and a fixed part of %d bytes' % (key, len(value)))
        return
    fixed = struct.unpack_from('<13I', value)
    parts = [int(p) for p in version.split('.')] + [0, 0, 0, 0]
    ms, ls = (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]
    if fixed[0] != FIXED_INFO_SIGNATURE:
        fail('fixed version part has signature %#x' % fixed[0])
    if (fixed[2], fixed[3]) != (ms, ls) or (fixed[4], fixed[5]) != (ms, ls):
        fail('fixed file and product versions are %#x.%#x and %#x.%#x, expected %s'
             % (fixed[2], fixed[3], fixed[4], fixed[5], version))
    if fixed[8] != 0x40004 or fixed[9] != 1:
        fail('file OS %#x and type %#x, expected 0x40004 (NT, 32-bit Windows) and 1 (application)' % (fixed[8], fixed[9]))
    found = {}
    tables = []
    translations = []
    for child_key, child_value, _, grandchildren in children:
        if child_key == 'StringFileInfo':
            for table_key, _, _, entries in grandchildren:
                tables.append(table_key)
                for name, text, _, _ in entries:
                    found[name] = text.decode('utf-16-le').rstrip('\0')
        elif child_key == 'VarFileInfo':
            for var_key, var_value, _, _ in grandchildren:
                if var_key == 'Translation':
                    translations += list(struct.unpack('<%dH' % (len(var_value) // 2), var_value))
    if tables != ['040904E4']:
        fail('string tables %s, expected [040904E4]' % tables)
    if translations != [0x409, 1252]:
        fail('translation %s, expected [1033, 1252]' % translations)
    for name, expected in strings.items():
        if found.get(name) != expected:
            fail('%s is %r, expected %r' % (name, found.get(name), expected))


def main():
    exe, version, product, description, internal, file_name = sys.argv[1:7]
    image = Image(open(exe, 'rb').read())
    leaves = image.resources()
    manifests = [leaf for leaf in leaves if leaf[0] == RT_MANIFEST]
    versions = [leaf for leaf in leaves if leaf[0] == RT_VERSION]
    if [leaf[1] for leaf in manifests] != [1]:
        fail('manifest resources %s, expected one with id 1' % [leaf[1:3] for leaf in manifests])
    else:
        check_manifest(manifests[0][3])
    if [leaf[1] for leaf in versions] != [1]:
        fail('version resources %s, expected one with id 1' % [leaf[1:3] for leaf in versions])
    else:
        check_version(versions[0][3], version, {
            'ProductName': product, 'FileDescription': description, 'FileVersion': version,
            'ProductVersion': version, 'InternalName': internal, 'OriginalFilename': file_name})
    for text in failures:
        print('FAIL: ' + text)
    if not failures:
        print('resources ok: manifest and version %s' % version)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
