#!/usr/bin/env node
// zivavod's WebAssembly build run from node on the current folder, as `zivavod config_file`
// runs there (runner.mjs):  node web/node/zivavod.mjs run.cfg
import { runInFolder } from './runner.mjs';

await runInFolder('zivavod');
