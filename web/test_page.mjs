// The page in Debian's headless chromium (driven by playwright-core) and firefox-esr (driven by
// puppeteer-core over WebDriver BiDi), as a word-list preparer uses it: makes the example's
// package through the page's own inputs and checks it byte for byte, and its console lines,
// against the native build's run on the same files; then every way the page used to let a user
// down: keyboard reordering and removing, files changed on disk after choosing, folders, names
// the configuration cannot carry, failures with their plain words, dates, the lexicon space
// over by a few bytes, the narrow layout, the check panel's verdict, the page opened from disk
// and reloaded offline, and axe-core's accessibility rules. Screenshots go to OUT/BROWSER
// (1280 and 390 pixels wide). Any console error or uncaught exception of the page fails it.
//
//   node web/test_page.mjs WEB_DIR NATIVE_BUILD OUT [BROWSER...]
// WEB_DIR holds the page (build/web) and node/node_modules (npm ci of web/package.json);
// NATIVE_BUILD holds zivavod, zivavod-inspect and examples/firmware.bin. BROWSER: chromium,
// firefox (default both).
import { createRequire } from 'node:module';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import assert from 'node:assert/strict';

const [webDir, nativeDir, outRoot] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const browsers = process.argv.length > 5 ? process.argv.slice(5) : ['chromium', 'firefox'];
const examples = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../examples');
const require = createRequire(path.join(webDir, 'node/package.json'));
const axeSource = require('axe-core').source;
const EPOCH = '1700000000';
const LEXICON_BYTES = 103360;

// The native run on the same files, in a folder of its own: its output in order and its files.
function native(outDir, program, folder, files, args, epoch = EPOCH) {
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
      cwd: dir, env: { PATH: process.env.PATH, SOURCE_DATE_EPOCH: epoch, TZ: 'UTC' }, encoding: 'utf8',
    });
  } catch (error) {
    out = error.stdout;
    status = error.status;
  }
  return { out, status, dir };
}

// The page served from 127.0.0.1 on a port of the system's choosing; stop() ends it and every
// connection, as going offline would.
function serve() {
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
    '.css': 'text/css', '.wasm': 'application/wasm', '.svg': 'image/svg+xml',
    '.webmanifest': 'application/manifest+json' };
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
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}/index.html`,
    stop: () => {
      server.close();
      server.closeAllConnections();
    },
  })));
}

// The few things the test does, the same way through either driver.
async function open(kind) {
  const problems = [];
  let browser;
  let page;
  const watch = (p) => {
    p.on('console', (message) => {
      if (message.type() === 'error' || message.type() === 'warning' || message.type() === 'warn') {
        problems.push(`console ${message.type()}: ${message.text()}`);
      }
    });
    p.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  };
  if (kind === 'chromium') {
    const { chromium } = require('playwright-core');
    browser = await chromium.launch({
      executablePath: process.env.CHROMIUM ?? '/usr/lib/chromium/chromium',
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    });
    const context = await browser.newContext({ viewport: { width: 1280, height: 1000 } });
    page = await context.newPage();
  } else {
    const puppeteer = require('puppeteer-core');
    browser = await puppeteer.launch({
      browser: 'firefox', protocol: 'webDriverBiDi', headless: true,
      executablePath: process.env.FIREFOX ?? '/usr/lib/firefox-esr/firefox-esr',
      extraPrefsFirefox: { 'dom.serviceWorkers.testing.enabled': true },
    });
    page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 1000 });
  }
  watch(page);
  const pw = kind === 'chromium';
  const ui = {
    kind, page, problems,
    close: () => browser.close(),
    goto: async (url) => {
      await page.goto(url);
    },
    reload: () => page.reload(),
    eval: (fn, arg) => page.evaluate(fn, arg),
    waitFor: (fn, arg) => (pw ? page.waitForFunction(fn, arg, { timeout: 60000 })
      : page.waitForFunction(fn, { timeout: 60000 }, arg)),
    ready: () => ui.waitFor(() => document.body.dataset.ready === 'true'),
    focus: (selector) => page.focus(selector),
    press: (key) => page.keyboard.press(key),
    click: (selector) => page.click(selector),
    fill: (selector, value) => page.evaluate(({ selector: s, value: v }) => {
      const input = document.querySelector(s);
      input.value = v;
      input.dispatchEvent(new Event('input', { bubbles: true }));
      input.dispatchEvent(new Event('change', { bubbles: true }));
    }, { selector, value }),
    setFiles: async (selector, paths) => {
      if (pw) await page.setInputFiles(selector, paths);
      else await (await page.$(selector)).uploadFile(...paths);
    },
    // Files dropped on a zone, as a drag from the desktop delivers them.
    drop: (selector, files) => page.evaluate(({ selector: s, files: list }) => {
      const transfer = new DataTransfer();
      for (const { name, data } of list) {
        transfer.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], name));
      }
      document.querySelector(s).dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, { selector, files: files.map(({ name, bytes }) => ({ name, data: Buffer.from(bytes).toString('base64') })) }),
    text: (selector) => page.evaluate((s) => document.querySelector(s).textContent, selector),
    attr: (selector, name) => page.evaluate(([s, n]) => document.querySelector(s)?.getAttribute(n) ?? null, [selector, name]),
    hidden: (selector) => page.evaluate((s) => document.querySelector(s).closest('[hidden]') !== null, selector),
    focused: () => page.evaluate(() => document.activeElement?.getAttribute('aria-label') ?? document.activeElement?.id),
    names: () => page.evaluate(() => [...document.querySelectorAll('#lists .chosen')].map((e) => e.textContent)),
    viewport: (width, height) => (pw ? page.setViewportSize({ width, height }) : page.setViewport({ width, height })),
    screenshot: (file) => page.screenshot({ path: file, fullPage: true }),
    // The package the download link offers: its name and bytes.
    download: async () => {
      const { name, data } = await page.evaluate(async () => {
        const link = document.querySelector('#download');
        const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
        let text = '';
        for (const byte of bytes) text += String.fromCharCode(byte);
        return { name: link.download, data: btoa(text) };
      });
      return { name, bytes: Buffer.from(data, 'base64') };
    },
    axe: async () => {
      await page.evaluate(axeSource);
      return page.evaluate(async () => {
        const result = await window.axe.run(document, { resultTypes: ['violations', 'incomplete'] });
        const summary = (list) => list.map((r) => `${r.id} (${r.impact}): ${r.nodes.map((n) => n.target.join(' ')).join(', ')}`);
        return {
          violations: summary(result.violations),
          serious: summary(result.incomplete.filter((r) => r.impact === 'serious' || r.impact === 'critical')),
        };
      });
    },
  };
  return ui;
}

const checks = [];
function step(text) {
  checks.push(text);
  console.log(`  ${text}`);
}

async function makeAndWait(ui) {
  const started = performance.now();
  await ui.click('#make');
  await ui.waitFor(() => /^(Made|No package|The run failed)/.test(document.querySelector('#status').textContent));
  return performance.now() - started;
}

async function expectClean(ui, where) {
  const { violations, serious } = await ui.axe();
  assert.deepEqual(violations, [], `axe-core violations ${where}`);
  assert.deepEqual(serious, [], `axe-core serious needs-review results ${where}`);
}

async function testBrowser(kind, url, folder = kind) {
  const outDir = path.join(outRoot, folder);
  fs.rmSync(outDir, { recursive: true, force: true });
  fs.mkdirSync(outDir, { recursive: true });
  const shot = (name) => ui.screenshot(path.join(outDir, `${name}.png`));
  const ui = await open(kind);
  const timings = {};
  try {
    await ui.goto(url);
    await ui.ready();
    await expectClean(ui, 'on the empty page');
    await shot('empty-1280');
    await ui.viewport(390, 844);
    await shot('empty-390');
    await ui.viewport(1280, 1000);

    // The example's package: the firmware dropped on its zone, the lists chosen in the wrong
    // order and put right from the keyboard, Make package by Enter in a name field.
    const firmware = path.join(nativeDir, 'examples/firmware.bin');
    const [, packageName, lexicon, ...lists] = fs.readFileSync(path.join(examples, 'example.cfg'), 'utf8')
      .split('\n').filter((line) => line !== '');
    assert.equal(lists.length, 2);
    const listDir = path.join(outDir, 'lists');
    fs.mkdirSync(listDir, { recursive: true });
    for (const list of lists) fs.copyFileSync(path.join(examples, list), path.join(listDir, list));
    const config = ['firmware.bin', packageName, lexicon, ...lists].join('\n') + '\n';
    const files = { 'run.cfg': config, 'firmware.bin': firmware };
    for (const list of lists) files[list] = path.join(examples, list);
    const good = native(outDir, 'zivavod', 'native-good', files, ['run.cfg']);
    assert.equal(good.status, 0, good.out);
    await ui.drop('#firmware-drop', [{ name: 'firmware.bin', bytes: fs.readFileSync(firmware) }]);
    await ui.waitFor(() => document.querySelector('#firmware-name').textContent.startsWith('firmware.bin'));

    // Four lists A B C D; Enter on "Move up D" twice moves D up twice, the focus staying on it.
    const extra = ['a.txt', 'b.txt'].map((name) => {
      fs.writeFileSync(path.join(listDir, name), 'lamp\n');
      return path.join(listDir, name);
    });
    const [first, second] = lists;
    await ui.setFiles('#lists-input', [...extra, path.join(listDir, second), path.join(listDir, first)]);
    await ui.waitFor(() => document.querySelectorAll('#lists li').length === 4);
    await ui.focus(`#lists button[aria-label="Move up ${first}"]`);
    await ui.press('Enter');
    assert.deepEqual(await ui.names(), ['a.txt', 'b.txt', first, second]);
    assert.equal(await ui.focused(), `Move up ${first}`);
    await ui.press('Enter');
    assert.deepEqual(await ui.names(), ['a.txt', first, 'b.txt', second]);
    assert.equal(await ui.focused(), `Move up ${first}`);
    assert.match(await ui.text('#status'), new RegExp(`Moved ${first} to place 2 of 4`));
    await ui.press('Enter');
    assert.deepEqual(await ui.names(), [first, 'a.txt', 'b.txt', second]);
    assert.equal(await ui.focused(), `Move down ${first}`, 'at the top the focus moves to the other button');
    await ui.focus(`#lists button[aria-label="Move down ${second}"]`);
    assert.equal(await ui.attr(`#lists button[aria-label="Move down ${second}"]`, 'disabled'), '');
    await ui.focus(`#lists button[aria-label="Move up ${second}"]`);
    await ui.press('Enter');
    await ui.press('Enter');
    assert.deepEqual(await ui.names(), [first, second, 'a.txt', 'b.txt']);
    assert.equal(await ui.focused(), `Move up ${second}`);
    step('moving a list keeps the focus on that list\'s button; the move is announced');

    // Removing from the keyboard: the focus goes to the list now in its place, and Undo puts the
    // removed one back.
    await ui.focus('#lists button[aria-label="Remove a.txt"]');
    await ui.press('Enter');
    assert.deepEqual(await ui.names(), [first, second, 'b.txt']);
    assert.equal(await ui.focused(), 'Remove b.txt');
    assert.match(await ui.text('#status'), /Removed a\.txt\. Undo puts it back\./);
    await ui.click('#undo-button');
    assert.deepEqual(await ui.names(), [first, second, 'a.txt', 'b.txt']);
    assert.equal(await ui.focused(), 'Remove a.txt');
    await ui.press('Enter');
    await ui.press('Enter');
    assert.deepEqual(await ui.names(), [first, second]);
    assert.equal(await ui.focused(), `Remove ${second}`, 'the last one removed, the focus goes to the one before');
    step('removing moves the focus to a neighbour and can be undone');

    // What the lists hold, before anything is made, from the program's own run.
    const total = (label) => Number(good.out.match(new RegExp(`^Total ${label} = (\\d+)$`, 'm'))[1]);
    await ui.waitFor((n) => document.querySelector('#six-regular').textContent === String(n), total('regular six letter words'));
    assert.equal(await ui.hidden('#make-result'), false);
    assert.equal(await ui.text('#four-regular'), String(total('regular four letter words')));
    const used = 4 * (total('regular six letter words') + total('dirty six letter words')) +
      3 * (total('regular four letter words') + total('dirty four letter words'));
    assert.match(await ui.text('#space-text'), new RegExp(`^${used.toLocaleString('en-US')} of 103,360 bytes`));
    assert.equal(await ui.text('#console'), '');
    step('the counts and the lexicon space show as soon as the lists are chosen');

    await ui.fill('#package-name', packageName);
    await ui.fill('#source-date', EPOCH);
    await ui.fill('#lexicon-name', lexicon);
    await ui.focus('#lexicon-name');
    let started = performance.now();
    await ui.press('Enter');
    await ui.waitFor(() => /^(Made|No package)/.test(document.querySelector('#status').textContent));
    timings.example = performance.now() - started;
    const made = await ui.download();
    assert.equal(made.name, `${packageName}.zip`);
    const nativePackage = fs.readFileSync(path.join(good.dir, `${packageName}.zip`));
    assert.ok(made.bytes.equals(nativePackage), 'the page\'s package differs from the native one');
    assert.equal(await ui.text('#console'), good.out);
    step(`${packageName}.zip byte-identical to the native package, console lines equal`);
    await shot('made-1280');
    await ui.viewport(390, 844);
    await shot('made-390');
    await expectClean(ui, 'after a package was made');
    // At phone width the two name fields sit side by side or one above the other, never askew,
    // and a file name is not broken inside.
    const layout = await ui.eval(() => {
      const box = (id) => document.getElementById(id).getBoundingClientRect();
      const name = document.querySelector('#lists .chosen');
      const lineHeight = parseFloat(getComputedStyle(name).lineHeight) || 1.45 * parseFloat(getComputedStyle(name).fontSize);
      const [a, b] = [box('package-name'), box('lexicon-name')];
      return { aligned: (a.top === b.top && a.height === b.height) || (a.left === b.left && a.bottom <= b.top),
        nameLines: name.getBoundingClientRect().height / lineHeight };
    });
    assert.ok(layout.aligned, 'the name fields are askew at 390 pixels');
    assert.ok(await ui.eval(() => document.documentElement.scrollWidth <= document.documentElement.clientWidth),
      'the page is wider than 390 pixels');
    assert.ok(layout.nameLines < 1.5, `a file name wraps at 390 pixels (${layout.nameLines} lines)`);
    await ui.viewport(1280, 1000);
    step('at 390 pixels the name fields line up and file names stay whole');

    // A list changed on disk after it was chosen: the page made its package from what it read.
    fs.appendFileSync(path.join(listDir, first), 'added later\n');
    await makeAndWait(ui);
    assert.match(await ui.text('#status'), /^Made /);
    assert.ok((await ui.download()).bytes.equals(nativePackage), 'a change on disk after choosing changed the package');
    assert.equal(await ui.text('#console'), good.out);
    step('files are read when chosen: a later change on disk does not matter');

    // The check panel: the package's lines, its words, a verdict.
    const saved = path.join(outDir, `${packageName}.zip`);
    fs.writeFileSync(saved, made.bytes);
    await ui.setFiles('#inspect-input', [saved]);
    await ui.waitFor(() => /^Sound/.test(document.querySelector('#verdict').textContent));
    const inspected = native(outDir, 'zivavod-inspect', 'native-good', {}, [`${packageName}.zip`]);
    assert.equal(await ui.text('#inspect-output'), inspected.out);
    await ui.click('#inspect-words');
    const words = native(outDir, 'zivavod-inspect', 'native-good', {}, ['--words', `${packageName}.zip`]);
    await ui.waitFor((n) => document.querySelector('#inspect-output').textContent.length === n, words.out.length);
    assert.equal(await ui.text('#inspect-output'), words.out);
    assert.equal(await ui.attr('#inspect-output', 'aria-live'), null, 'the words are pushed into a live region');
    step('the check and the words equal the native inspector\'s, with a verdict');

    // Compared with an older package, one made from the first list alone, dropped on the compare
    // zone while the page's own package is checked: the lines and the words of the native --diff.
    const olderConfig = ['firmware.bin', packageName, lexicon, first].join('\n') + '\n';
    const older = native(outDir, 'zivavod', 'native-older', { ...files, 'run.cfg': olderConfig }, ['run.cfg']);
    assert.equal(older.status, 0, older.out);
    const olderBytes = fs.readFileSync(path.join(older.dir, `${packageName}.zip`));
    // Two packages of one name: the page stages them as old/NAME and new/NAME.
    const staged = { [`old/${packageName}.zip`]: olderBytes, [`new/${packageName}.zip`]: made.bytes };
    fs.mkdirSync(path.join(outDir, 'native-compare', 'old'), { recursive: true });
    fs.mkdirSync(path.join(outDir, 'native-compare', 'new'), { recursive: true });
    const diffArgs = ['--diff', `old/${packageName}.zip`, `new/${packageName}.zip`];
    const compared = native(outDir, 'zivavod-inspect', 'native-compare', staged, diffArgs);
    assert.equal(compared.status, 1, compared.out);
    const facts = JSON.parse(native(outDir, 'zivavod-inspect', 'native-compare', {}, ['--json', ...diffArgs]).out).diff;
    await ui.drop('#compare-drop', [{ name: `${packageName}.zip`, bytes: olderBytes }]);
    await ui.waitFor(() => document.querySelector('#compare-result').hidden === false);
    assert.equal(await ui.text('#compare-output'), compared.out);
    assert.deepEqual(await ui.eval(() => [...document.querySelectorAll('#compare-added li')].map((e) => e.textContent)),
      [...facts.six_letter_words.added, ...facts.four_letter_words.added]);
    assert.equal(await ui.eval(() => document.querySelectorAll('#compare-removed li').length), 0);
    assert.equal(await ui.text('#compare-space-new'),
      `${facts.lexicon_space.new.toLocaleString('en-US')} of ${facts.lexicon_space.of.toLocaleString('en-US')} bytes`);
    step('compared with an older package: the native --diff\'s lines, the words added side by side');
    const damaged = Buffer.from(made.bytes);
    damaged[damaged.length - 400] ^= 0x10;
    fs.writeFileSync(path.join(outDir, 'damaged.zip'), damaged);
    const bad = native(outDir, 'zivavod-inspect', 'native-damaged', { 'damaged.zip': damaged }, ['damaged.zip']);
    assert.equal(bad.status, 1, bad.out);
    await ui.setFiles('#inspect-input', [path.join(outDir, 'damaged.zip')]);
    await ui.waitFor(() => /^Problems found in damaged\.zip/.test(document.querySelector('#verdict').textContent));
    assert.equal(await ui.text('#inspect-output'), bad.out);
    assert.match(await ui.eval(() => document.querySelector('#inspect-output .error')?.textContent), /^problem: /);
    step('a damaged package gives the native inspector\'s lines and the verdict "Problems found"');
    await expectClean(ui, 'after a check');
    await shot('checked-1280');
    await ui.viewport(390, 844);
    await shot('checked-390');
    await ui.viewport(1280, 1000);

    // Fields the configuration cannot carry are refused at the field, before anything runs.
    const refusals = [
      ['#package-name', '', /Give the package a name/],
      ['#package-name', '../up', /no “\/”/],
      ['#package-name', '.zip', /must not be empty/],
      ['#package-name', 'a:b', /cannot hold/],
      ['#package-name', 'x'.repeat(252), /at most 251 bytes before the first dot/],
      ['#package-name', 'ü'.repeat(126), /at most 251 bytes before the first dot, this is 252/],
      ['#package-name', 'x'.repeat(254), /holds at most 253/],
      ['#lexicon-name', '', /Give the lexicon a name/],
      ['#lexicon-name', 'N'.repeat(254), /holds at most 253/],
      ['#source-date', 'abc', /digits/],
      ['#source-date', '-1', /digits/],
      ['#source-date', '1.5', /digits/],
      ['#source-date', '9223372036854775808', /Out of range/],
    ];
    for (const [field, value, message] of refusals) {
      await ui.fill(field, value);
      await ui.click('#make');
      assert.equal(await ui.attr(field, 'aria-invalid'), 'true', `${field} "${value}" was not refused`);
      assert.match(await ui.text(`${field}-message`), message);
      assert.equal(await ui.text('#console'), '', `${field} "${value}" ran the program`);
      assert.match(await ui.text('#status'), /^No package: fix the marked field first\./);
      assert.equal(await ui.focused(), field.slice(1));
      await ui.fill(field, { '#package-name': packageName, '#lexicon-name': lexicon, '#source-date': EPOCH }[field]);
      assert.equal(await ui.attr(field, 'aria-invalid'), null);
    }
    await ui.fill('#source-date', '1700000000000');
    assert.match(await ui.text('#source-date-message'), /After 2107.*2107-12-31 23:59:58/);
    step('names the configuration cannot carry and dates that are not whole seconds are refused at the field');
    // Dates past 2038 and past 2107 as the native program gives them.
    for (const epoch of ['2147483648', '1700000000000']) {
      const dated = native(outDir, 'zivavod', `native-${epoch}`, files, ['run.cfg'], epoch);
      await ui.fill('#source-date', epoch);
      await makeAndWait(ui);
      assert.ok((await ui.download()).bytes.equals(fs.readFileSync(path.join(dated.dir, `${packageName}.zip`))),
        `the package dated ${epoch} differs from the native one`);
    }
    await ui.fill('#source-date', EPOCH);
    step('packages dated 2147483648 (2038) and 1700000000000 (clamped to 2107) equal the native ones');

    // A list whose name a configuration line cannot carry: noted when chosen, refused at Make.
    const longName = `${'n'.repeat(250)}.txt`;
    await ui.drop('#lists-drop', [{ name: longName, bytes: Buffer.from('lamp\n') }]);
    await ui.waitFor(() => /254 bytes long/.test(document.querySelector('#lists .note')?.textContent));
    await ui.click('#make');
    assert.match(await ui.text('#lists-message'), /254 bytes long in UTF-8; a configuration line holds at most 253\. Rename/);
    assert.equal(await ui.text('#console'), '', 'a list named past a configuration line ran the program');
    await ui.click(`#lists button[aria-label="Remove ${longName}"]`);
    assert.equal(await ui.hidden('#lists-message'), true, 'a message about a removed list stays');
    step('a list whose name no configuration line holds is refused before the run');

    // A folder chosen as a list is refused by name.
    const folder = path.join(outDir, 'afolder');
    fs.mkdirSync(folder, { recursive: true });
    if (kind === 'chromium') {
      // Only the browser's own protocol hands a folder to a file input, as a desktop drop would.
      const session = await ui.page.context().newCDPSession(ui.page);
      const { root } = await session.send('DOM.getDocument');
      const { nodeId } = await session.send('DOM.querySelector', { nodeId: root.nodeId, selector: '#lists-input' });
      await session.send('DOM.setFileInputFiles', { nodeId, files: [folder] });
      await ui.waitFor(() => /afolder/.test(document.querySelector('#lists-message').textContent));
      assert.deepEqual(await ui.names(), [first, second]);
      step('a folder is refused by name');
    }

    // Failures: the console as the command line's, problem lines marked from either stream, and
    // plain words saying what to fix where.
    const short = Buffer.alloc(43007, 0x11);
    await ui.drop('#firmware-drop', [{ name: 'short.bin', bytes: short }, { name: 'other.bin', bytes: short }]);
    assert.match(await ui.text('#firmware-message'), /2 files were dropped/);
    assert.match(await ui.text('#firmware-name'), /^firmware\.bin/);
    await ui.drop('#firmware-drop', [{ name: 'short.bin', bytes: short }]);
    await ui.waitFor(() => /43,008/.test(document.querySelector('#firmware-message').textContent));
    assert.match(await ui.text('#firmware-message'), /43,007 bytes/);
    const shortRun = native(outDir, 'zivavod', 'native-short',
      { ...files, 'firmware.bin': short, 'short.bin': short, 'run.cfg': config.replace('firmware.bin', 'short.bin') }, ['run.cfg']);
    assert.equal(shortRun.status, 1);
    await makeAndWait(ui);
    assert.equal(await ui.text('#console'), shortRun.out);
    assert.match(await ui.text('#help'), /Firmware image: short\.bin has 43,007 bytes.*at least/);
    await ui.click('#help button[aria-label="Firmware image: go there"]');
    assert.equal(await ui.focused(), 'firmware-input');
    assert.equal(await ui.eval(() => document.querySelector('#console .err').className), 'err error');
    assert.match(await ui.text('#status'), /^No package: ERROR: Input bin file was too short\./);
    assert.equal(await ui.hidden('#download'), true);
    step('a short firmware: the native lines, the stderr line marked, the size and the need said at the field');
    await shot('failed-1280');
    await ui.viewport(390, 844);
    await shot('failed-390');
    assert.ok(await ui.eval(() => document.documentElement.scrollWidth <= document.documentElement.clientWidth),
      'the failed page is wider than 390 pixels');
    await ui.viewport(1280, 1000);
    await expectClean(ui, 'after a failed run');
    await ui.drop('#firmware-drop', [{ name: 'firmware.bin', bytes: fs.readFileSync(firmware) }]);
    await ui.waitFor(() => document.querySelector('#firmware-message').hidden);

    // A lexicon name the program changes: the warning marked, and said at the field.
    await ui.fill('#lexicon-name', 'Words');
    await makeAndWait(ui);
    assert.equal(await ui.eval(() => document.querySelector('#console .warning')?.textContent),
      'WARNING: Lexicon name was changed from "Words " to "WORDS ".\n');
    assert.match(await ui.text('#help'), /^Lexicon name: .*“WORDS ”/);
    await ui.fill('#lexicon-name', lexicon);

    // A UTF-16 list and a zip chosen as a list: noted when chosen, explained after the run.
    const utf16 = Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from('lamp\n', 'utf16le')]);
    fs.writeFileSync(path.join(listDir, 'wide.txt'), utf16);
    await ui.setFiles('#lists-input', [path.join(listDir, 'wide.txt'), saved]);
    await ui.waitFor(() => document.querySelectorAll('#lists .note').length === 2);
    const notes = await ui.eval(() => [...document.querySelectorAll('#lists .note')].map((n) => n.textContent));
    assert.match(notes[0], /UTF-16/);
    assert.match(notes[1], /zip file/);
    await makeAndWait(ui);
    assert.match(await ui.text('#console'), /^ERROR: Can't open "wide\.txt" for processing\.$/m);
    assert.match(await ui.text('#help'), /^wide\.txt: This list is UTF-16 text/);
    await ui.click('#lists button[aria-label="Remove wide.txt"]');
    await ui.click(`#lists button[aria-label="Remove ${packageName}.zip"]`);
    step('a UTF-16 list and a zip as a list are noted when chosen; the run\'s message explained at the file');

    // Full capacity, then three bytes over: the bar says by how much and from which list on.
    fs.writeFileSync(path.join(listDir, 'full.txt'), 'garden '.repeat(LEXICON_BYTES / 4));
    fs.writeFileSync(path.join(listDir, 'over.txt'), 'lamp\n');
    await ui.click(`#lists button[aria-label="Remove ${first}"]`);
    await ui.click(`#lists button[aria-label="Remove ${second}"]`);
    await ui.setFiles('#lists-input', [path.join(listDir, 'full.txt')]);
    await ui.waitFor(() => /^103,360 of 103,360 bytes \(100\.0 %\)$/.test(document.querySelector('#space-text').textContent));
    const full = native(outDir, 'zivavod', 'native-full', { 'run.cfg': ['firmware.bin', packageName, lexicon, 'full.txt'].join('\n') + '\n',
      'firmware.bin': firmware, 'full.txt': path.join(listDir, 'full.txt') }, ['run.cfg']);
    assert.equal(full.status, 0, full.out);
    timings.full = await makeAndWait(ui);
    assert.ok((await ui.download()).bytes.equals(fs.readFileSync(path.join(full.dir, `${packageName}.zip`))));
    await ui.setFiles('#lists-input', [path.join(listDir, 'over.txt')]);
    await ui.waitFor(() => /over by/.test(document.querySelector('#space-text').textContent));
    assert.equal(await ui.text('#space-text'), '103,363 of 103,360 bytes: over by 3 bytes, from over.txt on');
    assert.equal(await ui.eval(() => document.querySelector('#lists li:nth-child(2) .note')?.textContent),
      'The lexicon space runs out in this list.');
    const overRun = native(outDir, 'zivavod', 'native-over', { 'run.cfg': ['firmware.bin', packageName, lexicon, 'full.txt', 'over.txt'].join('\n') + '\n',
      'firmware.bin': firmware, 'full.txt': path.join(listDir, 'full.txt'), 'over.txt': 'lamp\n' }, ['run.cfg']);
    assert.equal(overRun.status, 1);
    await makeAndWait(ui);
    assert.equal(await ui.text('#console'), overRun.out);
    assert.match(await ui.text('#help'), /Word lists: .*over by 3 bytes, from over\.txt on/);
    assert.equal(await ui.eval(() => document.querySelector('#console .error').textContent),
      'ERROR: The generated file is too large to fit in ZORV.\n');
    step('three bytes over: "over by 3 bytes, from over.txt on", the stdout ERROR line marked, help beside');

    // A list over the word list limit: the same message, no download.
    const big = 'lamp '.repeat(51200) + '\n';
    fs.writeFileSync(path.join(listDir, 'big.txt'), big);
    const bigRun = native(outDir, 'zivavod', 'native-big', { 'run.cfg': ['firmware.bin', packageName, lexicon, 'big.txt'].join('\n') + '\n',
      'firmware.bin': firmware, 'big.txt': big }, ['run.cfg']);
    await ui.click('#lists button[aria-label="Remove over.txt"]');
    await ui.click('#lists button[aria-label="Remove full.txt"]');
    await ui.setFiles('#lists-input', [path.join(listDir, 'big.txt')]);
    await makeAndWait(ui);
    assert.equal(await ui.text('#console'), bigRun.out);
    assert.equal(await ui.hidden('#download'), true, 'a failed run offers a download');
    assert.match(await ui.text('#help'), /^big\.txt: This list has 256,001 bytes/);
    step('a list over the limit gives the native message, plain words and no download');

    assert.deepEqual(ui.problems, []);
    return timings;
  } finally {
    await ui.close();
  }
}

// Opened as a file, the served page works or says it cannot load, rather than loading for ever.
async function testFromDisk(kind) {
  const ui = await open(kind);
  try {
    await ui.goto(pathToFileURL(path.join(webDir, 'index.html')).href);
    // Chromium refuses module scripts from disk; Firefox loads them from the page's own folder.
    await ui.waitFor(() => /^(Ready|Opened from disk)/.test(document.querySelector('#status').textContent));
    const status = await ui.text('#status');
    step(`index.html opened from disk: "${status.split(':')[0]}", never loading for ever`);
  } finally {
    await ui.close();
  }
}

// Served once, the page reloads and works with the server gone.
async function testOffline(kind) {
  const server = await serve();
  const ui = await open(kind);
  try {
    await ui.goto(server.url);
    await ui.ready();
    await ui.eval(() => navigator.serviceWorker.ready.then(() => true));
    await ui.waitFor(() => navigator.serviceWorker.controller !== null);
    if (kind === 'chromium') {
      // Installable, by the browser's own account; the driver's private window is the one reason
      // left, as it would be for any site.
      const session = await ui.page.context().newCDPSession(ui.page);
      assert.deepEqual((await session.send('Page.getAppManifest')).errors, []);
      const { installabilityErrors } = await session.send('Page.getInstallabilityErrors');
      assert.deepEqual(installabilityErrors.map((e) => e.errorId).filter((id) => id !== 'in-incognito'), []);
      step('the served page is installable: its manifest has no errors');
    }
    server.stop();
    await ui.reload();
    await ui.ready();
    await ui.drop('#firmware-drop', [{ name: 'firmware.bin', bytes: fs.readFileSync(path.join(nativeDir, 'examples/firmware.bin')) }]);
    await ui.waitFor(() => !document.querySelector('#make').disabled);
    await makeAndWait(ui);
    assert.match(await ui.text('#status'), /^Made package\.zip\./);
    step('reloaded with the server gone, the page still makes packages');
  } finally {
    await ui.close();
    server.stop();
  }
}

let failed = false;
for (const kind of browsers) {
  console.log(`${kind}:`);
  const server = await serve();
  try {
    const timings = await testBrowser(kind, server.url);
    await testFromDisk(kind);
    // The single file opened from disk, no server needed, through every step again.
    console.log(`${kind}, zivavod.html opened from disk:`);
    const single = await testBrowser(kind, pathToFileURL(path.join(webDir, 'zivavod.html')).href, `${kind}-single`);
    await testOffline(kind);
    for (const [what, t] of [['served', timings], ['single file', single]]) {
      console.log(`  ${kind}, ${what}: the example ${t.example.toFixed(0)} ms, full capacity ${t.full.toFixed(0)} ms from Make to its result`);
    }
  } catch (error) {
    failed = true;
    console.error(error);
  } finally {
    server.stop();
  }
}
process.exitCode = failed ? 1 : 0;
