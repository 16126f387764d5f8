#!/usr/bin/python3
"""spihost end to end: every command against the real plug-ins and the
bundled samples, natively or under Wine. Pictures are read back with Pillow,
a reader independent of spihost's own encoder."""
import argparse
import io
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image

ARGS = None


def run(*args, stdin=None, timeout=120, env=None, program=None):
    """Runs spihost (or a copy of it at program); returns (exit status, stdout bytes, stderr text)."""
    command = ([ARGS.wine] if ARGS.wine else []) + [program or ARGS.spihost] + [str(a) for a in args]
    # Standard error into a file, not a pipe: a wineserver that this run starts
    # holds the pipe open until it exits, seconds after spihost has.
    with tempfile.TemporaryFile() as err:
        p = subprocess.run(command, stdout=subprocess.PIPE, stderr=err, timeout=timeout, input=stdin,
                           env=env)
        err.seek(0)
        return p.returncode, p.stdout, err.read().decode('utf-8', 'replace')


def set_dword(key, name, value):
    """A setting under HKEY_CURRENT_USER, where the plug-ins read it at load."""
    if ARGS.wine:
        subprocess.run([ARGS.wine, 'reg', 'add', 'HKCU\\' + key, '/v', name, '/t', 'REG_DWORD',
                        '/d', str(value), '/f'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        return
    path = os.environ['SPI_REGISTRY']
    with open(path, 'w', encoding='utf-8') as f:
        f.write('REGEDIT4\n\n[HKEY_CURRENT_USER\\%s]\n"%s"=dword:%08x\n' % (key, name, value))


def clear_settings():
    if ARGS.wine:
        subprocess.run([ARGS.wine, 'reg', 'delete', 'HKCU\\Software\\Kestrov', '/f'],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elif os.path.exists(os.environ['SPI_REGISTRY']):
        os.remove(os.environ['SPI_REGISTRY'])


def ne_library(files, shift=4):
    """A 16-bit icon library (NE) holding each icon or cursor file as group
    1, 2, ... of type 14 or 12, its images as members of type 3 or 1."""
    types = {}  # type -> [(id, data)]
    image_id = 1
    for number, data in enumerate(files, 1):
        kind, count = struct.unpack_from('<HH', data, 2)
        group = struct.pack('<HHH', 0, kind, count)
        for i in range(count):
            w, h, colours, _, planes, bits, size, offset = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
            image = data[offset:offset + size]
            if kind == 2:  # the hotspot moves to the front of the image
                image = struct.pack('<HH', planes, bits) + image
                group += struct.pack('<HHHHIH', w or 256, 2 * (h or 256), 1, 32, len(image), image_id)
            else:
                group += struct.pack('<BBBBHHIH', w, h, colours, 0, planes, bits, size, image_id)
            types.setdefault(1 if kind == 2 else 3, []).append((image_id, image))
            image_id += 1
        types.setdefault(12 if kind == 2 else 14, []).append((number, group))
    table = struct.pack('<H', shift)
    entries = []
    for t, resources in types.items():
        table += struct.pack('<HHI', 0x8000 | t, len(resources), 0)
        for rid, data in resources:
            entries.append((len(table), data))
            table += struct.pack('<HHHHHH', 0, 0, 0x0C30, 0x8000 | rid, 0, 0)
    table += b'\0\0\0'
    header = bytearray(64)
    header[0:2] = b'NE'
    struct.pack_into('<HH', header, 36, 64, 64 + len(table))
    header[54] = 2
    out = bytearray(b'MZ' + b'\0' * 58 + struct.pack('<I', 64)) + header + table + b'\0' * 4
    unit = 1 << shift
    table_at = 128
    for at, data in entries:
        out += b'\0' * (-len(out) % unit)
        struct.pack_into('<HH', out, table_at + at, len(out) >> shift, -(-len(data) // unit))
        out += data
    return bytes(out + b'\0' * (-len(out) % unit))


def tarc(members):
    """An archive of the Tarc test format: (path, name, data) members."""
    out = b'TARC' + struct.pack('<II', len(members), 0)
    for path, name, data in members:
        out += b'TENT' + struct.pack('<IBB', len(data), len(path), len(name)) + path + name + data
    return out


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def rgba(path):
    with Image.open(path) as im:
        return im.size, list(im.convert('RGBA').getdata())


def icon_rgba(path):
    """Pillow's RGBA of a one-image icon or cursor file, the transparency mask
    applied. A cursor is shown to Pillow as an icon: its cursor reader knows no
    alpha."""
    data = bytearray(read(path))
    offset = struct.unpack('<I', data[18:22])[0]
    block = data[offset:]
    if block[:4] == b'\x89PNG':
        # The PNG itself: Pillow's icon reader drops a palette's transparency.
        with Image.open(io.BytesIO(bytes(block))) as im:
            return im.size, list(im.convert('RGBA').getdata())
    bits = struct.unpack('<H', block[14:16])[0]
    data[2:4] = struct.pack('<H', 1)
    data[10:14] = struct.pack('<HH', 1, bits)
    with Image.open(io.BytesIO(bytes(data))) as im:
        return im.size, list(im.convert('RGBA').getdata())


def files_under(folder):
    found = []
    for root, _, names in os.walk(folder):
        for n in names:
            found.append(os.path.relpath(os.path.join(root, n), folder).replace(os.sep, '/'))
    return sorted(found)


class Base(unittest.TestCase):
    def setUp(self):
        clear_settings()
        self.dir = os.path.join(ARGS.work, self.id().split('.')[-1])
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def sample(self, name):
        return os.path.join(ARGS.samples, name)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, data):
        with open(self.path(name), 'wb') as f:
            f.write(data)
        return self.path(name)


class CommandLine(Base):
    def test_help_and_usage_errors(self):
        for args in [['--help'], ['plugins', '--help'], ['list', '--help'], ['extract', '-h'],
                     ['convert', '--help'], ['config', '--help'], ['thumbnail', '-h']]:
            status, out, _ = run(*args)
            self.assertEqual(status, 0, args)
            self.assertIn(b'usage: spihost', out)
        for args in [[], ['frobnicate'], ['list'], ['list', '--png', 'x'], ['extract'],
                     ['convert', 'x.ico'], ['convert', 'x.ico', '-o', 'x.gif'],
                     ['config'], ['--lang', 'de', 'plugins'], ['extract', 'a', '-o'],
                     ['extract', 'a', '--stdout', '--png'], ['--plugins', self.path('none'), 'plugins']]:
            status, out, err = run(*args)
            self.assertEqual(status, 2, args)
            self.assertIn('spihost:', err, args)
            self.assertEqual(out, b'', args)

    def test_plugins_lists_the_four_with_their_kinds(self):
        status, out, _ = run('plugins', '--json')
        self.assertEqual(status, 0)
        kinds = {p['file']: p['kind'] for p in json.loads(out)}
        self.assertEqual(kinds, {'Pelorin' + ARGS.suffix: '00AM', 'Vantrel' + ARGS.suffix: '00AM',
                                 'Quibbet' + ARGS.suffix: '00AM', 'Morvane' + ARGS.suffix: '00IN'})
        status, out, _ = run('plugins')
        self.assertEqual(status, 0)
        self.assertIn(b'Animation Cursor (*.ani)', out)


    def test_a_plugin_is_loaded_only_when_the_choice_reaches_it(self):
        # A copy of spihost beside Pelorin, Morvane and two plug-ins that cannot
        # be loaded: only a choice that reaches those two tells of them.
        folder = self.path('bin')
        os.makedirs(folder)
        program = os.path.join(folder, os.path.basename(ARGS.spihost))
        shutil.copy(ARGS.spihost, program)
        for name in ('Pelorin', 'Morvane'):
            shutil.copy(os.path.join(ARGS.plugins, name + ARGS.suffix), folder)
        for name in ('Vantrel', 'Quibbet'):
            with open(os.path.join(folder, name + ARGS.suffix), 'wb') as f:
                f.write(b'MZ, but no library')
        exe = self.sample('sample.exe')
        for args in (['list', exe], ['thumbnail', self.sample('pointer.cur'), '']):
            outputs = []
            for which in (None, program):
                if args[0] == 'thumbnail':
                    args[-1] = self.path('%s.png' % len(outputs))
                status, out, err = run(*args, program=which)
                self.assertEqual(status, 0, (args, err))
                self.assertNotIn('warning', err, args)
                outputs.append(read(args[-1]) if args[0] == 'thumbnail' else out)
            self.assertEqual(outputs[0], outputs[1], args)
        # An icon file reaches Quibbet; Vantrel, whose files start "RIFF", is passed over unloaded.
        status, out, err = run('list', '--json', self.sample('multi.ico'), program=program)
        self.assertEqual((status, json.loads(out)[0]['error']), (1, 'no plug-in takes this file'), err)
        self.assertNotIn('Vantrel', err)
        self.assertIn('warning: Quibbet' + ARGS.suffix, err)
        status, out, err = run('list', '--json', self.sample('spinner.ani'), program=program)
        self.assertIn('warning: Vantrel' + ARGS.suffix, err)
        self.assertNotIn('Quibbet', err)
        status, out, err = run('plugins', '--json', program=program)
        self.assertEqual(status, 0, err)
        self.assertEqual([p['file'] for p in json.loads(out)], ['Pelorin' + ARGS.suffix, 'Morvane' + ARGS.suffix])
        self.assertIn('warning: Quibbet' + ARGS.suffix, err)

    def test_config_names_and_language(self):
        status, _, err = run('config', 'NoSuchPlugin')
        self.assertEqual(status, 2)
        self.assertIn('no plug-in named NoSuchPlugin', err)
        if ARGS.wine:
            return  # a real dialog would wait for a click
        # Without a terminal the dialog cannot show, and --lang is never stored.
        status, _, err = run('--lang', 'en', 'config', 'morvane')
        self.assertEqual(status, 1)
        self.assertIn('needs a terminal', err)
        self.assertIn("'spihost settings morvane'", err)
        self.assertFalse(os.path.exists(os.environ['SPI_REGISTRY']))

    def test_version_and_settings(self):
        status, out, _ = run('--version')
        self.assertEqual(status, 0)
        self.assertRegex(out.decode(), r'^spihost \d+\.\d+\.\d+\r?\n$')
        status, out, _ = run('settings', 'Morvane')
        self.assertEqual(status, 0)
        self.assertIn(b'GroupIcon=0  (0 to 2, default 0', out)
        self.assertIn(b'FileName=0  (0 to 1, default 0', out)
        # Refused values write nothing; a good one writes both values, as the dialog's OK does.
        for bad in ('GroupIcon=3', 'GroupIcon=-1', 'GroupIcon=x', 'Colour=1', 'GroupIcon'):
            status, _, err = run('settings', 'morvane', 'FileName=1', bad)
            self.assertEqual(status, 2, bad)
            self.assertIn('spihost:', err)
        if not ARGS.wine:
            self.assertFalse(os.path.exists(os.environ['SPI_REGISTRY']))
        status, out, _ = run('settings', 'Quibbet', 'groupicon=2')
        self.assertEqual(status, 0)
        self.assertIn(b"Morvane's", out)
        self.assertIn(b'GroupIcon=2', out)
        # The plug-ins see it: an icon file of four images is now Morvane's picture.
        status, out, _ = run('list', '--json', self.sample('multi.ico'))
        self.assertEqual(json.loads(out)[0]['plugin'], 'Morvane' + ARGS.suffix)
        if not ARGS.wine:
            with open(os.environ['SPI_REGISTRY'], encoding='utf-8') as f:
                text = f.read()
            self.assertIn('"GroupIcon"=dword:00000002', text)
            self.assertIn('"FileName"=dword:00000000', text)


class Listing(Base):
    def test_json_of_every_sample(self):
        files = [self.sample(n) for n in ('sample.exe', 'multi.ico', 'spinner.ani', 'pointer.cur')]
        status, out, err = run('list', '--json', *files)
        self.assertEqual(status, 0, err)
        result = json.loads(out)
        self.assertEqual([r['file'] for r in result], files)
        exe, ico, ani, cur = result
        self.assertEqual(exe['plugin'], 'Pelorin' + ARGS.suffix)
        names = [m['path'] + m['name'] for m in exe['members']]
        for n in ('#00001.BMP', 'MONO.BMP', '#00001.DAT', '#00001.CUR', '#00001.ICO', '#00002.ICO'):
            self.assertIn(n, names)
        self.assertEqual(names.count('#00001.BMP'), 2)  # English and Japanese
        bmp = next(m for m in exe['members'] if m['name'] == '#00002.BMP')
        self.assertEqual(bmp['size'], bmp['packed'] + 14)
        self.assertEqual(bmp['method'], '-RES32-')
        self.assertEqual(ico['plugin'], 'Quibbet' + ARGS.suffix)
        self.assertEqual([m['name'] for m in ico['members']],
                         ['#00001.ICO', '#00002.ICO', '#00003.ICO', '#00004.ICO'])
        self.assertEqual([m['position'] for m in ico['members']], [6, 22, 38, 54])
        self.assertEqual(ani['plugin'], 'Vantrel' + ARGS.suffix)
        self.assertEqual(len(ani['members']), 4)
        self.assertEqual(cur['plugin'], 'Morvane' + ARGS.suffix)
        self.assertEqual(cur['picture'], {'width': 32, 'height': 32, 'depth': 4})
        # What each member shows: one picture, or each image of a group.
        by_name = {m['path'] + m['name']: m for m in exe['members']}
        self.assertEqual((by_name['#00001.CUR']['width'], by_name['#00001.CUR']['depth']), (32, 4))
        self.assertEqual([(i['width'], i['height'], i['depth']) for i in by_name['#00001.ICO']['images']],
                         [(16, 16, 8), (32, 32, 24)])
        self.assertNotIn('width', by_name['#00001.DAT'])
        self.assertEqual([m['width'] for m in ico['members']], [16, 16, 32, 48])

    def test_table_shows_language_folders(self):
        set_dword('Software\\Kestrov\\Susie\\Plug-in\\Pelorin', 'ExtractLanguage', 1)
        status, out, _ = run('list', self.sample('sample.exe'))
        self.assertEqual(status, 0)
        sep = b'\\' if ARGS.wine else b'/'
        self.assertIn(b'JAPANESE' + sep + b'#00001.BMP', out)
        self.assertIn(b'ENGLISH' + sep + b'#00001.BMP', out)

    def test_broken_inputs_name_the_file_and_never_crash(self):
        exe = read(self.sample('sample.exe'))
        ico = read(self.sample('multi.ico'))
        ani = read(self.sample('spinner.ani'))
        cases = {
            'empty.exe': b'',
            'garbage.bin': bytes(range(256)) * 8,
            'cut.exe': exe[:1024],
            'cut.ico': ico[:30],
            'cut.ani': ani[:100],
            'offsets.ico': ico[:18] + struct.pack('<I', 0x7FFFFFF0) + ico[22:],
        }
        good = self.sample('spinner.ani')
        for name, data in cases.items():
            path = self.write(name, data)
            status, out, err = run('list', path, good)
            self.assertEqual(status, 1, name)
            self.assertIn(path, err, name)
            self.assertIn(b'#00004.CUR', out, name)  # the good file is still listed
        status, _, err = run('list', self.path('missing.ico'))
        self.assertEqual(status, 1)
        # The system's own words: POSIX's, or Windows' under Wine.
        self.assertRegex(err, 'missing.ico: (No such file or directory|File not found|.*cannot find)')
        status, _, err = run('list', self.dir)
        self.assertEqual(status, 1)
        self.assertIn('directory', err)
        if hasattr(os, 'geteuid') and os.geteuid() != 0 and not ARGS.wine:
            locked = self.write('locked.ico', read(self.sample('pointer.cur')))
            os.chmod(locked, 0)
            status, _, err = run('list', locked)
            self.assertIn('locked.ico: Permission denied', err)
        # An executable without resources is named as such: PE or NE.
        exe = read(self.sample('sample.exe'))
        status, _, err = run('list', self.write('bare.exe', exe[:64]))
        self.assertEqual(status, 1)
        self.assertIn('without resources', err)
        bare = bytearray(ne_library([read(self.sample('multi.ico'))]))
        struct.pack_into('<H', bare, 64 + 38, 64)  # the resource table ends where it starts
        status, _, err = run('list', self.write('bare.icl', bytes(bare)))
        self.assertEqual(status, 1)
        self.assertIn('without resources', err)

    def test_all_types_for_one_run_and_as_a_setting(self):
        library = os.path.join(WINE_64, 'user32.dll')
        if not os.path.exists(library):
            self.skipTest("Wine's libraries are not installed")
        def names(*extra):
            status, out, err = run('list', '--json', *extra, library)
            self.assertEqual(status, 0, err)
            return [m['name'] for m in json.loads(out)[0]['members']]
        plain = names()
        every = names('--all-types')
        self.assertIn('#00001.VERSION.TXT', every)
        self.assertTrue(any(n.endswith('.STRING.TXT') for n in every))
        self.assertNotIn('#00001.VERSION.TXT', plain)
        self.assertEqual(names(), plain)  # the setting is back as it was
        out = self.path('out')
        status, _, err = run('extract', '--all-types', library, '#00001.VERSION.TXT', '-o', out)
        self.assertEqual(status, 0, err)
        with open(os.path.join(out, '#00001.VERSION.TXT'), 'rb') as f:
            text = f.read()
        self.assertTrue(text.startswith(b'\xef\xbb\xbfVS_VERSION_INFO VERSIONINFO\r\n'), text[:40])
        status, _, err = run('settings', 'Pelorin', 'ListAllTypes=1')
        self.assertEqual(status, 0, err)
        self.assertEqual(names(), every)

    def test_icon_library_lists_and_extracts_as_an_executable(self):
        icons = [read(self.sample('multi.ico')), read(self.sample('pointer.cur'))]
        library = self.write('icons.icl', ne_library(icons, shift=9))
        status, out, err = run('list', '--json', library)
        self.assertEqual(status, 0, err)
        members = json.loads(out)[0]['members']
        self.assertEqual([m['name'] for m in members], ['#00001.ICO', '#00002.CUR'])
        out = self.path('out')
        status, _, err = run('extract', library, '-o', out, '--png')
        self.assertEqual(status, 0, err)
        files = files_under(out)
        self.assertIn('#00001.ICO', files)
        self.assertIn('#00002.CUR.png', files)
        self.assertTrue(any(f.startswith('#00001.ICO.images/') and f.endswith('.png') for f in files), files)
        with open(os.path.join(out, '#00001.ICO'), 'rb') as f:
            self.assertEqual(f.read(), icons[0])  # images of sizes that need no padding

    def test_whole_files_for_the_format_test(self):
        # Formats whose telling bytes lie past the first 2 KB: an icon of 130
        # images, and an executable whose headers start at 4 KB.
        block = struct.pack('<IiiHHIIiiII', 40, 1, 2, 1, 1, 0, 0, 0, 0, 0, 0) + b'\0\0\0\0\xff\xff\xff\0' + b'\0' * 8
        count = 130
        directory = b''.join(struct.pack('<BBBBHHII', 1, 1, 2, 0, 1, 1, len(block), 6 + 16 * count + i * len(block))
                             for i in range(count))
        icon = self.write('many.ico', struct.pack('<HHH', 0, 1, count) + directory + block * count)
        status, out, err = run('list', '--json', icon)
        self.assertEqual(status, 0, err)
        self.assertEqual(len(json.loads(out)[0]['members']), count)
        exe = bytearray(read(self.sample('sample.exe')))
        pe = struct.unpack('<I', exe[60:64])[0]
        sections = struct.unpack('<H', exe[pe + 6:pe + 8])[0]
        optional = struct.unpack('<H', exe[pe + 20:pe + 22])[0]
        shift = 4096
        struct.pack_into('<I', exe, pe + 24 + 60, struct.unpack('<I', exe[pe + 24 + 60:pe + 24 + 64])[0] + shift)
        for k in range(sections):
            at = pe + 24 + optional + 40 * k + 20
            raw = struct.unpack('<I', exe[at:at + 4])[0]
            if raw:
                struct.pack_into('<I', exe, at, raw + shift)
        struct.pack_into('<I', exe, 60, pe + shift)
        moved = self.write('moved.exe', bytes(exe[:pe]) + b'\0' * shift + bytes(exe[pe:]))
        status, out, err = run('list', '--json', moved)
        self.assertEqual(status, 0, err)
        self.assertEqual(json.loads(out)[0]['plugin'], 'Pelorin' + ARGS.suffix)

    def test_json_reports_errors_per_file(self):
        bad = self.write('bad.ico', b'\0\0\1\0\2\0' + b'\xff' * 40)
        status, out, _ = run('list', '--json', bad, self.sample('multi.ico'))
        self.assertEqual(status, 1)
        result = json.loads(out)
        self.assertIn('error', result[0])
        self.assertEqual(len(result[1]['members']), 4)


class Extraction(Base):
    def test_everything_of_the_executable(self):
        out = self.path('out')
        status, _, err = run('extract', self.sample('sample.exe'), '-o', out)
        self.assertEqual(status, 0, err)
        files = files_under(out)
        # The two #00001.BMP (English, Japanese) both survive.
        for n in ('#00001.BMP', '#00001-2.BMP', '#00001.DAT', '#00001-2.DAT', 'MONO.BMP',
                  '#00001.ICO', '#00002.ICO', '#00001.CUR'):
            self.assertIn(n, files)
        data = read(os.path.join(out, '#00001.DAT'))
        self.assertEqual(data, read(os.path.join(ARGS.parts, 'data_en.bin')))
        data = read(os.path.join(out, '#00001-2.DAT'))
        self.assertEqual(data, read(os.path.join(ARGS.parts, 'data_ja.bin')))
        # A rebuilt bitmap file is the picture that went into the executable.
        self.assertEqual(rgba(os.path.join(out, '#00002.BMP')),
                         rgba(os.path.join(ARGS.parts, 'photo.bmp')))
        self.assertFalse([f for f in files if os.path.basename(f).startswith('SP')])

    def test_language_folders(self):
        set_dword('Software\\Kestrov\\Susie\\Plug-in\\Pelorin', 'ExtractLanguage', 1)
        out = self.path('out')
        status, _, err = run('extract', self.sample('sample.exe'), '-o', out)
        self.assertEqual(status, 0, err)
        files = files_under(out)
        self.assertIn('JAPANESE/#00001.BMP', files)
        self.assertIn('ENGLISH/#00001.BMP', files)
        self.assertEqual(rgba(os.path.join(out, 'JAPANESE', '#00001.BMP')),
                         rgba(os.path.join(ARGS.parts, 'logo_ja.bmp')))
        # One member by its listed name, with either separator.
        for spelling in ('JAPANESE/#00001.DAT', 'JAPANESE\\#00001.DAT'):
            one = self.path('one')
            shutil.rmtree(one, ignore_errors=True)
            status, _, err = run('extract', self.sample('sample.exe'), spelling, '-o', one)
            self.assertEqual(status, 0, err)
            self.assertEqual(files_under(one), ['JAPANESE/#00001.DAT'])

    def test_folders_and_inputs_named_outside_ascii(self):
        # In code page 932 (Japanese Windows) the forms of 表 and ソ end in the
        # byte 0x5C, '\\'; café has no form there at all.
        japanese = dict(os.environ, LANG='ja_JP.UTF-8', LC_ALL='ja_JP.UTF-8')
        folders = ['表', 'ソ', '日本', 'café']
        plain = self.path('plain')
        self.assertEqual(run('extract', self.sample('multi.ico'), '-o', plain)[0], 0)
        for name in folders:
            base = self.path(name)
            os.makedirs(base)
            icons, cursor = os.path.join(base, name + '.ico'), os.path.join(base, name + '.cur')
            shutil.copy(self.sample('multi.ico'), icons)
            shutil.copy(self.sample('pointer.cur'), cursor)
            out = os.path.join(base, name)
            status, _, err = run('extract', icons, '-o', out, env=japanese)
            self.assertEqual(status, 0, err)
            self.assertEqual(files_under(out), ['#00001.ICO', '#00002.ICO', '#00003.ICO', '#00004.ICO'])
            for member in files_under(out):
                self.assertEqual(read(os.path.join(out, member)), read(os.path.join(plain, member)), member)
            # --png goes through memory and a temporary file, here in a folder of the same name.
            status, _, err = run('extract', icons, '#00003.ICO', '--png', '-o', os.path.join(out, name), env=japanese)
            self.assertEqual(status, 0, err)
            self.assertIn('#00003.ICO', files_under(os.path.join(out, name)))
            status, _, err = run('convert', cursor, '-o', os.path.join(base, name + '.png'), env=japanese)
            self.assertEqual(status, 0, err)
            self.assertEqual(rgba(os.path.join(base, name + '.png')), icon_rgba(self.sample('pointer.cur')))
            status, out_bytes, err = run('list', '--json', icons, cursor, env=japanese)
            self.assertEqual(status, 0, err)
            self.assertEqual([r['file'] for r in json.loads(out_bytes)], [icons, cursor])
            status, out_bytes, err = run('list', icons, env=japanese)
            self.assertEqual(status, 0, err)
            self.assertIn(icons.encode('utf-8'), out_bytes)
            # The thumbnail lists and fetches the icon's images by that name too.
            status, _, err = run('thumbnail', '-s', '32', icons, os.path.join(base, name + '-32.png'), env=japanese)
            self.assertEqual(status, 0, err)
            self.assertEqual(Image.open(os.path.join(base, name + '-32.png')).size, (32, 32))
            # Nothing created under another name, beside or above.
            self.assertEqual(sorted(os.listdir(base)),
                             sorted([name, name + '.ico', name + '.cur', name + '.png', name + '-32.png']))
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(folders + ['plain']))

    def test_named_members_and_missing_names(self):
        out = self.path('out')
        status, _, err = run('extract', self.sample('multi.ico'), '#00003.ICO', '#00009.ICO', '-o', out)
        self.assertEqual(status, 1)
        self.assertIn('no member named #00009.ICO', err)
        self.assertEqual(files_under(out), ['#00003.ICO'])

    def test_stdout_gives_one_member(self):
        status, out, err = run('extract', self.sample('sample.exe'), '#00001.DAT', '--stdout')
        self.assertEqual(status, 0, err)
        self.assertEqual(out, read(os.path.join(ARGS.parts, 'data_en.bin')))
        status, out, err = run('extract', self.sample('sample.exe'), '--stdout')
        self.assertEqual(status, 2)
        self.assertIn('name the one', err)

    def test_png_of_every_icon_image(self):
        out = self.path('out')
        status, _, err = run('extract', self.sample('sample.exe'), '-o', out, '--png')
        self.assertEqual(status, 0, err)
        files = files_under(out)
        # A group's images are named after what they show.
        for n in ('#00001.ICO.images/16x16x8.png', '#00001.ICO.images/32x32x24.png',
                  '#00002.ICO.png', '#00001.CUR.png', '#00002.BMP.png', 'MONO.BMP.png',
                  '#00001-2.BMP.png'):
            self.assertIn(n, files)
        self.assertEqual(rgba(os.path.join(out, '#00001.ICO.images', '32x32x24.png'))[0], (32, 32))
        self.assertEqual(rgba(os.path.join(out, '#00002.BMP.png')),
                         rgba(os.path.join(ARGS.parts, 'photo.bmp')))

    def test_png_matches_the_plugin_bitmap_pixel_by_pixel(self):
        # Every image of the icon and every frame of the animated cursor: the
        # PNG's colours are the bitmap the plug-in handed over (as BMP), its
        # alpha the transparency Pillow reads from the one-image file.
        for sample in ('multi.ico', 'spinner.ani'):
            out = self.path(sample)
            status, _, err = run('extract', self.sample(sample), '-o', out, '--png')
            self.assertEqual(status, 0, err)
            singles = [f for f in files_under(out) if not f.endswith('.png')]
            self.assertEqual(len(singles), 4)
            for single in singles:
                bmp = os.path.join(out, single + '.bmp')
                status, _, err = run('convert', os.path.join(out, single), '-o', bmp)
                self.assertEqual(status, 0, err)
                size, png = rgba(os.path.join(out, single + '.png'))
                bmp_size, colours = rgba(bmp)
                self.assertEqual((size, [p[:3] for p in png]), (bmp_size, [c[:3] for c in colours]), single)
                self.assertEqual((size, png), icon_rgba(os.path.join(out, single)), single)
        # The four depths of the icon came through.
        with Image.open(self.path('multi.ico', '#00004.ICO.bmp')) as im:
            self.assertEqual(im.mode, 'RGB')

    def test_many_inputs_only_and_jobs(self):
        # Several files, each into a folder of its own; the same result for every -j.
        inputs = [self.sample(n) for n in ('sample.exe', 'multi.ico', 'spinner.ani', 'pointer.cur')]
        results = []
        for jobs in ('1', '3'):
            out = self.path('j' + jobs)
            status, stdout, err = run('extract', *inputs, '-o', out, '--png', '-j', jobs)
            self.assertEqual(status, 0, err)
            tree = {f: read(os.path.join(out, f)) for f in files_under(out)}
            results.append((tree, err))
        self.assertEqual(results[0], results[1])
        tree, err = results[0]
        self.assertIn('sample.exe/#00001.ICO.images/16x16x8.png', tree)
        self.assertIn('pointer.cur/pointer.cur.png', tree)
        self.assertIn('spinner.ani/#00001.CUR.png', tree)
        pngs = sum(1 for f in tree if f.endswith('.png'))
        self.assertIn('spihost: 4 files, %d members and %d PNGs written; 0 failed'
                      % (len(tree) - pngs, pngs), err)
        # --only keeps the members of those extensions, in any case.
        out = self.path('only')
        status, _, err = run('extract', self.sample('sample.exe'), '-o', out, '--only', 'ICO,cur')
        self.assertEqual(status, 0, err)
        self.assertEqual(files_under(out), ['#00001.CUR', '#00001.ICO', '#00002.ICO'])
        status, out, _ = run('list', '--json', '--only', 'dat', self.sample('sample.exe'))
        self.assertEqual({m['name'] for m in json.loads(out)[0]['members']}, {'#00001.DAT'})

    def test_json_of_what_was_written_and_what_failed(self):
        out = self.path('out')
        status, stdout, err = run('extract', self.sample('sample.exe'), self.write('bad.ico', b'\0\0\1\0\2\0'),
                                  '-o', out, '--png', '--json')
        self.assertEqual(status, 1, err)
        exe, bad = json.loads(stdout)
        self.assertEqual(exe['plugin'], 'Pelorin' + ARGS.suffix)
        self.assertEqual(exe['failures'], [])
        written = {w['path']: w for w in exe['written']}
        png = written[out.replace(os.sep, '/') + '/sample.exe/#00001.ICO.images/32x32x24.png']
        self.assertEqual((png['width'], png['height'], png['depth']), (32, 32, 24))
        for path, w in written.items():
            self.assertEqual(os.path.getsize(path), w['bytes'], path)
            self.assertNotIn('\\', path)
        self.assertEqual(len(bad['failures']), 1)
        self.assertEqual(bad['written'], [])
        self.assertIn('reason', bad['failures'][0])

    def test_unwritable_output_and_full_standard_output(self):
        if ARGS.wine or not os.path.isdir('/sys/kernel'):
            self.skipTest('needs a folder that even root cannot write')
        # A folder that cannot be written: one line, with the system's words, then the next file.
        status, _, err = run('extract', self.sample('sample.exe'), self.sample('multi.ico'), '-o', '/sys/kernel')
        self.assertEqual(status, 1)
        lines = [l for l in err.splitlines() if 'sample.exe' in l]
        self.assertEqual(len(lines), 1, err)
        self.assertRegex(lines[0], 'Permission denied|Operation not permitted')
        if os.path.exists('/dev/full'):
            with open('/dev/full', 'wb') as full:
                p = subprocess.run([ARGS.spihost, 'list', self.sample('sample.exe')], stdout=full,
                                   stderr=subprocess.PIPE, timeout=60)
            self.assertEqual(p.returncode, 1)
            self.assertIn(b'No space left on device', p.stderr)

    def test_third_party_plugin_folder(self):
        third = self.path('plugins')
        os.makedirs(third)
        shutil.copy(os.path.join(ARGS.plugins, 'Tarc' + ARGS.suffix), third)
        archive = self.write('a.tarc', tarc([(b'', b'readme.txt', b'hello\n'),
                                             (b'sub\\', b'../../escape.txt', b'x'),
                                             (b'', b'empty.dat', b'')]))
        status, out, err = run('--plugins', third, 'list', '--json', archive)
        self.assertEqual(status, 0, err)
        self.assertEqual(json.loads(out)[0]['plugin'], 'Tarc' + ARGS.suffix)
        status, _, err = run('--plugins', third, 'extract', archive, '-o', self.path('out'))
        self.assertEqual(status, 0, err)
        # A hostile name stays inside the output folder; an empty member is a file.
        self.assertEqual(files_under(self.path('out')),
                         ['empty.dat', 'readme.txt', 'sub/.._.._escape.txt'])
        self.assertFalse(os.path.exists(self.path('escape.txt')))

    def test_interruption_leaves_no_partial_file(self):
        archive = self.write('slow.tarc', tarc([(b'', b'first.bin', b'1' * 1000),
                                                (b'', b'big.bin', os.urandom(1500 * 1024))]))
        out = self.path('out')
        os.makedirs(out)
        command = ([ARGS.wine] if ARGS.wine else []) + [ARGS.spihost, '--plugins', ARGS.slow_plugins,
                                                     'extract', archive, '-o', out]
        p = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.time() + 60
        while not os.path.exists(os.path.join(out, 'first.bin')) and time.time() < deadline:
            time.sleep(0.05)
        time.sleep(0.5)
        p.send_signal(signal.SIGINT)
        _, err = p.communicate(timeout=60)
        self.assertEqual(p.returncode, 130, err)
        self.assertIn(b'interrupted', err)
        self.assertNotIn(b'\x1b', err.split(b'interrupted')[-1])  # no bar drawn after it
        self.assertEqual(files_under(out), ['first.bin'])


class Conversion(Base):
    def test_bmp_is_the_plugin_bitmap_and_png_the_same_pixels(self):
        bmp, png = self.path('p.bmp'), self.path('p.png')
        self.assertEqual(run('convert', self.sample('pointer.cur'), '-o', bmp)[0], 0)
        self.assertEqual(run('convert', self.sample('pointer.cur'), '-o', png)[0], 0)
        data = read(bmp)
        self.assertEqual(data[:2], b'BM')
        self.assertEqual(struct.unpack('<I', data[2:6])[0], len(data))
        self.assertEqual(struct.unpack('<I', data[10:14])[0], 14 + 40 + 16 * 4)
        self.assertEqual(len(data), 14 + 40 + 64 + 16 * 32)
        # Palette and bits are the cursor's as stored in the file; the height is halved.
        cur = read(self.sample('pointer.cur'))
        self.assertEqual(struct.unpack('<iiHH', data[18:30]), (32, 32, 1, 4))
        self.assertEqual(data[14 + 40:], cur[22 + 40:22 + 40 + 64 + 512])
        # The PNG shows the cursor's transparency; where it is opaque, the BMP's colours.
        self.assertEqual(rgba(png), icon_rgba(self.sample('pointer.cur')))
        size, pixels = rgba(png)
        self.assertTrue(any(p[3] == 0 for p in pixels))
        self.assertEqual([p[:3] for p in pixels], [p[:3] for p in rgba(bmp)[1]])

    def test_archive_and_unknown_inputs(self):
        status, _, err = run('convert', self.sample('multi.ico'), '-o', self.path('x.png'))
        self.assertEqual(status, 1)
        self.assertIn('extract FILE --png', err)
        status, _, err = run('convert', self.write('x.txt', b'hello'), '-o', self.path('y.png'))
        self.assertEqual(status, 1)
        self.assertIn('no plug-in takes this file', err)
        self.assertFalse(os.path.exists(self.path('x.png')))
        self.assertFalse(os.path.exists(self.path('y.png')))


WINE_LIBRARIES = ['/usr/lib/i386-linux-gnu/wine/i386-windows', '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows']


def group_images(path):
    """Each image of an icon or cursor file as a one-image file: (stored bytes, file)."""
    data = read(path)
    count = struct.unpack('<H', data[4:6])[0]
    images = []
    for i in range(count):
        entry = data[6 + 16 * i:22 + 16 * i]
        size, offset = struct.unpack('<II', entry[8:16])
        block = data[offset:offset + size]
        images.append((block, data[0:4] + b'\x01\x00' + entry[:12] + struct.pack('<I', 22) + block))
    return images


class GroupImages(Base):
    def check_group_images(self, out, label):
        """Every icon and cursor file extracted with --png into out: its PNGs hold
        exactly the RGBA that Pillow reads from its images, transparency included,
        and an image stored as PNG comes out byte for byte. Returns the images seen."""
        import hashlib
        checked = 0
        for name in os.listdir(out):
            if not name.upper().endswith(('.ICO', '.CUR')):
                continue
            images = group_images(os.path.join(out, name))
            folder = os.path.join(out, name + '.images')
            pngs = ([os.path.join(folder, f) for f in os.listdir(folder)] if len(images) > 1
                    else [os.path.join(out, name + '.png')])
            made = sorted(hashlib.sha1(repr(rgba(f)).encode()).hexdigest() for f in pngs)
            expected = []
            for block, one in images:
                one_path = self.write('one.ico', one)
                expected.append(hashlib.sha1(repr(icon_rgba(one_path)).encode()).hexdigest())
            self.assertEqual(made, sorted(expected), label + ': ' + name)
            stored = {read(f) for f in pngs}
            for block, _ in images:
                if block[:4] == b'\x89PNG':
                    self.assertIn(block, stored, label + ': ' + name)
            checked += len(images)
        return checked


class WineCorpus(GroupImages):
    def test_every_icon_image_of_wine_libraries_as_pillow_sees_it(self):
        # Every image of every icon and cursor group of Wine's shell32, user32 and
        # comctl32 (32- and 64-bit, where present): the PNGs of the group hold
        # exactly the RGBA that Pillow reads from its images, transparency
        # included, and an image stored as PNG comes out byte for byte.
        if ARGS.wine or os.environ.get('SPI_SKIP_WINE_CORPUS') == '1':
            self.skipTest('the native build serves this check')
        libraries = [os.path.join(d, n + '.dll') for d in WINE_LIBRARIES
                     for n in ('shell32', 'user32', 'comctl32') if os.path.exists(os.path.join(d, n + '.dll'))]
        if not libraries:
            self.skipTest("no Wine libraries here")
        checked = 0
        for library in libraries:
            out = self.path(os.path.basename(os.path.dirname(library)), os.path.basename(library))
            status, _, err = run('extract', library, '-o', out, '--png', timeout=600)
            self.assertEqual(status, 0, err)
            checked += self.check_group_images(out, library)
        print('%d images of %d libraries match Pillow' % (checked, len(libraries)), file=sys.stderr)
        self.assertGreater(checked, 0)


WINE_64 = '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows'

# Programs and libraries that nobody here built: NSIS's installer stubs and
# plug-ins (32- and 64-bit), win32-loader, and mono's .NET assemblies.
REAL_EXECUTABLES = ['/usr/share/nsis/Stubs', '/usr/share/nsis/Plugins', '/usr/share/win32', '/usr/lib/mono']

# The member extensions of numeric types under ListAllTypes.
ALL_TYPES_EXTENSION = {2: '.BMP', 4: '.MENU', 5: '.DIALOG', 6: '.STRING.TXT', 7: '.FONTDIR', 8: '.FNT',
                       9: '.ACCELERATOR', 10: '.DAT', 11: '.MESSAGETABLE', 12: '.CUR', 14: '.ICO',
                       16: '.VERSION.TXT', 17: '.DLGINCLUDE', 19: '.PLUGPLAY', 20: '.VXD', 21: '.ANI',
                       22: '.ANI', 23: '.HTM', 24: '.MANIFEST'}


def wrestool_listing(path):
    return subprocess.run(['wrestool', '-l', path], capture_output=True, text=True).stdout


def real_executables():
    """Those with resources, as wrestool lists them: path -> listing."""
    found = {}
    for top in REAL_EXECUTABLES:
        for root, _, names in os.walk(top):
            for n in sorted(names):
                path = os.path.join(root, n)
                if (os.path.isfile(path) and read(path)[:2] == b'MZ' and os.path.realpath(path) not in found
                        and wrestool_listing(path)):
                    found[os.path.realpath(path)] = path
    return {path: wrestool_listing(path) for path in sorted(found.values())}


def wrestool_members(listing, all_types):
    """The members Pelorin should list, from wrestool's listing: names by type."""
    members = {}
    for line in listing.splitlines():
        fields = dict(f.split('=', 1) for f in line.split(' [')[0].split() if '=' in f)
        kind, name = fields['--type'], fields['--name']
        if kind.startswith("'"):
            ext = '.' + kind.strip("'")
        elif int(kind) in (2, 10, 12, 14) or (all_types and int(kind) not in (1, 3)):
            ext = ALL_TYPES_EXTENSION.get(int(kind), '.' + kind)
        else:
            continue
        name = name.strip("'") if name.startswith("'") else '#%05d' % (int(name) % 100000)
        members.setdefault(kind, []).append(name + ext)
    return {k: sorted(v) for k, v in members.items()}


def version_lines(path):
    """VALUE lines of the version text, from pefile's parse of the resource."""
    import pefile
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_RESOURCE']])
    lines = []
    for info in getattr(pe, 'FileInfo', None) or []:
        for block in info:
            for table in getattr(block, 'StringTable', []):
                for key, value in table.entries.items():
                    text = value.decode('utf-8')
                    for plain, escaped in (('\\', '\\\\'), ('"', '""'), ('\t', '\\t'), ('\n', '\\n'), ('\r', '\\r')):
                        text = text.replace(plain, escaped)
                    lines.append('VALUE "%s", "%s"' % (key.decode('utf-8'), text))
    return lines


class RealExecutables(GroupImages):
    def test_listing_images_and_version_text_match_independent_tools(self):
        # Every file: the members per type as wrestool lists them, with and
        # without ListAllTypes; every icon and cursor image as Pillow reads it;
        # the version text holding every string that pefile parses.
        if ARGS.wine:
            self.skipTest('the native build serves this check')
        files = real_executables()
        if not files or not shutil.which('wrestool'):
            self.skipTest('nsis, win32-loader, mono-runtime or icoutils are not installed')
        images = versions = 0
        for all_types in (False, True):
            args = ['--all-types'] if all_types else []
            status, out, err = run('list', '--json', *args, *files, timeout=600)
            self.assertEqual(status, 0, err)
            for entry in json.loads(out):
                path = entry['file']
                ours = {}
                for m in entry['members']:
                    ours.setdefault(m['name'][m['name'].index('.') + 1:], []).append(m['name'])
                theirs = wrestool_members(files[path], all_types)
                by_extension = {}
                for names in theirs.values():
                    for n in names:
                        by_extension.setdefault(n[n.index('.') + 1:], []).append(n)
                self.assertEqual({k: sorted(v) for k, v in ours.items()},
                                 {k: sorted(v) for k, v in by_extension.items()}, path)
                self.assertEqual(entry['left_out'], 0, path)
                if not all_types:
                    continue
                for m in entry['members']:
                    if not m['name'].endswith('.VERSION.TXT'):
                        continue
                    status, text, err = run('extract', '--all-types', path, m['name'], '--stdout')
                    self.assertEqual(status, 0, err)
                    text = text.decode('utf-8')
                    for line in version_lines(path):
                        self.assertIn(line, text, path)
                    versions += 1
        for path in files:
            out = self.path('images', os.path.basename(os.path.dirname(path)), os.path.basename(path))
            status, _, err = run('extract', path, '-o', out, '--png', '--only', 'ico,cur', timeout=600)
            self.assertEqual(status, 0, err)
            images += self.check_group_images(out, path) if os.path.isdir(out) else 0
        print('%d real executables: %d icon images match Pillow, %d version texts match pefile'
              % (len(files), images, versions), file=sys.stderr)
        self.assertGreater(images, 0)
        self.assertGreater(versions, 0)

    def test_a_damaged_group_or_a_packer_is_named_and_costs_nothing_else(self):
        # Wine's winecfg with the count of its first icon group raised past
        # its data, and with its first sections renamed as UPX names them.
        import pefile
        source = os.path.join(WINE_64, 'winecfg.exe')
        if ARGS.wine or not os.path.exists(source):
            self.skipTest('Wine\'s winecfg.exe is not here')
        data = bytearray(read(source))
        pe = pefile.PE(data=bytes(data))
        groups = next(t for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 14)
        first = groups.directory.entries[0].directory.entries[0].data.struct
        at = pe.get_offset_from_rva(first.OffsetToData)
        data[at + 4:at + 6] = struct.pack('<H', 40)
        damaged = self.write('winecfg.exe', bytes(data))
        status, out, err = run('list', '--json', source)
        whole = json.loads(out)[0]['members']
        status, out, err = run('list', '--json', damaged)
        self.assertEqual(status, 0, err)
        self.assertIn(damaged + ': 1 damaged or unreadable resource left out', err)
        listed = json.loads(out)[0]
        self.assertEqual(listed['left_out'], 1)
        self.assertEqual(len(listed['members']), len(whole) - 1)
        status, _, err = run('extract', damaged, '-o', self.path('out'))
        self.assertEqual(status, 0, err)
        self.assertIn('1 damaged or unreadable resource left out', err)
        # The thumbnail is the next group's icon.
        status, _, err = run('thumbnail', damaged, self.path('icon.png'))
        self.assertEqual(status, 0, err)
        with Image.open(self.path('icon.png')) as im:
            self.assertGreater(im.size[0], 0)
        for section in pe.sections[:2]:
            at = section.get_file_offset()
            data[at:at + 8] = (b'UPX0' if section is pe.sections[0] else b'UPX1') + bytes(4)
        packed = self.write('packed.exe', bytes(data))
        status, out, err = run('list', '--json', packed)
        self.assertEqual(status, 0, err)
        self.assertIn(packed + ': packed with UPX: its compressed resources cannot be read; `upx -d` unpacks it',
                      err)
        self.assertEqual(json.loads(out)[0]['packer'], 'UPX')
        status, _, err = run('list', source)
        self.assertNotIn('left out', err)
        self.assertNotIn('UPX', err)


class Thumbnailer(Base):
    """The installed .thumbnailer run as a file manager runs it."""
    prefix = None

    @classmethod
    def setUpClass(cls):
        if ARGS.wine or not ARGS.build_tree:
            raise unittest.SkipTest('the thumbnailer is installed on Linux only')
        cls.prefix = os.path.join(ARGS.work, 'prefix')
        shutil.rmtree(cls.prefix, ignore_errors=True)
        subprocess.run([ARGS.cmake, '--install', ARGS.build_tree, '--prefix', cls.prefix],
                       capture_output=True, check=True)
        entry = {}
        with open(os.path.join(cls.prefix, 'share/thumbnailers/spihost.thumbnailer'), encoding='utf-8') as f:
            for line in f:
                if '=' in line:
                    key, value = line.strip().split('=', 1)
                    entry[key] = value
        cls.entry = entry

    def thumbnail(self, source, size, out):
        """The Exec line with its fields filled in, found on PATH as TryExec says."""
        args = [{'%i': source, '%o': out, '%s': str(size)}.get(a, a) for a in self.entry['Exec'].split()]
        env = dict(os.environ, PATH=os.path.join(self.prefix, 'bin') + os.pathsep + os.environ['PATH'])
        self.assertIsNotNone(shutil.which(self.entry['TryExec'], path=env['PATH']))
        return subprocess.run(args, capture_output=True, env=env, timeout=60)

    def test_entry_names_the_mime_types_of_the_system(self):
        types = [t for t in self.entry['MimeType'].split(';') if t]
        self.assertEqual(len(types), 5)
        # Icon libraries get their type from the package installed beside the entry.
        with open(os.path.join(self.prefix, 'share/mime/packages/spihost-icl.xml'), encoding='utf-8') as f:
            self.assertIn('type="application/x-ms-icon-library"', f.read())
        for t in types:
            if os.path.isdir('/usr/share/mime') and t != 'application/x-ms-icon-library':
                self.assertTrue(os.path.exists('/usr/share/mime/%s.xml' % t), t)

    def test_every_kind_of_file_gives_a_fitting_png_with_alpha(self):
        library = self.write('icons.icl', ne_library([read(self.sample('multi.ico'))]))
        cases = [(self.sample('sample.exe'), 128), (self.sample('multi.ico'), 24),
                 (self.sample('pointer.cur'), 256), (self.sample('spinner.ani'), 32), (library, 48)]
        for name, size in (('notepad.exe', 48), ('winecfg.exe', 48), ('notepad.exe', 256)):
            if os.path.exists(os.path.join(WINE_64, name)):
                cases.append((os.path.join(WINE_64, name), size))
        for source, size in cases:
            out = self.path(os.path.basename(source) + '.png')
            p = self.thumbnail(source, size, out)
            self.assertEqual(p.returncode, 0, (source, p.stderr))
            with Image.open(out) as im:
                w, h = im.size
                self.assertTrue(0 < w <= size and 0 < h <= size, (source, im.size))
                self.assertEqual(w, h, source)  # every one of these icons is square
                alpha = im.convert('RGBA').getchannel('A').getextrema()  # RGBA or a palette with tRNS
                self.assertEqual(alpha, (0, 255), source)  # transparent around, opaque inside
            if size == 256 and source.endswith('.exe'):
                self.assertIn(read(out), read(source))  # its stored 256 px PNG, as it is
            self.assertEqual(sorted(files_under(self.dir)), sorted([os.path.basename(out), 'icons.icl']))
            os.remove(out)

    def test_nothing_to_show_fails_without_a_file(self):
        exe = read(self.sample('sample.exe'))
        inputs = [self.write('text.exe', b'hello'), self.write('empty.ico', b''),
                  self.write('cut.exe', exe[:1024]), self.path('missing.ico')]
        kernel32 = os.path.join(WINE_64, 'kernel32.dll')
        if os.path.exists(kernel32):
            inputs.append(kernel32)  # a library without icons
        for source in inputs:
            out = self.path('out.png')
            p = self.thumbnail(source, 128, out)
            self.assertNotEqual(p.returncode, 0, source)
            self.assertIn(source, p.stderr.decode('utf-8', 'replace'))
            self.assertFalse(os.path.exists(out), source)
            self.assertFalse([n for n in os.listdir(self.dir) if n.startswith('out')], source)

    def test_a_placeholder_the_caller_made_is_filled_in_place(self):
        # tumbler creates the output itself and reads it back through the
        # descriptor it kept open, so a rename over it would go unseen.
        out = self.path('placeholder.png')
        with open(out, 'x+b') as held:
            p = self.thumbnail(self.sample('multi.ico'), 48, out)
            self.assertEqual(p.returncode, 0, p.stderr)
            held.seek(0)
            with Image.open(io.BytesIO(held.read())) as im:
                self.assertEqual(im.size, (48, 48))
            os.truncate(out, 0)
            p = self.thumbnail(self.write('cut.exe', read(self.sample('sample.exe'))[:1024]), 48, out)
            self.assertNotEqual(p.returncode, 0)
            self.assertEqual(os.fstat(held.fileno()).st_size, 0)
            self.assertEqual(os.stat(out).st_ino, os.fstat(held.fileno()).st_ino)
        self.assertEqual(sorted(files_under(self.dir)), ['cut.exe', 'placeholder.png'])

    def test_an_input_that_never_answers_is_cut_off(self):
        # A pipe without a writer blocks the open for ever; the call's own
        # time cap ends it long before the test's timeout.
        fifo = self.path('stalled.ico')
        os.mkfifo(fifo)
        start = time.monotonic()
        p = self.thumbnail(fifo, 64, self.path('out.png'))
        self.assertNotEqual(p.returncode, 0)
        self.assertLess(time.monotonic() - start, 30)
        self.assertFalse(os.path.exists(self.path('out.png')))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ('--spihost', '--samples', '--parts', '--plugins', '--slow-plugins', '--work'):
        parser.add_argument(name, required=True)
    # Under Wine: the loader to run spihost.exe with ('wine' when none is named).
    parser.add_argument('--wine', nargs='?', const='wine', default=None)
    # The plug-ins' file name extension: .sph in the 64-bit Windows build.
    parser.add_argument('--suffix', default='.spi')
    # Where 'cmake --install' finds the build, for the installed thumbnailer.
    parser.add_argument('--build-tree', default=None)
    parser.add_argument('--cmake', default='cmake')
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.work, exist_ok=True)
    if not ARGS.wine:
        os.environ.setdefault('SPI_REGISTRY', os.path.join(ARGS.work, 'registry.txt'))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
