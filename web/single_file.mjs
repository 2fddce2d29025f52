// Writes the page as one file that works opened from disk, with no server and no network:
// index.html with its style, both programs' JavaScript and their WebAssembly (base64, as
// emscripten's own single-file output carries it) and the page's scripts inside, the API, the
// compare panel and the page joined in one inline module (a browser loads no module script from
// disk).
//
//   node web/single_file.mjs WEB_DIR OUT.html      (web/build.sh: build/web/zivavod.html)
import fs from 'node:fs';
import path from 'node:path';

const [webDir, out] = process.argv.slice(2);
const read = (name) => fs.readFileSync(path.join(webDir, name), 'utf8');
// Nothing inside an inline script may end it early.
const inline = (text) => text.replace(/<\/(script)/gi, '<\\/$1');
const replaceOnce = (text, from, to) => {
  if (text.split(from).length !== 2) throw new Error(`index.html holds ${JSON.stringify(from)} not once`);
  return text.replace(from, () => to);
};

const api = read('zivavod-web.mjs').replace(/^export async function loadProgram/m, 'async function loadProgram');
const compare = read('compare.js').replace(/^export function initCompare/m, 'function initCompare');
const layout = read('layout.mjs').replace(/^export const /gm, 'const ');
let page = replaceOnce(read('page.js'), "import { loadProgram } from './zivavod-web.mjs';\n", '');
page = replaceOnce(page, "import { initCompare } from './compare.js';\n", '');
page = replaceOnce(page, "import { FIRMWARE_HEAD, LEXICON_BYTES } from './layout.mjs';\n", '');
let html = read('index.html');
html = replaceOnce(html, '<link rel="stylesheet" href="page.css">', `<style>\n${read('page.css')}</style>`);
html = replaceOnce(html, '<link rel="icon" href="icon.svg" type="image/svg+xml">',
  `<link rel="icon" href="data:image/svg+xml;base64,${Buffer.from(read('icon.svg')).toString('base64')}">`);
html = replaceOnce(html, '<link rel="manifest" href="manifest.webmanifest">\n', '');
html = html.replace(/<!-- Opened from disk[\s\S]*?-->\n<script type="module" src="page.js"[^\n]*<\/script>\n/, () => {
  const programs = ['zivavod', 'zivavod-inspect'].map((name) =>
    `<script type="application/octet-stream" id="${name}.wasm">` +
    `${fs.readFileSync(path.join(webDir, `${name}.wasm`)).toString('base64')}</script>\n` +
    `<script>\n${inline(read(`${name}.js`))}\n</script>\n`).join('');
  return `${programs}<script type="module">\nwindow.zivavodSingleFile = true;\n` +
    `const { loadProgram } = (() => {\n${inline(api)}\nreturn { loadProgram };\n})();\n` +
    `const { initCompare } = (() => {\n${inline(compare)}\nreturn { initCompare };\n})();\n` +
    `${inline(layout)}\n${inline(page)}</script>\n`;
});
if (html.includes('src="page.js"')) throw new Error('index.html\'s script tag was not replaced');
fs.writeFileSync(out, html);
