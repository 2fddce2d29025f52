// Runs the WebAssembly build of a program (build/web, or ZIVAVOD_WEB_DIR) on the real files of
// the current folder, as the native program runs there: the folder's tree is read into the
// program's memory, the program runs with this process's arguments and environment, and
// afterwards the files it made or changed are written back (each to a temporary name, then
// renamed over the old one) and those it removed are removed. Standard output, standard error and
// the exit status pass through. Links to files are read as the files they point to, links to
// folders are left out; files outside the current folder are not seen. Used by zivavod.mjs and
// zivavod-inspect.mjs beside this file.
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL, fileURLToPath } from 'node:url';

const LIMIT_BYTES = 512 * 1024 * 1024;

// Regular files and folders below the current folder, relative paths; what cannot be read is
// left out, as it would be unreadable to the program too.
function readTree(top) {
  const files = new Map();
  const dirs = [];
  let total = 0;
  const walk = (relative) => {
    let names;
    try {
      names = fs.readdirSync(path.join(top, relative));
    } catch {
      return;
    }
    for (const name of names) {
      const rel = relative ? `${relative}/${name}` : name;
      let stat;
      let link;
      try {
        link = fs.lstatSync(path.join(top, rel)).isSymbolicLink();
        stat = fs.statSync(path.join(top, rel));
      } catch {
        continue;
      }
      // A link to a folder is not entered: it may lead back up the tree.
      if (stat.isDirectory() && !link) {
        dirs.push(rel);
        walk(rel);
      } else if (stat.isFile()) {
        total += stat.size;
        if (total > LIMIT_BYTES) {
          throw new Error(`the current folder holds more than ${LIMIT_BYTES} bytes`);
        }
        try {
          files.set(rel, fs.readFileSync(path.join(top, rel)));
        } catch {
          // unreadable: left out
        }
      }
    }
  };
  walk('');
  return { files, dirs };
}

function same(a, b) {
  return a.length === b.length && Buffer.compare(Buffer.from(a.buffer, a.byteOffset, a.length),
    Buffer.from(b.buffer, b.byteOffset, b.length)) === 0;
}

function writeBack(top, before, after) {
  const afterDirs = new Set(after.dirs);
  for (const [rel] of before.files) {
    if (!after.files.has(rel)) fs.rmSync(path.join(top, rel), { force: true });
  }
  for (const dir of [...before.dirs].reverse()) {
    if (!afterDirs.has(dir)) fs.rmSync(path.join(top, dir), { recursive: true, force: true });
  }
  for (const dir of after.dirs) fs.mkdirSync(path.join(top, dir), { recursive: true });
  for (const [rel, bytes] of after.files) {
    const old = before.files.get(rel);
    if (old !== undefined && same(old, bytes)) continue;
    const target = path.join(top, rel);
    // A short name of its own beside the file: the file's name plus a suffix may not fit the
    // name limit where the file's own name does.
    const temporary = path.join(path.dirname(target), `.zivavod-web-${process.pid}.tmp`);
    fs.writeFileSync(temporary, bytes);
    fs.renameSync(temporary, target);
  }
}

export async function runInFolder(name) {
  const webDir = process.env.ZIVAVOD_WEB_DIR ??
    fileURLToPath(new URL('../../build/web/', import.meta.url));
  const { loadProgram } = await import(pathToFileURL(path.join(webDir, 'zivavod-web.mjs')).href);
  const program = await loadProgram(name);
  const top = process.cwd();
  const before = readTree(top);
  const result = await program.run({
    files: before.files,
    dirs: before.dirs,
    cwd: top,
    args: process.argv.slice(2),
    argv0: process.argv[1],
    env: { ...process.env },
    umask: process.umask(),
  });
  writeBack(top, before, result);
  // As the native program does: output that cannot be written (a full disk, a closed pipe) fails
  // the run, with one line on standard error where that still works.
  const out = writeAll(1, result.stdoutBytes);
  const err = writeAll(2, result.stderrBytes);
  if (out && err) {
    process.exitCode = result.status;
    return;
  }
  if (err) writeAll(2, Buffer.from('ERROR: Console output could not be written.\n'));
  process.exitCode = 1;
}

// Writes all of bytes to the descriptor; false when that failed.
function writeAll(fd, bytes) {
  try {
    for (let done = 0; done < bytes.length;) {
      done += fs.writeSync(fd, bytes, done, bytes.length - done);
    }
    return true;
  } catch {
    return false;
  }
}
