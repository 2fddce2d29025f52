#!/usr/bin/env python3
"""How many faults does the suite see? Makes a seeded sample of single-point mutants of the
given sources (a comparison or logical operator flipped, a constant moved by one, + and -
swapped, true and false swapped, a call statement dropped), builds each in BUILD_DIR and runs
ctest there; a mutant the build refuses is replaced by the next. One line a mutant: KILLED (a
test failed, which it names) or SURVIVED. The sources are restored after each.

  scripts/mutants.py SEED COUNT BUILD_DIR FILE...
  e.g. scripts/mutants.py 21 35 build/dev src/lexicon/*.cpp src/lexicon/*.hpp
"""
import random
import re
import subprocess
import sys
import time

# Comparisons stand between blanks, so template argument lists are left alone.
SWAPS = [(r' == ', ' != '), (r' != ', ' == '), (r' <= ', ' < '), (r' >= ', ' > '),
         (r' < ', ' <= '), (r' > ', ' >= '), (r' && ', ' || '), (r' \|\| ', ' && '),
         (r'\btrue\b', 'false'), (r'\bfalse\b', 'true'), (r' \+ ', ' - '), (r' - ', ' + '),
         (r'(?<![\w.])(\d+)(?![\w.x])', None)]


def points(files):
    found = []
    for path in files:
        for n, line in enumerate(open(path).read().split('\n')):
            code = line.split('//')[0]
            stripped = code.strip()
            if not stripped or stripped.startswith(('#', '*', 'static_assert', 'template')):
                continue
            for pattern, replacement in SWAPS:
                for m in re.finditer(pattern, code):
                    new = str(int(m.group(1)) + 1) if replacement is None else replacement
                    found.append((path, n, m.start(), m.end(), new))
            if re.match(r'^[\w:.\->\[\]]+\(.*\);$', stripped) and not stripped.startswith('return'):
                found.append((path, n, 0, len(line), ''))
    return found


def run(command):
    try:
        return subprocess.run(command, shell=True, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=1800, text=True)
    except subprocess.TimeoutExpired:
        return None


def main():
    seed, count, build, files = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4:]
    candidates = points(files)
    random.Random(seed).shuffle(candidates)
    print(f'# {len(candidates)} points in {len(files)} files, seed {seed}', flush=True)
    tried = killed = 0
    for path, n, start, end, new in candidates:
        if tried == count:
            break
        text = open(path).read()
        lines = text.split('\n')
        before = lines[n].strip()
        lines[n] = lines[n][:start] + new + lines[n][end:]
        open(path, 'w').write('\n'.join(lines))
        try:
            started = time.time()
            built = run(f'nice -n 10 cmake --build {build} -j 2')
            if built is None or built.returncode != 0:
                continue
            tested = run(f'cd {build} && nice -n 10 ctest -j 2 --timeout 300 --stop-on-failure')
            seen = tested is None or tested.returncode != 0
            failed = '' if tested is None else ' '.join(re.findall(r'\d+ - (\S+) \(', tested.stdout))
            tried += 1
            killed += 1 if seen else 0
            print(f"{'KILLED' if seen else 'SURVIVED'} {path}:{n + 1}: {before}  =>  "
                  f'{lines[n].strip()}  [{int(time.time() - started)} s] {failed}', flush=True)
        finally:
            open(path, 'w').write(text)
    print(f'# {killed} of {tried} killed', flush=True)
    run(f'nice -n 10 cmake --build {build} -j 2')


if __name__ == '__main__':
    main()
