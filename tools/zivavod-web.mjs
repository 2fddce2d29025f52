#!/usr/bin/env node
// zivavod's WebAssembly build run from node on the current folder, as `zivavod config_file`
// runs there (tools/web_runner.mjs):  node tools/zivavod-web.mjs run.cfg
import { runInFolder } from './web_runner.mjs';

await runInFolder('zivavod');
