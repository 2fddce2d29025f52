#!/usr/bin/env node
// zivavod-inspect's WebAssembly build run from node on the current folder, as the native one
// runs there (runner.mjs):  node web/node/zivavod-inspect.mjs [--words] [--json] pkg.zip,
// or --diff [--summary] [--json] old.zip new.zip
import { runInFolder } from './runner.mjs';

await runInFolder('zivavod-inspect');
