// Times the WebAssembly build of zivavod in node on bench cases, the module compiled once as a
// page compiles it on loading: each run is a fresh instance, the case's files copied into its
// memory, main, and the files read back. Prints one line a case: median q1 q3 min max in ms of a
// run's wall time, the median CPU time (user and system of this process, which waiting for a busy
// core does not inflate), then the SHA-256 of the package it made (with
// SOURCE_DATE_EPOCH=1700000000, TZ=UTC), which run_bench.sh compares with the native tool's.
//
//   node bench/web_bench.mjs WEB_DIR WARMUP RUNS CASE_DIR...
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [webDir, warmupText, runsText, ...cases] = process.argv.slice(2);
const { loadProgram } = await import(pathToFileURL(path.resolve(webDir, 'zivavod-web.mjs')).href);
const zivavod = await loadProgram('zivavod');

const quantile = (sorted, q) => {
  const at = q * (sorted.length - 1);
  const low = Math.floor(at);
  const high = Math.min(low + 1, sorted.length - 1);
  return sorted[low] + (sorted[high] - sorted[low]) * (at - low);
};

for (const dir of cases) {
  const files = new Map();
  for (const name of fs.readdirSync(dir)) {
    const full = path.join(dir, name);
    if (fs.statSync(full).isFile() && !name.endsWith('.zip')) files.set(name, fs.readFileSync(full));
  }
  const times = [];
  const cpu = [];
  let made = null;
  for (let i = 0; i < Number(warmupText) + Number(runsText); i++) {
    const startCpu = process.cpuUsage();
    const start = performance.now();
    const result = await zivavod.run({
      files, args: ['bench.cfg'], env: { SOURCE_DATE_EPOCH: '1700000000', TZ: 'UTC' },
    });
    const end = performance.now();
    const usedCpu = process.cpuUsage(startCpu);
    if (result.status !== 0) {
      process.stderr.write(result.stdout + result.stderr);
      throw new Error(`the run failed in ${dir}`);
    }
    if (i >= Number(warmupText)) {
      times.push(end - start);
      cpu.push((usedCpu.user + usedCpu.system) / 1000);
    }
    made = result.files.get('bench.zip');
  }
  times.sort((a, b) => a - b);
  cpu.sort((a, b) => a - b);
  const figures = [0.5, 0.25, 0.75, 0, 1].map((q) => quantile(times, q).toFixed(2));
  figures.push(quantile(cpu, 0.5).toFixed(2));
  const digest = crypto.createHash('sha256').update(made).digest('hex');
  console.log(`${path.basename(dir)} ${figures.join(' ')} ${digest}`);
}
