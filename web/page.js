// The page: gathers the firmware, the word lists and the names into the configuration file the
// command line reads, runs zivavod on them in this browser (zivavod-web.mjs), and shows what the
// command line would print, the counts, the space used and the package to download; the second
// panel runs zivavod-inspect on a package.
import { loadProgram } from './zivavod-web.mjs';
import { initCompare } from './compare.js';

const MAX_LISTS = 8;
// Bytes of the app image the lexicon may fill: four per six-letter word, three per four-letter.
const LEXICON_BYTES = 103360;

const $ = (id) => document.getElementById(id);
const state = { firmware: null, lists: [], inspected: null, zivavod: null, inspector: null };
let downloadUrl = null;

function setStatus(text) {
  $('status').textContent = text;
}

function formatBytes(n) {
  return `${n.toLocaleString('en-US')} bytes`;
}

function showConsole(pre, chunks) {
  pre.replaceChildren();
  for (const { stream, text } of chunks) {
    const span = document.createElement('span');
    if (stream === 'stderr') span.className = 'err';
    span.textContent = text;
    pre.append(span);
  }
}

function renderLists() {
  const list = $('lists');
  list.replaceChildren();
  state.lists.forEach((file, index) => {
    const item = document.createElement('li');
    const row = document.createElement('div');
    row.className = 'item';
    const name = document.createElement('span');
    name.className = 'chosen';
    name.textContent = file.name;
    const size = document.createElement('span');
    size.className = 'size';
    size.textContent = formatBytes(file.size);
    row.append(name, size);
    for (const [label, text, move, enabled] of [
      ['Move up', '↑', -1, index > 0],
      ['Move down', '↓', 1, index < state.lists.length - 1],
      ['Remove', '✕', 0, true],
    ]) {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'secondary small';
      button.textContent = text;
      button.title = `${label} ${file.name}`;
      button.setAttribute('aria-label', `${label} ${file.name}`);
      button.disabled = !enabled;
      button.addEventListener('click', () => {
        if (move === 0) {
          state.lists.splice(index, 1);
        } else {
          const [moved] = state.lists.splice(index, 1);
          state.lists.splice(index + move, 0, moved);
        }
        renderLists();
        const buttons = $('lists').querySelectorAll('button:not(:disabled)');
        (buttons[Math.min(index * 3, buttons.length - 1)] ?? $('lists-input')).focus();
      });
      row.append(button);
    }
    item.append(row);
    list.append(item);
  });
  $('lists-empty').hidden = state.lists.length > 0;
  updateMake();
}

function updateMake() {
  $('make').disabled = !state.zivavod || !state.firmware;
}

function addLists(files) {
  const room = MAX_LISTS - state.lists.length;
  const added = [...files].slice(0, Math.max(room, 0));
  state.lists.push(...added);
  if (files.length > added.length) {
    setStatus(`At most ${MAX_LISTS} word lists: ${files.length - added.length} left out.`);
  }
  renderLists();
}

function setFirmware(file) {
  state.firmware = file ?? null;
  $('firmware-name').textContent = file ? `${file.name} (${formatBytes(file.size)})` : 'No file chosen';
  updateMake();
}

// The files the run sees: each under its own name, a name met again in a folder of its own.
function stageFiles(files) {
  const names = new Set(['run.cfg']);
  return files.map((file, index) => {
    let name = file.name.replace(/[\r\n]/g, '_');
    if (names.has(name)) name = `${index + 1}/${name}`;
    names.add(name);
    return [name, file];
  });
}

function countsOf(stdout) {
  const count = (label) => {
    const match = stdout.match(new RegExp(`^Total ${label} = (\\d+)$`, 'm'));
    return match ? Number(match[1]) : null;
  };
  return {
    fourRegular: count('regular four letter words'), sixRegular: count('regular six letter words'),
    fourDirty: count('dirty four letter words'), sixDirty: count('dirty six letter words'),
  };
}

function showCounts(stdout) {
  const c = countsOf(stdout);
  if (c.sixRegular === null) {
    $('make-result').hidden = true;
    return;
  }
  $('six-regular').textContent = c.sixRegular.toLocaleString('en-US');
  $('six-dirty').textContent = c.sixDirty.toLocaleString('en-US');
  $('four-regular').textContent = c.fourRegular.toLocaleString('en-US');
  $('four-dirty').textContent = c.fourDirty.toLocaleString('en-US');
  const six = 4 * (c.sixRegular + c.sixDirty);
  const four = 3 * (c.fourRegular + c.fourDirty);
  const used = six + four;
  const share = (n) => `${Math.min(100, (100 * n) / LEXICON_BYTES)}%`;
  $('space-six').style.width = share(six);
  $('space-four').style.width = share(Math.max(0, Math.min(four, LEXICON_BYTES - six)));
  $('space-bar').classList.toggle('full', used > LEXICON_BYTES);
  $('space-text').textContent =
    `${used.toLocaleString('en-US')} of ${LEXICON_BYTES.toLocaleString('en-US')} bytes ` +
    `(${((100 * used) / LEXICON_BYTES).toFixed(1)} %)`;
  $('six-bytes').textContent = `(${formatBytes(six)})`;
  $('four-bytes').textContent = `(${formatBytes(four)})`;
  $('make-result').hidden = false;
}

async function makePackage() {
  const make = $('make');
  make.disabled = true;
  const download = $('download');
  download.hidden = true;
  if (downloadUrl) URL.revokeObjectURL(downloadUrl);
  downloadUrl = null;
  try {
    setStatus('Making the package…');
    const staged = stageFiles([state.firmware, ...state.lists]);
    const files = {};
    for (const [name, file] of staged) files[name] = new Uint8Array(await file.arrayBuffer());
    const lines = [staged[0][0], $('package-name').value, $('lexicon-name').value,
      ...staged.slice(1).map(([name]) => name)];
    files['run.cfg'] = `${lines.map((line) => line.replace(/[\r\n]/g, ' ')).join('\n')}\n`;
    const date = $('source-date').value;
    const env = date === '' ? {} : { SOURCE_DATE_EPOCH: date };
    const result = await state.zivavod.run({ files, args: ['run.cfg'], env });
    showConsole($('console'), result.console);
    showCounts(result.stdout);
    const created = result.stdout.match(/^Created "(.*)" OTA DFU package\.$/m);
    const bytes = created && result.status === 0 ? result.files.get(created[1]) : undefined;
    if (bytes) {
      downloadUrl = URL.createObjectURL(new Blob([bytes], { type: 'application/zip' }));
      download.href = downloadUrl;
      const name = created[1].split('/').pop();
      download.download = name;
      download.textContent = `Download ${name} (${formatBytes(bytes.length)})`;
      download.hidden = false;
      setStatus(`Made ${name}.`);
    } else {
      setStatus(`No package: the run ended with status ${result.status}.`);
    }
  } catch (error) {
    setStatus(`The run failed: ${error.message}`);
  } finally {
    updateMake();
  }
}

async function inspect(words) {
  const file = state.inspected;
  if (!file || !state.inspector) return;
  $('inspect-words').disabled = true;
  try {
    const name = file.name.replace(/[\r\n/]/g, '_');
    const result = await state.inspector.run({
      files: { [name]: new Uint8Array(await file.arrayBuffer()) },
      args: words ? ['--words', name] : [name],
    });
    showConsole($('inspect-output'), result.console);
  } catch (error) {
    $('inspect-output').textContent = `The check failed: ${error.message}`;
  } finally {
    $('inspect-words').disabled = false;
  }
}

function setInspected(file) {
  state.inspected = file ?? null;
  $('inspect-name').textContent = file ? `${file.name} (${formatBytes(file.size)})` : 'No package chosen';
  if (file) inspect(false);
  refreshCompare();
}

function dropZone(zone, take) {
  zone.addEventListener('dragover', (event) => {
    event.preventDefault();
    zone.classList.add('over');
  });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    if (event.dataTransfer?.files.length) take(event.dataTransfer.files);
  });
}

// A file dropped beside a zone must not replace the page.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => event.preventDefault());

$('firmware-input').addEventListener('change', (event) => setFirmware(event.target.files[0]));
$('lists-input').addEventListener('change', (event) => {
  addLists(event.target.files);
  event.target.value = '';
});
$('inspect-input').addEventListener('change', (event) => setInspected(event.target.files[0]));
dropZone($('firmware-drop'), (files) => setFirmware(files[0]));
dropZone($('lists-drop'), (files) => addLists(files));
dropZone($('inspect-drop'), (files) => setInspected(files[0]));
$('make').addEventListener('click', makePackage);
$('inspect-words').addEventListener('click', () => inspect(true));
for (const id of ['package-name', 'lexicon-name', 'source-date']) {
  $(id).addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && !$('make').disabled) makePackage();
  });
}
renderLists();
const refreshCompare = initCompare(() => state.inspector, () => state.inspected);

try {
  [state.zivavod, state.inspector] = await Promise.all([loadProgram('zivavod'), loadProgram('zivavod-inspect')]);
  setStatus('Ready. Choose the firmware image and the word lists.');
  document.body.dataset.ready = 'true';
  updateMake();
} catch (error) {
  setStatus(`The program could not be loaded: ${error.message}`);
}
