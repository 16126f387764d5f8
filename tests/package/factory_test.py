#!/usr/bin/python3
"""The Debian package as a user installs it: apt installs it into this
machine, GNOME's own thumbnail factory (which runs thumbnailers under
bubblewrap) draws the files, apt removes it and nothing is left behind.
XFCE's tumbler draws the same files through the entry, on a private session bus.
Needs root; run by scripts/test.sh after scripts/deb.sh.
  factory_test.py PACKAGE.deb SAMPLES_DIR WORK_DIR"""
import hashlib
import os
import shutil
import subprocess
import sys
import time

WINE = '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows'
ENTRY = '/usr/share/thumbnailers/spihost.thumbnailer'
FACTORY = r'''
import sys, gi
gi.require_version('GnomeDesktop', '3.0')
from gi.repository import GnomeDesktop, Gio, GLib
factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.LARGE)
for path in sys.argv[1:]:
    f = Gio.File.new_for_path(path)
    info = f.query_info('standard::content-type,time::modified', 0, None)
    mime = info.get_content_type()
    if not factory.can_thumbnail(f.get_uri(), mime, info.get_attribute_uint64('time::modified')):
        print(mime, 'none'); continue
    try:
        factory.generate_thumbnail(f.get_uri(), mime).savev(path + '.factory.png', 'png', [], [])
        print(mime, 'made')
    except GLib.Error:
        print(mime, 'failed')
'''
TUMBLERD = '/usr/lib/x86_64-linux-gnu/tumbler-1/tumblerd'
# Run under dbus-run-session: starts tumblerd, queues every file for the
# large (256 px) flavour and waits for Finished, bounded; then stops tumblerd.
TUMBLER = r'''
import subprocess, sys, gi
from gi.repository import Gio, GLib
daemon = subprocess.Popen([sys.argv[1]])
try:
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    name = 'org.freedesktop.thumbnails.Thumbnailer1'
    for _ in range(100):
        owner = bus.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                              'NameHasOwner', GLib.Variant('(s)', (name,)), None, 0, -1, None)
        if owner.unpack()[0]: break
        GLib.usleep(100000)
    proxy = Gio.DBusProxy.new_sync(bus, 0, None, name, '/org/freedesktop/thumbnails/Thumbnailer1', name, None)
    loop = GLib.MainLoop()
    seen = []
    def signal(_proxy, _sender, signal, params):
        seen.append(signal)
        if signal == 'Finished': loop.quit()
    proxy.connect('g-signal', signal)
    files = [Gio.File.new_for_path(p) for p in sys.argv[2:]]
    mimes = [f.query_info('standard::content-type', 0, None).get_content_type() for f in files]
    proxy.call_sync('Queue', GLib.Variant('(asasssu)', ([f.get_uri() for f in files], mimes, 'large',
                    'default', 0)), 0, -1, None)
    GLib.timeout_add_seconds(120, loop.quit)
    loop.run()
    print(' '.join(seen) if 'Finished' in seen else 'timed out after ' + ' '.join(seen))
finally:
    daemon.terminate()
    daemon.wait(30)
'''


def sh(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


def mime_state():
    h = {}
    for root, _, files in os.walk('/usr/share/mime'):
        for n in files:
            p = os.path.join(root, n)
            with open(p, 'rb') as f:
                h[p] = hashlib.sha256(f.read()).hexdigest()
    return h


def main():
    deb, samples, work = sys.argv[1:4]
    failures = []
    if os.geteuid() != 0:
        print('package test skipped: it installs into this machine, which needs root')
        return 0
    if subprocess.run(['dpkg-query', '-W', 'spihost'], capture_output=True).returncode == 0 and \
            'installed' in sh('dpkg-query', '-W', '-f=${Status}', 'spihost'):
        print('spihost is already installed on this machine: remove it first', file=sys.stderr)
        return 1
    listed = [l.split()[-1].lstrip('.') for l in sh('dpkg-deb', '-c', deb).splitlines()]
    existed = {p for p in listed if os.path.lexists(p)}
    before = mime_state()
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ, HOME=work + '/home', XDG_CACHE_HOME=work + '/home/.cache', TMPDIR=work + '/tmp',
               DEBIAN_FRONTEND='noninteractive')
    os.makedirs(env['TMPDIR'], exist_ok=True)
    sh('apt-get', 'install', '-y', '-q', '--no-install-recommends', '-o', 'DPkg::Lock::Timeout=300',
       os.path.abspath(deb), env=env)
    try:
        failures += check_thumbnails(samples, work, env)
    finally:
        sh('apt-get', 'remove', '-y', '-q', '-o', 'DPkg::Lock::Timeout=300', 'spihost', env=env)
        # The package has no configuration files: nothing of it stays for a purge.
        sh('dpkg', '--purge', 'spihost', env=env)
    left = [p for p in listed if os.path.lexists(p) and p not in existed]
    if left:
        failures.append('left behind after removal: %s' % left)
    after = mime_state()
    if after != before:
        failures.append('MIME database changed: %s' % sorted(k for k in set(before) | set(after)
                                                               if before.get(k) != after.get(k)))
    for f in failures:
        print('FAIL:', f, file=sys.stderr)
    print('package test: %s' % ('FAILED' if failures else 'ok'))
    return 1 if failures else 0


def check_thumbnails(samples, work, env):
    """Each file through the factory: a thumbnail with the pixels spihost
    draws outside the sandbox, or none where there is no icon."""
    sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'spihost'))
    from end_to_end import ne_library  # the test builders' icon library
    from PIL import Image
    files = os.path.join(work, 'files')
    os.makedirs(files, exist_ok=True)

    def write(name, data):
        path = os.path.join(files, name)
        with open(path, 'wb') as f:
            f.write(data)
        return path

    with open(os.path.join(samples, 'multi.ico'), 'rb') as f:
        icl = write('icons.icl', ne_library([f.read()]))
    with open(os.path.join(samples, 'sample.exe'), 'rb') as f:
        exe = f.read()
    shown = [os.path.join(samples, n) for n in ('sample.exe', 'multi.ico', 'pointer.cur', 'spinner.ani')]
    shown += [icl] + [os.path.join(WINE, n) for n in ('notepad.exe', 'shell32.dll', 'comctl32.dll', 'joy.cpl')
                      if os.path.exists(os.path.join(WINE, n))]
    # No icon, or harmful: the thumbnailer fails and leaves nothing (a 0-byte
    # file is text/plain, which the factory does not hand to it at all).
    hostile_ani = b'RIFF\xff\xff\xff\x7fACONanih\xff\xff\xff\xffLIST\xf0\xff\xff\xffframicon' + b'\xff' * 64
    none = [write('cut.exe', exe[:1024]), write('hostile.ani', hostile_ani)]
    none += [write('empty.' + e, b'') for e in ('exe', 'ico', 'ani')]
    none += [f for f in ('/usr/share/wine/fonts/courer.fon',) if os.path.exists(f)]
    copies = []
    for src in shown + none:  # the factory writes beside its input: work on copies
        with open(src, 'rb') as f:
            copies.append(write('in-' + os.path.basename(src), f.read()) if not src.startswith(files) else src)
    failures = direct_failures(copies[0], none, env)
    out = subprocess.run(['/usr/bin/python3', '-c', FACTORY] + copies, capture_output=True, text=True,
                         env=env, timeout=600)
    answers = out.stdout.splitlines()
    if len(answers) != len(copies):
        return failures + ['factory run: %s' % out.stderr[-2000:]]
    for path, answer in zip(copies, answers):
        name = os.path.basename(path)
        thumb = path + '.factory.png'
        made = answer.endswith('made') and os.path.exists(thumb)
        if path in copies[:len(shown)]:
            if not made:
                failures.append('%s: no thumbnail (%s)' % (name, answer))
                continue
            direct = path + '.direct.png'
            subprocess.run(['/usr/bin/spihost', 'thumbnail', '-s', '256', path, direct], check=True,
                           env=env, capture_output=True)
            with Image.open(thumb) as a, Image.open(direct) as b:
                if a.size != b.size or a.convert('RGBA').tobytes() != b.convert('RGBA').tobytes():
                    failures.append('%s: thumbnail %s differs from spihost %s' % (name, a.size, b.size))
                else:
                    print('%-28s %-36s %dx%d' % (name, answer.split()[0], a.size[0], a.size[1]))
        elif made or os.path.exists(thumb):
            failures.append('%s: expected no thumbnail, got %s' % (name, answer))
        else:
            print('%-28s %-36s no thumbnail' % (name, answer.split()[0]))
    failures += tumbler_failures(copies[:len(shown)], copies[len(shown):], env)
    stray = os.listdir(env['TMPDIR'])
    if stray:
        failures.append('left in the temporary folder: %s' % stray)
    return failures


def tumbler_failures(shown, none, env):
    """tumbler's thumbnails in the scratch cache: the pixels spihost draws for
    executables and icon libraries; .ico/.cur/.ani may be drawn by tumbler's
    own image plug-in, so for them only that one exists."""
    from PIL import Image
    import urllib.parse
    listed = shown + none
    shutil.rmtree(os.path.join(env['XDG_CACHE_HOME'], 'thumbnails'), ignore_errors=True)
    out = subprocess.run(['dbus-run-session', '--', '/usr/bin/python3', '-c', TUMBLER, TUMBLERD] + listed,
                         capture_output=True, text=True, env=env, timeout=300)
    print('tumbler:', out.stdout.strip())
    failures = [] if 'Finished' in out.stdout and out.returncode == 0 else ['tumbler run: %s %s' % (
        out.stdout, out.stderr[-2000:])]
    if subprocess.run(['pgrep', '-x', 'tumblerd'], capture_output=True).returncode == 0:
        failures.append('tumblerd still running after its session ended')
    for path in listed:
        uri = 'file://' + urllib.parse.quote(os.path.abspath(path))
        thumb = os.path.join(env['XDG_CACHE_HOME'], 'thumbnails', 'large', hashlib.md5(uri.encode()).hexdigest() + '.png')
        name = os.path.basename(path)
        if path in none:
            if os.path.exists(thumb):
                failures.append('tumbler %s: expected no thumbnail' % name)
            continue
        if not os.path.exists(thumb):
            failures.append('tumbler %s: no thumbnail' % name)
        elif not name.lower().endswith(('.ico', '.cur', '.ani')):
            direct = path + '.direct.png'
            with Image.open(thumb) as a, Image.open(direct) as b:
                if a.size != b.size or a.convert('RGBA').tobytes() != b.convert('RGBA').tobytes():
                    failures.append('tumbler %s: thumbnail %s differs from spihost %s' % (name, a.size, b.size))
    return failures


def direct_failures(good, inputs, env):
    """The installed entry's Exec line, expanded as the factory does and run
    under a sandbox like GNOME's, on inputs the factory may not hand over (a
    0-byte file is text/plain to it): a non-zero exit, well within the
    factory's time limit, and nothing written. A good file shows the sandbox
    itself works."""
    with open(ENTRY) as f:
        exec_line = next(l.split('=', 1)[1].split() for l in f if l.startswith('Exec='))
    out_dir = os.path.abspath(os.path.join(env['TMPDIR'], 'out'))
    failures = []
    good = os.path.abspath(good)
    for path in [good] + [os.path.abspath(p) for p in inputs if not p.endswith('.fon')]:
        os.makedirs(out_dir)
        output = os.path.join(out_dir, 'thumb.png')
        args = [{'%s': '256', '%i': path, '%o': output, '%u': 'file://' + path}.get(a, a) for a in exec_line]
        sandbox = ['bwrap', '--ro-bind', '/usr', '/usr', '--symlink', 'usr/lib', '/lib',
                   '--symlink', 'usr/lib64', '/lib64', '--symlink', 'usr/bin', '/bin', '--proc', '/proc',
                   '--dev', '/dev', '--ro-bind', path, path, '--bind', out_dir, out_dir,
                   '--unshare-all', '--die-with-parent', '--']
        start = time.monotonic()
        rc = subprocess.run(sandbox + args, capture_output=True, env=env, timeout=30).returncode
        took = time.monotonic() - start
        left = os.listdir(out_dir)
        name = os.path.basename(path)
        print('%-28s exit %d in %.3f s, wrote %s' % (name, rc, took, left))
        if path == good:
            if rc != 0 or left != ['thumb.png']:
                failures.append('direct %s: exit %d, wrote %s' % (name, rc, left))
        elif rc == 0 or left or took >= 5:
            failures.append('direct %s: exit %d in %.1f s, wrote %s' % (name, rc, took, left))
        shutil.rmtree(out_dir)
    return failures

if __name__ == '__main__':
    sys.exit(main())
