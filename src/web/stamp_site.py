#!/usr/bin/env python3
"""Stamps the web site with its files' content hashes (the web build's last step).

    stamp_site.py SITE SOURCE

SITE holds the built files (page.js, the program, the packed bundle, the
icons); SOURCE is src/web. Writes into SITE, from SOURCE's copies:
  - manifest.webmanifest, each icon's address given its hash (icon-192.png?v=HASH);
  - index.html, every file it names given its hash likewise, and the table of
    all files' hashes (#site-files) page.js asks for the program's files with;
  - sw.js, with the build's hash (of every file, these included) and each
    file's address and SHA-256, which the service worker caches and checks.
So any changed file changes sw.js, which browsers take as a new version.
"""
import hashlib
import json
import os
import re
import sys

OWN = ('index.html', 'manifest.webmanifest', 'sw.js')
SHORT = 16  # hex digits of a file's hash in its address


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def write(path, data):
    """Written whole or not at all: a server never hands out half a file."""
    part = path + '.part'
    with open(part, 'wb') as f:
        f.write(data)
    os.replace(part, path)


def stamp(text, pattern, hashes):
    """The addresses `pattern` finds (group 2) given their file's hash."""
    def one(m):
        name = m.group(2)
        return m.group(1) + (f'{name}?v={hashes[name][:SHORT]}' if name in hashes else name) + m.group(3)
    return re.sub(pattern, one, text)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: stamp_site.py SITE SOURCE\n')
        return 64
    site, source = argv[1], argv[2]
    hashes = {}
    for name in sorted(os.listdir(site)):
        path = os.path.join(site, name)
        if name not in OWN and not name.endswith('.part') and os.path.isfile(path):
            with open(path, 'rb') as f:
                hashes[name] = sha256(f.read())
    with open(os.path.join(source, 'manifest.webmanifest'), encoding='utf-8') as f:
        manifest = stamp(f.read(), r'("src":\s*")([^"?#]+)(")', hashes).encode()
    hashes['manifest.webmanifest'] = sha256(manifest)
    with open(os.path.join(source, 'index.html'), encoding='utf-8') as f:
        index = stamp(f.read(), r'((?:src|href)=")([^"?#:]+)(")', hashes)
    table = json.dumps({name: h[:SHORT] for name, h in hashes.items()}, sort_keys=True)
    index, n = re.subn(r'(<script id="site-files" type="application/json">)[^<]*(</script>)',
                       lambda m: m.group(1) + table + m.group(2), index)
    if n != 1:
        sys.stderr.write('stamp_site.py: index.html has no <script id="site-files"> table\n')
        return 65
    index = index.encode()
    files = [['index.html', sha256(index)]] + [[f'{name}?v={h[:SHORT]}', h] for name, h in sorted(hashes.items())]
    build = sha256(json.dumps(files).encode())[:SHORT]
    with open(os.path.join(source, 'sw.js'), encoding='utf-8') as f:
        worker = f.read()
    worker, n1 = re.subn(r"^const BUILD = '';$", f"const BUILD = '{build}';", worker, flags=re.M)
    table = '[\n' + ''.join(f'  {json.dumps(f)},\n' for f in files) + ']'
    worker, n2 = re.subn(r'^const FILES = \[\];$', lambda m: f'const FILES = {table};', worker, flags=re.M)
    if n1 != 1 or n2 != 1:
        sys.stderr.write('stamp_site.py: sw.js has no BUILD or FILES line to stamp\n')
        return 65
    write(os.path.join(site, 'manifest.webmanifest'), manifest)
    write(os.path.join(site, 'index.html'), index)
    write(os.path.join(site, 'sw.js'), worker.encode())
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
