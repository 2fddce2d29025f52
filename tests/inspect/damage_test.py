#!/usr/bin/env python3
"""Holds zivavod-inspect against two readers it did not write, on damaged packages.

Packages made by the built zivavod are damaged one way at a time: every byte of every local
header, central-directory record and the end record changed (two XOR values each), every
compressed byte of the init packet and manifest.json (two values), a seeded sample of the app
image's compressed bytes, cuts by 1 to 64 bytes and at seeded lengths, bytes put behind and
before. Each copy goes to Python's zipfile (open, testzip(), read every entry; in this
process), to Info-ZIP's `unzip -t` where Python takes it, and to the inspector, two copies at a
time. Whenever either reader refuses a copy the inspector must refuse it too; where it refuses
a copy both readers take, it must say why. Counts are printed per package; any miss fails the
test.

Usage: damage_test.py ZIVAVOD ZIVAVOD_INSPECT FIRMWARE EXAMPLES_DIR WORK_DIR [STRIDE]
With STRIDE only every STRIDE-th copy is made: a sanitized inspector starts ten times slower.
"""
import collections
import concurrent.futures
import io
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import zipfile

SEED = 19
LOCAL_SIG, CENTRAL_SIG, END_SIG = b'PK\x03\x04', b'PK\x01\x02', b'PK\x05\x06'


def make_package(zivavod, firmware, examples, work, name):
    """Runs zivavod on the example word lists with package name; returns the package's bytes."""
    os.makedirs(work)
    for f in ('nature.txt', 'household.txt'):
        shutil.copy(os.path.join(examples, f), work)
    shutil.copy(firmware, os.path.join(work, 'firmware.bin'))
    if '/' in name:
        os.makedirs(os.path.join(work, os.path.dirname(name)))
    with open(os.path.join(work, 'run.cfg'), 'w') as cfg:
        cfg.write('firmware.bin\n%s\nNATURE\nnature.txt\nhousehold.txt\n' % name)
    subprocess.run([zivavod, 'run.cfg'], cwd=work, check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, name + '.zip'), 'rb') as f:
        return f.read()


def layout(data):
    """The byte ranges of the archive's records and of each entry's compressed data, read
    here independently of the inspector: (header ranges, {entry name: data range})."""
    end = data.rindex(END_SIG)
    count, cd_size, cd_offset = struct.unpack_from('<HII', data, end + 10)
    headers, bodies = [(end, len(data))], {}
    at = cd_offset
    for _ in range(count):
        (csize, nlen, xlen, clen, offset) = struct.unpack_from('<I4xHHH8xI', data, at + 20)
        name = data[at + 46:at + 46 + nlen].decode()
        headers.append((at, at + 46 + nlen + xlen + clen))
        at += 46 + nlen + xlen + clen
        lnlen, lxlen = struct.unpack_from('<HH', data, offset + 26)
        start = offset + 30 + lnlen + lxlen
        headers.append((offset, start))
        bodies[name] = (start, start + csize)
    return headers, bodies


def damaged_copies(data):
    """Yields (kind of damage, bytes) for every copy of data the test makes."""
    rng = random.Random(SEED)
    headers, bodies = layout(data)

    def xor(at, value):
        return data[:at] + bytes([data[at] ^ value]) + data[at + 1:]

    for start, end in headers:
        for at in range(start, end):
            for value in (0x01, rng.randrange(2, 0x100)):
                yield 'header byte', xor(at, value)
    for name, (start, end) in bodies.items():
        if name.endswith('.app'):
            for at in rng.sample(range(start, end), min(120, end - start)):
                yield 'app data byte', xor(at, rng.randrange(1, 0x100))
        else:
            for at in range(start, end):
                for value in (0x01, rng.randrange(2, 0x100)):
                    yield 'data byte', xor(at, value)
    for cut in list(range(1, 65)) + rng.sample(range(65, len(data)), 24):
        yield 'cut', data[:-cut]
    for extra in (b'\0', b'\n', b'PK', bytes(22), END_SIG + bytes(18), data[-22:],
                  bytes(rng.randrange(256) for _ in range(100))):
        yield 'bytes behind', data + extra
    for extra in (b'\0', b'PK', bytes(4), LOCAL_SIG, bytes(rng.randrange(256) for _ in range(64))):
        yield 'bytes before', extra + data


def python_refuses(data):
    """Python's zipfile as a DFU tool uses it: open, testzip(), read every entry."""
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            if z.testzip() is not None:
                return True
            for info in z.infolist():
                z.read(info)
    except Exception:  # noqa: BLE001 - any refusal counts, whatever its class
        return True
    return False


def run_readers(path, inspect, python_refused):
    """Whether a reader refuses the copy at path (unzip -t is asked only when Python's zipfile
    took it), and the inspector's status and output."""
    refused = python_refused or subprocess.run(
        ['unzip', '-tqq', path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        timeout=60).returncode != 0
    report = subprocess.run([inspect, path], capture_output=True, timeout=60)
    return refused, report.returncode, report.stdout.decode('utf-8', 'replace')


def kind_of(line):
    """A problem line with its names and numbers taken out: the kind of a refusal."""
    line = re.sub(r'"[^"]*"', '"…"', line[len('problem: '):])
    return re.sub(r'(0x[0-9A-Fa-f]+|\d+)', 'N', line)


def check_package(label, data, work, inspect, stride):
    copies = list(damaged_copies(data))[::stride]
    paths = []
    for i, (_, copy) in enumerate(copies):
        paths.append(os.path.join(work, '%05d.zip' % i))
        with open(paths[-1], 'wb') as f:
            f.write(copy)
    python_refused = [python_refuses(copy) for _, copy in copies]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        verdicts = list(pool.map(lambda p, r: run_readers(p, inspect, r), paths, python_refused))
    counts = collections.Counter()
    stricter = collections.Counter()
    failures = []
    for (damage, _), path, (refused, status, report) in zip(copies, paths, verdicts):
        problems = [ln for ln in report.splitlines() if ln.startswith('problem: ')]
        says_ok = status == 0 and report.splitlines()[-1:] == ['OK'] and not problems
        if not says_ok and (status != 1 or not problems):
            failures.append('%s (%s): status %d without a problem line' % (path, damage, status))
        elif says_ok and refused:
            counts['misses'] += 1
            failures.append('%s (%s): OK, but a reader refuses it' % (path, damage))
        elif says_ok or refused:
            counts['agreements'] += 1
        else:
            counts['stricter'] += 1
            stricter[kind_of(problems[0])] += 1
        if status == 0:
            os.remove(path)  # the refused ones stay to be looked at
    print('%s: %d copies, %d agreements, %d stricter with a reason, %d misses' % (
        label, len(copies), counts['agreements'], counts['stricter'], counts['misses']))
    for kind, n in sorted(stricter.items(), key=lambda item: (-item[1], item[0])):
        print('  stricter, %4d: %s' % (n, kind))
    return failures


def main():
    zivavod, inspect, firmware, examples, work = map(os.path.abspath, sys.argv[1:6])
    stride = int(sys.argv[6]) if len(sys.argv) > 6 else 1
    shutil.rmtree(work, ignore_errors=True)
    packages = (('example', 'example_package'),
                ('long name in a folder', 'deep/folder/' + 'a_long_package_name_' * 3 + 'ends'))
    failures = []
    for i, (label, name) in enumerate(packages):
        package_work = os.path.join(work, str(i))
        data = make_package(zivavod, firmware, examples, os.path.join(package_work, 'made'), name)
        whole = os.path.join(package_work, 'whole.zip')
        with open(whole, 'wb') as f:
            f.write(data)
        refused, status, report = run_readers(whole, inspect, python_refuses(data))
        if refused or status != 0:
            failures.append('%s: the undamaged package is not sound to all three:\n%s' % (
                label, report))
            continue
        failures += check_package(label, data, package_work, inspect, stride)
    for failure in failures[:40]:
        print('FAIL:', failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
