// The page in Debian's headless chromium, driven by playwright-core: makes the example's package
// through the page's own inputs and checks it byte for byte, and its console lines, against the
// native build's run on the same files; a word list over the limit gives the command line's
// message and no download; the check panel on a sound and a damaged package gives the native
// inspector's lines, and its comparison with an older package the native --diff's. Screenshots go to OUT (laptop and phone widths). Any console error or
// uncaught exception of the page fails the test.
//
//   node web/test_page.mjs WEB_DIR NATIVE_BUILD OUT
// WEB_DIR holds the page (build/web) and node/node_modules (npm ci of web/package.json);
// NATIVE_BUILD holds zivavod, zivavod-inspect and examples/firmware.bin.
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import assert from 'node:assert/strict';

const [webDir, nativeDir, outDir] = process.argv.slice(2).map((p) => path.resolve(p));
const examples = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../examples');
const { chromium } = createRequire(path.join(webDir, 'node/package.json'))('playwright-core');
const EPOCH = '1700000000';
fs.rmSync(outDir, { recursive: true, force: true });
fs.mkdirSync(outDir, { recursive: true });

// The native run on the same files, in a folder of its own: its output in order and its files.
function native(program, folder, files, args) {
  const dir = path.join(outDir, folder);
  fs.mkdirSync(dir, { recursive: true });
  for (const [name, source] of Object.entries(files)) {
    if (typeof source === 'string' && source.startsWith('/')) fs.copyFileSync(source, path.join(dir, name));
    else fs.writeFileSync(path.join(dir, name), source);
  }
  let out = '';
  let status = 0;
  try {
    out = execFileSync('sh', ['-c', '"$0" "$@" 2>&1', path.join(nativeDir, program), ...args], {
      cwd: dir, env: { PATH: process.env.PATH, SOURCE_DATE_EPOCH: EPOCH, TZ: 'UTC' }, encoding: 'utf8',
    });
  } catch (error) {
    out = error.stdout;
    status = error.status;
  }
  return { out, status, dir };
}

// The page served from 127.0.0.1 on a port of the system's choosing.
const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm' };
const server = http.createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, 'http://x').pathname).replace(/^\/+/, '') || 'index.html';
  const file = path.join(webDir, name);
  if (!file.startsWith(webDir + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    response.writeHead(404).end();
    return;
  }
  response.writeHead(200, { 'content-type': types[path.extname(file)] ?? 'application/octet-stream' });
  response.end(fs.readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/index.html`;

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/lib/chromium/chromium',
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const problems = [];
let failed = false;
try {
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 1000 } });
  const page = await context.newPage();
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warning') problems.push(`console ${message.type()}: ${message.text()}`);
  });
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  // Loaded, the page needs the network no more.
  await context.setOffline(true);
  const consoleText = () => page.locator('#console').textContent();
  const inspectText = () => page.locator('#inspect-output').textContent();

  // The example's package.
  const firmware = path.join(nativeDir, 'examples/firmware.bin');
  const [, packageName, lexicon, ...lists] = fs.readFileSync(path.join(examples, 'example.cfg'), 'utf8')
    .split('\n').filter((line) => line !== '');
  const config = ['firmware.bin', packageName, lexicon, ...lists].join('\n') + '\n';
  const files = { 'run.cfg': config, 'firmware.bin': firmware };
  for (const list of lists) files[list] = path.join(examples, list);
  const good = native('zivavod', 'native-good', files, ['run.cfg']);
  assert.equal(good.status, 0, good.out);
  // The firmware dropped on its zone; the lists chosen in the wrong order, the last moved to the
  // top from the keyboard; Make package by Enter in a name field.
  const dropped = await page.evaluateHandle(({ name, bytes }) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], name));
    return transfer;
  }, { name: 'firmware.bin', bytes: [...fs.readFileSync(firmware)] });
  await page.dispatchEvent('#firmware-drop', 'drop', { dataTransfer: dropped });
  await page.setInputFiles('#lists-input', lists.map((list) => path.join(examples, list)).reverse());
  for (let i = lists.length - 1; i > 0; i--) {
    await page.focus(`#lists button[aria-label="Move up ${lists[0]}"]`);
    await page.keyboard.press('Enter');
  }
  assert.deepEqual(await page.locator('#lists .chosen').allTextContents(), lists);
  await page.fill('#package-name', packageName);
  await page.click('summary');
  await page.fill('#source-date', EPOCH);
  await page.fill('#lexicon-name', lexicon);
  await page.press('#lexicon-name', 'Enter');
  await page.waitForSelector('#download:not([hidden])');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  const saved = path.join(outDir, download.suggestedFilename());
  await download.saveAs(saved);
  assert.equal(download.suggestedFilename(), `${packageName}.zip`);
  assert.ok(fs.readFileSync(saved).equals(fs.readFileSync(path.join(good.dir, `${packageName}.zip`))),
    'the page\'s package differs from the native one');
  assert.equal(await consoleText(), good.out);
  console.log(`page: ${packageName}.zip byte-identical to the native package, console lines equal`);
  await page.screenshot({ path: path.join(outDir, 'page.png'), fullPage: true });

  // Its check, then its words.
  await page.setInputFiles('#inspect-input', saved);
  await page.waitForFunction(() => document.querySelector('#inspect-output').textContent !== '');
  const inspected = native('zivavod-inspect', 'native-good', {}, [`${packageName}.zip`]);
  assert.equal(await inspectText(), inspected.out);
  await page.click('#inspect-words');
  const words = native('zivavod-inspect', 'native-good', {}, ['--words', `${packageName}.zip`]);
  await page.waitForFunction((n) => document.querySelector('#inspect-output').textContent.length === n,
    words.out.length);
  assert.equal(await inspectText(), words.out);
  console.log(`page: the check of ${packageName}.zip and its words equal the native inspector's`);
  await page.screenshot({ path: path.join(outDir, 'page-checked.png'), fullPage: true });

  // A damaged package: one byte of the app image's deflated data changed.
  const damaged = Buffer.from(fs.readFileSync(saved));
  damaged[damaged.length - 400] ^= 0x10;
  fs.writeFileSync(path.join(outDir, 'damaged.zip'), damaged);
  const bad = native('zivavod-inspect', 'native-damaged', { 'damaged.zip': damaged }, ['damaged.zip']);
  assert.equal(bad.status, 1, bad.out);
  await page.setInputFiles('#inspect-input', path.join(outDir, 'damaged.zip'));
  await page.waitForFunction((n) => document.querySelector('#inspect-output').textContent.startsWith('package: damaged.zip'));
  assert.equal(await inspectText(), bad.out);
  console.log('page: the check of a damaged package equals the native inspector\'s');

  // Compared with an older package: the example's against one made with a list added, the
  // newer checked, the older dropped on the compare zone.
  const gardenFiles = { ...files, 'run.cfg': `${config}garden.txt\n`,
    'garden.txt': 'flower seed, rose pond branch Mint rake shrubs\n' };
  const newer = native('zivavod', 'native-newer', gardenFiles, ['run.cfg']);
  assert.equal(newer.status, 0, newer.out);
  fs.copyFileSync(saved, path.join(newer.dir, 'older.zip'));
  const diffArgs = ['--diff', 'older.zip', `${packageName}.zip`];
  const compared = native('zivavod-inspect', 'native-newer', {}, diffArgs);
  assert.equal(compared.status, 1, compared.out);
  const facts = JSON.parse(native('zivavod-inspect', 'native-newer', {}, ['--json', ...diffArgs]).out).diff;
  await page.setInputFiles('#inspect-input', path.join(newer.dir, `${packageName}.zip`));
  const older = await page.evaluateHandle((bytes) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], 'older.zip'));
    return transfer;
  }, [...fs.readFileSync(saved)]);
  await page.dispatchEvent('#compare-drop', 'drop', { dataTransfer: older });
  await page.waitForSelector('#compare-result:not([hidden])');
  assert.equal(await page.locator('#compare-output').textContent(), compared.out);
  assert.deepEqual(await page.locator('#compare-added li').allTextContents(),
    [...facts.six_letter_words.added, ...facts.four_letter_words.added]);
  assert.equal(await page.locator('#compare-removed li').count(), 0);
  assert.equal(await page.locator('#compare-four-new').textContent(),
    `${facts.four_letter_words.new.total} (${facts.four_letter_words.new.dirty} dirty)`);
  assert.equal(await page.locator('#compare-space-new').textContent(),
    `${facts.lexicon_space.new} of ${facts.lexicon_space.of.toLocaleString('en-US')} bytes`);
  console.log(`page: the comparison with an older package equals the native inspector's: ${compared.out.split('\n').filter((l) => / added: /.test(l)).join(', ')}`);
  await page.screenshot({ path: path.join(outDir, 'page-compared.png'), fullPage: true });

  // A word list one byte over the limit: the same message, no download.
  const over = 'lamp '.repeat(51200) + '\n';
  assert.equal(over.length, 256001);
  fs.writeFileSync(path.join(outDir, 'over.txt'), over);
  const overConfig = ['firmware.bin', packageName, lexicon, 'over.txt'].join('\n') + '\n';
  const failing = native('zivavod', 'native-over',
    { 'run.cfg': overConfig, 'firmware.bin': firmware, 'over.txt': over }, ['run.cfg']);
  assert.equal(failing.status, 1, failing.out);
  for (let i = 0; i < lists.length; i++) await page.click('#lists button[aria-label^="Remove"]');
  await page.setInputFiles('#lists-input', path.join(outDir, 'over.txt'));
  await page.click('#make');
  await page.waitForFunction(() => document.querySelector('#status').textContent.startsWith('No package'));
  assert.equal(await consoleText(), failing.out);
  assert.ok(await page.locator('#download').isHidden(), 'a failed run offers a download');
  console.log(`page: a list over the limit gives the native message and no download: ${failing.out.trim().split('\n').pop()}`);

  // Phone width.
  await page.setViewportSize({ width: 390, height: 844 });
  await page.screenshot({ path: path.join(outDir, 'page-phone.png'), fullPage: true });
  assert.deepEqual(problems, []);
  console.log(`page: no console errors; screenshots in ${outDir}`);
} catch (error) {
  failed = true;
  console.error(error);
  if (problems.length) console.error(problems.join('\n'));
} finally {
  await browser.close();
  server.close();
}
process.exitCode = failed ? 1 : 0;
