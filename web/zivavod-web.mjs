// zivavod and zivavod-inspect as JavaScript functions, in node and in the browser alike: each run
// gets a fresh instance of the WebAssembly program with its own in-memory file system, and is the
// command line's own run (its main, its messages, its bytes).
//
//   import { loadProgram } from './zivavod-web.mjs';
//   const zivavod = await loadProgram('zivavod');           // or 'zivavod-inspect'
//   const result = await zivavod.run({
//     files: { 'run.cfg': 'fw.bin\npkg\nWORDS\nwords.txt\n', 'fw.bin': firmwareBytes,
//              'words.txt': 'lamp garden\n' },
//     args: ['run.cfg'],
//     env: { SOURCE_DATE_EPOCH: '1700000000' },
//   });
//   // result.status 0, result.stdout 'zivavod 1.0.0\n...', result.stderr '',
//   // result.files.get('pkg.zip') a Uint8Array
//
// run(options) takes:
//   files   path -> contents (Uint8Array, ArrayBuffer or string, strings as UTF-8), an object or a
//           Map; relative paths are under cwd, absolute ones where they say
//   dirs    folders to make besides those the files imply (paths as for files)
//   args    the arguments after the program's name
//   argv0   the program's name as main sees it (default: the program's own name)
//   env     the whole environment main sees (default: none). SOURCE_DATE_EPOCH dates the package's
//           entries; TZ is the zone of the dates otherwise: in node the process's TZ is set to it
//           for the run, in a browser the browser's own zone applies
//   cwd     the working folder (default /work)
//   umask   the file-creation mask (default 0o022, as a login shell has)
// and resolves to { status, stdout, stderr, console, files, dirs }: the exit status, standard
// output and error decoded as UTF-8 (stdoutBytes and stderrBytes hold the bytes themselves), both
// in the order written as console, a list of { stream: 'stdout' or 'stderr', text }, the
// regular files under cwd afterwards as a Map of relative path -> Uint8Array, and the folders under
// it (relative paths). Runs of one program may overlap: each has its own instance.
//
// loadProgram(name, { baseUrl }) fetches and compiles the program once; baseUrl is the folder
// holding NAME.js and NAME.wasm (default: this module's own folder).

const FACTORIES = { zivavod: 'createZivavod', 'zivavod-inspect': 'createZivavodInspect' };
const isNode = typeof process === 'object' && process.versions != null && process.versions.node != null;

async function loadFactory(name, base) {
  if (isNode) {
    const { createRequire } = await import('node:module');
    const { fileURLToPath } = await import('node:url');
    const require = createRequire(import.meta.url);
    const fs = await import('node:fs');
    const jsPath = fileURLToPath(new URL(`${name}.js`, base));
    const wasm = fs.readFileSync(fileURLToPath(new URL(`${name}.wasm`, base)));
    return { factory: require(jsPath), module: await WebAssembly.compile(wasm) };
  }
  // In a page the factory script defines a global of its own name; in the single-file page
  // (zivavod.html) that script is inline and the WebAssembly is beside it in base64.
  const global = FACTORIES[name];
  const embedded = document.getElementById(`${name}.wasm`);
  if (embedded) {
    const bytes = Uint8Array.from(atob(embedded.textContent.trim()), (c) => c.charCodeAt(0));
    return { factory: globalThis[global], module: await WebAssembly.compile(bytes) };
  }
  if (typeof globalThis[global] !== 'function') {
    await new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = new URL(`${name}.js`, base).href;
      script.onload = resolve;
      script.onerror = () => reject(new Error(`cannot load ${script.src}`));
      document.head.appendChild(script);
    });
  }
  const response = await fetch(new URL(`${name}.wasm`, base));
  if (!response.ok) {
    throw new Error(`cannot load ${name}.wasm: ${response.status}`);
  }
  return { factory: globalThis[global], module: await WebAssembly.compile(await response.arrayBuffer()) };
}

function bytesOf(contents) {
  if (typeof contents === 'string') return new TextEncoder().encode(contents);
  if (contents instanceof Uint8Array) return contents;
  if (contents instanceof ArrayBuffer) return new Uint8Array(contents);
  if (ArrayBuffer.isView(contents)) {
    return new Uint8Array(contents.buffer, contents.byteOffset, contents.byteLength);
  }
  throw new TypeError('file contents must be a Uint8Array, an ArrayBuffer or a string');
}

function join(cwd, path) {
  return path.startsWith('/') ? path : `${cwd}/${path}`;
}

// Every regular file and folder below dir, relative to it; links are not followed.
function listTree(FS, dir) {
  const files = new Map();
  const dirs = [];
  const walk = (relative) => {
    for (const name of FS.readdir(relative ? `${dir}/${relative}` : dir)) {
      if (name === '.' || name === '..') continue;
      const path = relative ? `${relative}/${name}` : name;
      const stat = FS.lstat(`${dir}/${path}`);
      if (FS.isDir(stat.mode)) {
        dirs.push(path);
        walk(path);
      } else if (FS.isFile(stat.mode)) {
        files.set(path, FS.readFile(`${dir}/${path}`));
      }
    }
  };
  walk('');
  return { files, dirs };
}

// Where the programs can tell, the in-memory file system answers as Linux's does: a name
// (one part of a path) over 255 bytes fails with ENAMETOOLONG, and a path ending in a slash
// names a folder, so behind a file it fails with ENOTDIR and a file cannot be made there
// (EISDIR). Numbers as the runtime's errno.h has them.
const ENAMETOOLONG = 37;
const ENOTDIR = 54;
const EISDIR = 31;
const O_CREAT = 64;
const MAX_NAME_BYTES = 255;

function likeLinux(FS) {
  const encoder = new TextEncoder();
  // Three bytes at most for each UTF-16 unit: a short string need not be encoded.
  const tooLong = (path) => path.split('/')
    .some((part) => part.length * 3 > MAX_NAME_BYTES && encoder.encode(part).length > MAX_NAME_BYTES);
  const endsInSlash = (path) => /[^/]\/+$/.test(path);
  const lookupPath = FS.lookupPath;
  FS.lookupPath = (path, opts = {}) => {
    if (typeof path !== 'string') return lookupPath(path, opts);
    if (tooLong(path)) throw new FS.ErrnoError(ENAMETOOLONG);
    const found = lookupPath(path, opts);
    if (endsInSlash(path) && !opts.parent && found.node && !FS.isDir(found.node.mode)) {
      throw new FS.ErrnoError(ENOTDIR);
    }
    return found;
  };
  // open looks the path up quietly and would make a file of the name without its slash.
  const open = FS.open;
  FS.open = (path, flags, ...rest) => {
    if (typeof path === 'string' && endsInSlash(path)) {
      let node = null;
      try {
        node = lookupPath(path, { follow: true }).node;
      } catch {
        // missing: made below only when asked to
      }
      if (node && !FS.isDir(node.mode)) throw new FS.ErrnoError(ENOTDIR);
      const bits = typeof flags === 'string' ? FS.modeStringToFlags(flags) : flags;
      if (!node && bits & O_CREAT) throw new FS.ErrnoError(EISDIR);
    }
    return open(path, flags, ...rest);
  };
}

async function runOnce(name, loaded, options) {
  const cwd = options.cwd ?? '/work';
  const stdout = [];
  const stderr = [];
  // Both streams in the order written: [stream, bytes] runs, as a terminal would show them.
  const runs = [];
  const put = (stream, bytes) => (byte) => {
    bytes.push(byte);
    if (runs.length === 0 || runs[runs.length - 1][0] !== stream) runs.push([stream, []]);
    runs[runs.length - 1][1].push(byte);
  };
  const files = options.files instanceof Map ? [...options.files] : Object.entries(options.files ?? {});
  let fs = null;
  // Under node each instance adds handlers of its own to the process; they go with the run.
  const events = ['uncaughtException', 'unhandledRejection'];
  const handlers = isNode ? events.map((event) => process.listeners(event)) : [];
  const instance = await loaded.factory({
    thisProgram: options.argv0 ?? name,
    noInitialRun: true,
    // The page and node share one process: the end of a run must not end it.
    quit: (status, toThrow) => {
      throw toThrow;
    },
    print: () => {},
    printErr: () => {},
    instantiateWasm: (imports, done) => {
      WebAssembly.instantiate(loaded.module, imports).then((wasm) => done(wasm));
      return {};
    },
    preRun: [
      (module) => {
        fs = module.FS;
        likeLinux(fs);
        // Byte by byte, so that the lines come out as the program wrote them.
        fs.init(null, put('stdout', stdout), put('stderr', stderr));
        // A program that reads no variable has no environment to fill.
        if (module.ENV) {
          for (const key of Object.keys(module.ENV)) delete module.ENV[key];
          Object.assign(module.ENV, options.env ?? {});
        }
        fs.mkdirTree(cwd);
        for (const dir of options.dirs ?? []) fs.mkdirTree(join(cwd, dir));
        for (const [path, contents] of files) {
          const full = join(cwd, path);
          fs.mkdirTree(full.slice(0, full.lastIndexOf('/')) || '/');
          fs.writeFile(full, bytesOf(contents));
        }
        fs.chdir(cwd);
      },
    ],
  });
  if (isNode) {
    events.forEach((event, i) => {
      for (const handler of process.listeners(event)) {
        if (!handlers[i].includes(handler)) process.removeListener(event, handler);
      }
    });
  }
  // The runtime's own mask is 0777, under which the program's new files would have no
  // permissions at all, and the run could not read back what it wrote.
  instance._umask(options.umask ?? 0o022);
  const zone = options.env?.TZ;
  const savedZone = isNode ? process.env.TZ : undefined;
  if (isNode && zone !== undefined) process.env.TZ = zone;
  let status;
  try {
    status = instance.callMain(options.args ?? []);
  } finally {
    if (isNode && zone !== undefined) {
      if (savedZone === undefined) delete process.env.TZ;
      else process.env.TZ = savedZone;
    }
  }
  const tree = listTree(fs, cwd);
  const stdoutBytes = Uint8Array.from(stdout);
  const stderrBytes = Uint8Array.from(stderr);
  const decoder = new TextDecoder();
  return {
    status,
    stdout: decoder.decode(stdoutBytes),
    stderr: decoder.decode(stderrBytes),
    stdoutBytes,
    stderrBytes,
    console: runs.map(([stream, bytes]) => ({ stream, text: decoder.decode(Uint8Array.from(bytes)) })),
    files: tree.files,
    dirs: tree.dirs,
  };
}

export async function loadProgram(name, { baseUrl } = {}) {
  if (!(name in FACTORIES)) {
    throw new Error(`no program ${name}: zivavod or zivavod-inspect`);
  }
  const loaded = await loadFactory(name, baseUrl ?? new URL('.', import.meta.url));
  return { name, run: (options = {}) => runOnce(name, loaded, options) };
}
