#!/usr/bin/env node
// zivavod-inspect's WebAssembly build run from node on the current folder, as the native one
// runs there (tools/web_runner.mjs):  node tools/zivavod-inspect-web.mjs [--words] [--json] pkg.zip,
// or --diff [--summary] [--json] old.zip new.zip
import { runInFolder } from './web_runner.mjs';

await runInFolder('zivavod-inspect');
