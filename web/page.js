// The page: gathers the firmware, the word lists and the names into the configuration file the
// command line reads, runs zivavod on them in this browser (zivavod-web.mjs), and shows what the
// command line would print, the counts, the space used and the package to download, with plain
// words beside a failed run; the second panel runs zivavod-inspect on a package.
import { loadProgram } from './zivavod-web.mjs';
import { initCompare } from './compare.js';
import { FIRMWARE_HEAD, LEXICON_BYTES } from './layout.mjs';

const MAX_LISTS = 8;
// The longest configuration line the program keeps, and the longest file name Linux (and the
// program's own file system) holds: NAME.zip must fit it.
const LINE_BYTES = 253;
const FILE_NAME_BYTES = 255;
const WORD_LIST_BYTES = 256000;
// The configuration names the firmware of a preview run so that no file holds it: the run stops
// once it has counted the words, before it needs the firmware.
const NO_FIRMWARE = 'no-firmware-in-a-preview.bin';

const $ = (id) => document.getElementById(id);
const state = {
  firmware: null, lists: [], removed: null, inspected: null, zivavod: null, inspector: null,
  preview: null,
};
let downloadUrl = null;
let previewGeneration = 0;
let nextId = 1;

const utf8Length = (text) => new TextEncoder().encode(text).length;
const number = (n) => n.toLocaleString('en-US');
const formatBytes = (n) => `${number(n)} ${n === 1 ? 'byte' : 'bytes'}`;

function setStatus(text) {
  $('status').textContent = text;
}

// A message at a field, or none; invalid marks the field as refused.
function fieldMessage(id, text, invalid = false) {
  const message = $(`${id}-message`);
  message.textContent = text ?? '';
  message.hidden = !text;
  message.classList.toggle('invalid', Boolean(text) && invalid);
  const field = $(id);
  if (field && field.tagName === 'INPUT' && field.type === 'text') {
    if (invalid && text) field.setAttribute('aria-invalid', 'true');
    else field.removeAttribute('aria-invalid');
  }
}

// Each console line in a span of its own; the lines that report a problem are marked, from
// whichever stream they came.
function showConsole(pre, chunks) {
  pre.replaceChildren();
  for (const { stream, text } of chunks) {
    for (const line of text.split(/(?<=\n)/)) {
      const span = document.createElement('span');
      // The inspector's findings begin "problem: ".
      const kind = /^(ERROR|mz_zip|problem: )/.test(line) ? 'error' : line.startsWith('WARNING') ? 'warning' : '';
      span.className = [stream === 'stderr' ? 'err' : '', kind].filter(Boolean).join(' ');
      span.textContent = line;
      pre.append(span);
    }
  }
}

// Why a configuration line or file name cannot be carried to the program, or null.
function lineProblem(text, what) {
  // eslint-disable-next-line no-control-regex -- control characters are what it looks for
  if (/[\x00-\x1f\x7f]/.test(text)) return `${what} holds a control character, which a configuration line cannot carry.`;
  const bytes = utf8Length(text);
  if (bytes > LINE_BYTES) {
    return `${what} is ${number(bytes)} bytes long in UTF-8; a configuration line holds at most ${LINE_BYTES}.`;
  }
  return null;
}

function packageNameProblem(name) {
  if (name === '') return 'Give the package a name.';
  const problem = lineProblem(name, 'The name');
  if (problem) return problem;
  if (name.includes('/')) return 'A file name, not a path: no “/”.';
  if (/[\\:]/.test(name)) return 'The entries inside the package are named after it, and a zip entry name cannot hold “\\” or “:”.';
  const base = name.split('.')[0];
  if (base === '') return 'The part before the first dot names the package: it must not be empty.';
  const bytes = utf8Length(base);
  if (bytes + 4 > FILE_NAME_BYTES) {
    return `The package is written as NAME.zip, which must fit a ${FILE_NAME_BYTES}-byte file name: ` +
      `at most ${FILE_NAME_BYTES - 4} bytes before the first dot, this is ${number(bytes)}.`;
  }
  return null;
}

function lexiconNameProblem(name) {
  if (name === '') return 'Give the lexicon a name: six letters or digits.';
  return lineProblem(name, 'The name');
}

// The whole seconds SOURCE_DATE_EPOCH takes, and what the entries are dated for those outside
// the years a zip entry holds; null when it is empty.
function dateProblem(text) {
  if (text === '') return null;
  if (!/^[0-9]+$/.test(text)) return { invalid: 'Whole seconds since 1970 only: digits, no sign, point or space.' };
  const seconds = BigInt(text);
  if (seconds > 2n ** 63n - 1n) return { invalid: 'Out of range: at most 9223372036854775807.' };
  if (seconds < 315532800n) return { note: 'Before 1980, the first year a zip entry holds: the entries are dated 1980-01-01 00:00:00.' };
  if (seconds >= 4354819200n) return { note: 'After 2107, the last year a zip entry holds: the entries are dated 2107-12-31 23:59:58.' };
  return null;
}

// Checks the three fields, marks those refused and returns the first refused one's id, or null.
function checkFields() {
  const packageProblem = packageNameProblem($('package-name').value);
  fieldMessage('package-name', packageProblem, true);
  const lexiconProblem = lexiconNameProblem($('lexicon-name').value);
  fieldMessage('lexicon-name', lexiconProblem, true);
  const date = dateProblem($('source-date').value);
  fieldMessage('source-date', date?.invalid ?? date?.note ?? null, Boolean(date?.invalid));
  if (date?.invalid) $('source-date').closest('details').open = true;
  if (packageProblem) return 'package-name';
  if (lexiconProblem) return 'lexicon-name';
  if (date?.invalid) return 'source-date';
  return null;
}

// Reads a chosen file at once, so that a later change on disk changes nothing; a folder or a
// file that cannot be read is refused by name.
async function readChosen(file, entry) {
  if (entry?.isDirectory) return { refused: `${file.name} is a folder: choose the files in it.` };
  try {
    return { file: { id: nextId++, name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) } };
  } catch {
    return { refused: `${file.name} could not be read: it is a folder, or not a file this browser may read.` };
  }
}

// The files of a change or a drop, with the entries that tell folders apart.
function chosenFiles(source) {
  if (source.items) {
    const entries = [...source.items].filter((item) => item.kind === 'file')
      .map((item) => item.webkitGetAsEntry?.() ?? null);
    return [...source.files].map((file, i) => [file, entries[i] ?? null]);
  }
  return [...source].map((file) => [file, null]);
}

const startsWith = (bytes, ...prefix) => prefix.every((b, i) => bytes[i] === b);

// What a word list looks like when it is not one the program can read.
function listNote(file) {
  if (startsWith(file.bytes, 0x50, 0x4b, 0x03, 0x04)) return 'This is a zip file (a package?), not a word list: its bytes would be read as words.';
  if (startsWith(file.bytes, 0xff, 0xfe) || startsWith(file.bytes, 0xfe, 0xff)) return 'UTF-16 text, which the program cannot read: save it as UTF-8.';
  if (file.bytes.length > WORD_LIST_BYTES) return `${formatBytes(file.bytes.length)}: a word list may hold at most ${formatBytes(WORD_LIST_BYTES)}.`;
  return lineProblem(file.name, 'Its name');
}

function moveButton(file, index, [action, text, move, enabled]) {
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'secondary small';
  button.textContent = text;
  button.setAttribute('aria-label', `${action} ${file.name}`);
  button.dataset.action = action;
  button.disabled = !enabled;
  button.addEventListener('click', () => {
    if (move === 0) {
      removeList(index);
      return;
    }
    const [moved] = state.lists.splice(index, 1);
    state.lists.splice(index + move, 0, moved);
    renderLists();
    // The moved list keeps the focus on the same button, or its other one where the list
    // reached an end, so that Enter again moves the same list on.
    const buttons = listButtons(index + move);
    (buttons[action].disabled ? buttons[move < 0 ? 'Move down' : 'Move up'] : buttons[action]).focus();
    setStatus(`Moved ${moved.name} to place ${index + move + 1} of ${state.lists.length}.`);
    listsChanged();
  });
  return button;
}

function listButtons(index) {
  const buttons = {};
  for (const button of $('lists').children[index]?.querySelectorAll('button') ?? []) {
    buttons[button.dataset.action] = button;
  }
  return buttons;
}

function removeList(index) {
  const [removed] = state.lists.splice(index, 1);
  state.removed = { file: removed, index };
  // What was said about the lists may have been about this one.
  fieldMessage('lists', null);
  renderLists();
  $('undo-text').textContent = `Removed ${removed.name}.`;
  $('undo').hidden = false;
  // Focus goes to the list now in its place, else the one before, else the undo.
  const target = listButtons(Math.min(index, state.lists.length - 1)).Remove ?? $('undo-button');
  target.focus();
  setStatus(`Removed ${removed.name}. Undo puts it back.`);
  listsChanged();
}

function undoRemove() {
  const { removed } = state;
  if (!removed) return;
  if (state.lists.length >= MAX_LISTS) {
    setStatus(`At most ${MAX_LISTS} word lists: remove one first.`);
    return;
  }
  state.removed = null;
  $('undo').hidden = true;
  const index = Math.min(removed.index, state.lists.length);
  state.lists.splice(index, 0, removed.file);
  renderLists();
  listButtons(index).Remove.focus();
  setStatus(`Put ${removed.file.name} back in place ${index + 1}.`);
  listsChanged();
}

function renderLists() {
  const list = $('lists');
  list.replaceChildren();
  const preview = state.preview;
  state.lists.forEach((file, index) => {
    const item = document.createElement('li');
    const row = document.createElement('div');
    row.className = 'item';
    const name = document.createElement('span');
    name.className = 'chosen';
    name.textContent = file.name;
    const size = document.createElement('span');
    size.className = 'size';
    const words = preview?.words.get(file.id);
    size.textContent = formatBytes(file.bytes.length) + (words === undefined ? '' : `, ${number(words)} words`);
    row.append(name, size);
    for (const button of [
      ['Move up', 'Up', -1, index > 0],
      ['Move down', 'Down', 1, index < state.lists.length - 1],
      ['Remove', 'Remove', 0, true],
    ]) {
      row.append(moveButton(file, index, button));
    }
    item.append(row);
    const note = listNote(file) ?? (preview?.crossing === file.id ? `The lexicon space runs out in this list.` : null);
    if (note) {
      const p = document.createElement('p');
      p.className = 'note';
      p.textContent = note;
      item.append(p);
    }
    list.append(item);
  });
  $('lists-empty').hidden = state.lists.length > 0;
}

async function addLists(source) {
  const chosen = chosenFiles(source);
  const room = MAX_LISTS - state.lists.length;
  const messages = [];
  let added = 0;
  for (const [file, entry] of chosen) {
    const read = await readChosen(file, entry);
    if (read.refused) {
      messages.push(read.refused);
    } else if (added < room) {
      state.lists.push(read.file);
      added++;
    }
  }
  const left = chosen.length - messages.length - added;
  if (left > 0) messages.push(`At most ${MAX_LISTS} word lists: ${left} left out.`);
  fieldMessage('lists', messages.join(' ') || null);
  if (messages.length) setStatus(messages.join(' '));
  renderLists();
  listsChanged();
}

async function setFirmware(source) {
  const chosen = chosenFiles(source);
  if (chosen.length === 0) return;
  if (chosen.length > 1) {
    fieldMessage('firmware', `${chosen.length} files were dropped: drop the one firmware image alone.`);
    return;
  }
  const read = await readChosen(...chosen[0]);
  if (read.refused) {
    fieldMessage('firmware', read.refused);
    setStatus(read.refused);
    return;
  }
  const file = read.file;
  state.firmware = file;
  $('firmware-name').textContent = `${file.name} (${formatBytes(file.bytes.length)})`;
  const short = file.bytes.length < FIRMWARE_HEAD;
  fieldMessage('firmware', short
    ? `This file has ${formatBytes(file.bytes.length)}; the firmware image needs at least ${formatBytes(FIRMWARE_HEAD)}.`
    : lineProblem(file.name, 'Its name'));
  updateMake();
}

function updateMake() {
  $('make').disabled = !state.zivavod || !state.firmware;
}

// The files the run sees: each under its own name, a name met again in a folder of its own.
function stageFiles(files) {
  const names = new Set(['run.cfg']);
  return files.map((file, index) => {
    let name = file.name;
    if (names.has(name)) name = `${index + 1}/${name}`;
    names.add(name);
    return [name, file];
  });
}

// The first chosen file whose name, as the run sees it, a configuration line cannot carry, with
// the reason; null when every name fits.
function unfitName(files) {
  for (const [name, file] of stageFiles(files)) {
    const problem = lineProblem(name, `The name of ${file.name}`);
    if (problem) return { file, problem };
  }
  return null;
}

// One run of zivavod on the firmware (or none) and the lists, as the command line would run it.
function runZivavod(firmware, lists, packageName, lexicon, env = {}) {
  const staged = stageFiles(firmware ? [firmware, ...lists] : lists);
  const files = {};
  for (const [name, file] of staged) files[name] = file.bytes;
  const names = staged.map(([name]) => name);
  const lines = [firmware ? names.shift() : NO_FIRMWARE, packageName, lexicon, ...names];
  files['run.cfg'] = `${lines.join('\n')}\n`;
  return { staged, run: state.zivavod.run({ files, args: ['run.cfg'], env }) };
}

function countsOf(stdout) {
  const count = (label) => {
    const match = stdout.match(new RegExp(`^Total ${label} = (\\d+)$`, 'm'));
    return match ? Number(match[1]) : null;
  };
  const c = {
    fourRegular: count('regular four letter words'), sixRegular: count('regular six letter words'),
    fourDirty: count('dirty four letter words'), sixDirty: count('dirty six letter words'),
  };
  if (c.sixRegular === null) return null;
  c.six = 4 * (c.sixRegular + c.sixDirty);
  c.four = 3 * (c.fourRegular + c.fourDirty);
  c.used = c.six + c.four;
  return c;
}

function showCounts(c, crossing) {
  if (!c) {
    $('make-result').hidden = true;
    return;
  }
  $('six-regular').textContent = number(c.sixRegular);
  $('six-dirty').textContent = number(c.sixDirty);
  $('four-regular').textContent = number(c.fourRegular);
  $('four-dirty').textContent = number(c.fourDirty);
  const share = (n) => `${Math.min(100, (100 * n) / LEXICON_BYTES)}%`;
  $('space-six').style.width = share(c.six);
  $('space-four').style.width = share(Math.max(0, Math.min(c.four, LEXICON_BYTES - c.six)));
  const over = c.used - LEXICON_BYTES;
  $('space-bar').classList.toggle('full', over > 0);
  $('space-text').textContent = over > 0
    ? `${number(c.used)} of ${number(LEXICON_BYTES)} bytes: over by ${formatBytes(over)}` +
      (crossing ? `, from ${crossing} on` : '')
    : `${number(c.used)} of ${number(LEXICON_BYTES)} bytes (${(Math.floor((1000 * c.used) / LEXICON_BYTES) / 10).toFixed(1)} %)`;
  $('space-text').classList.toggle('over', over > 0);
  $('six-bytes').textContent = `(${formatBytes(c.six)})`;
  $('four-bytes').textContent = `(${formatBytes(c.four)})`;
  $('make-result').hidden = false;
}

// What the lists hold, from the program's own run on them as soon as they are chosen; where
// they overflow the lexicon space, runs on the first lists alone find the one that crosses.
async function listsChanged() {
  const generation = ++previewGeneration;
  const lists = state.lists.slice();
  // A name the configuration cannot carry would shift the lines: its note says so instead.
  if (!state.zivavod || lists.length === 0 || unfitName(lists)) {
    state.preview = null;
    showCounts(null);
    renderListsKeepingFocus();
    return;
  }
  const result = await runZivavod(null, lists, 'preview', 'WORDS').run;
  if (generation !== previewGeneration) return;
  const counts = countsOf(result.stdout);
  const words = new Map();
  const processed = [...result.stdout.matchAll(/^Processed ".*", (\d+) total words were processed from text file\.$/gm)];
  processed.forEach((match, i) => words.set(lists[i].id, Number(match[1])));
  let crossing = null;
  if (counts && counts.used > LEXICON_BYTES) {
    for (let n = 1; n < lists.length && crossing === null; n++) {
      const part = countsOf((await runZivavod(null, lists.slice(0, n), 'preview', 'WORDS').run).stdout);
      if (generation !== previewGeneration) return;
      if (part && part.used > LEXICON_BYTES) crossing = lists[n - 1];
    }
    crossing ??= lists[lists.length - 1];
  }
  state.preview = { words, crossing: crossing?.id ?? null, counts, crossingName: crossing?.name };
  showCounts(counts, crossing?.name);
  renderListsKeepingFocus();
}

// A new rendering of the lists must not take the focus away from the button that had it.
function renderListsKeepingFocus() {
  const focused = document.activeElement;
  const at = focused?.closest?.('#lists li');
  const index = at ? [...$('lists').children].indexOf(at) : -1;
  const action = focused?.dataset?.action;
  renderLists();
  if (index >= 0 && action) listButtons(index)[action]?.focus();
}

// Plain words for each message a page user can meet, by the number of the message in the
// program's table: what to fix and where. Each entry matches the line and gives the field or
// file to fix and the advice.
const HELP = [
  [3, /^ERROR: Can't open config file: /, () => ['Page', 'The page could not hand the program its configuration. Reload the page and try again.']],
  [5, /^WARNING: Config line (\d+) discarded\.$/, ([, line]) => configLineHelp(Number(line))],
  [6, /^ERROR: 16 or more warnings\./, () => ['Page', 'The program stopped after 16 configuration problems: fix the names the notes above point to.']],
  [7, /^ERROR: (slw|flw) buff malloc failed\.$|^ERROR: (manifest|app) file buffer malloc failed\.$/, () => ['Browser', 'The browser gave the program too little memory: close other tabs and make the package again.']],
  [11, /^ERROR: Can't open "(.*)" for processing\.$/, ([, name]) => [name, openListHelp(name)]],
  [12, /^ERROR: Text file "(.*)" too large \((\d+) bytes, limit (\d+) bytes\)\.$/, ([, name, size, limit]) => [name, `This list has ${formatBytes(Number(size))}; a word list may hold at most ${formatBytes(Number(limit))}. Split it into two lists.`]],
  [21, /^ERROR, Can't open ZORV-OLED input bin file: "(.*)"\.$/, ([, name]) => ['Firmware image', `${name} could not be opened. Choose the device's application firmware image again.`]],
  [22, /^ERROR: Input bin file was too short\.$/, () => ['Firmware image', `${state.firmware?.name ?? 'The firmware image'} has ${formatBytes(state.firmware?.bytes.length ?? 0)}; the program keeps the first ${formatBytes(FIRMWARE_HEAD)} of the device's application firmware and puts the words behind them, so the image needs at least that many. Choose the whole firmware image.`]],
  [24, /^WARNING: Lexicon name was changed from "(.*)" to "(.*)"\.$/, ([, , to]) => ['Lexicon name', `The device shows six characters, A to Z, 0 to 9 and spaces: the program used “${to}”. Type that, or a name of six such characters, to silence this warning.`]],
  [25, /^ERROR: The generated file is too large to fit in ZORV\.$/, () => ['Word lists', tooLargeHelp()]],
  ['29a', /^ERROR: Package "(.*)" is one of the input files\.$/, ([, name]) => ['Package name', `${name} is also the name of a chosen file: give the package another name.`]],
  [31, /^mz_zip_writer_init_file failed!$/, () => ['Package name', `The package file could not be created: NAME.zip must fit a ${FILE_NAME_BYTES}-byte file name.`]],
  [32, /^mz_zip add .* failed!$|^mz_zip_writer_finalize_archive failed!$/, () => ['Package name', 'The package\'s entries could not be written: choose a package name of letters, digits, dots, dashes and underscores.']],
];

function configLineHelp(line) {
  const where = line === 1 ? 'Firmware image' : line === 2 ? 'Package name' : line === 3 ? 'Lexicon name'
    : state.lists[line - 4]?.name ?? 'Word lists';
  return [where, `The page writes this as line ${line} of the configuration, which the program left out: it was empty or longer than ${LINE_BYTES} bytes. Shorten it.`];
}

function openListHelp(name) {
  const file = state.lists.find((list) => list.name === name || name.endsWith(`/${list.name}`));
  if (file && (startsWith(file.bytes, 0xff, 0xfe) || startsWith(file.bytes, 0xfe, 0xff))) {
    return 'This list is UTF-16 text, which the program cannot read: save it as UTF-8 (or plain ASCII) and add it again.';
  }
  return 'This list could not be opened as text: remove it, and add the word list file itself.';
}

function tooLargeHelp() {
  const c = state.preview?.counts;
  const over = c ? c.used - LEXICON_BYTES : null;
  return `The words take more than the ${formatBytes(LEXICON_BYTES)} of lexicon space (four bytes a six-letter word, three a four-letter one)` +
    (over > 0 ? `: over by ${formatBytes(over)}, from ${state.preview.crossingName} on` : '') +
    '. Remove words or lists.';
}

// The field or the chosen file that help names, to go to.
function placeOf(where) {
  const fields = { 'Firmware image': 'firmware-input', 'Package name': 'package-name',
    'Lexicon name': 'lexicon-name', 'Word lists': 'lists-input' };
  if (fields[where]) return $(fields[where]);
  const index = state.lists.findIndex((file) => file.name === where || where.endsWith(`/${file.name}`));
  return index >= 0 ? listButtons(index).Remove : null;
}

function showHelp(stdout, stderr, status) {
  const help = $('help');
  help.replaceChildren();
  const lines = `${stdout}${stderr}`.split('\n');
  for (const line of lines) {
    for (const [, pattern, explain] of HELP) {
      const match = line.match(pattern);
      if (!match) continue;
      const [where, text] = explain(match);
      const item = document.createElement('li');
      const target = placeOf(where);
      const label = document.createElement(target ? 'button' : 'strong');
      label.textContent = where;
      if (target) {
        label.type = 'button';
        label.className = 'link';
        label.setAttribute('aria-label', `${where}: go there`);
        label.addEventListener('click', () => target.focus());
      }
      item.append(label, ': ', text);
      help.append(item);
      break;
    }
  }
  $('help-box').hidden = help.children.length === 0 || (status === 0 && !lines.some((l) => l.startsWith('WARNING')));
}

function clearResults() {
  $('console').replaceChildren();
  $('help').replaceChildren();
  $('help-box').hidden = true;
  $('download').hidden = true;
  if (downloadUrl) URL.revokeObjectURL(downloadUrl);
  downloadUrl = null;
}

async function makePackage() {
  clearResults();
  $('undo').hidden = true;
  state.removed = null;
  const refused = checkFields();
  if (refused) {
    setStatus('No package: fix the marked field first.');
    $(refused).focus();
    return;
  }
  const unfit = unfitName([state.firmware, ...state.lists]);
  if (unfit) {
    const where = unfit.file === state.firmware ? 'firmware' : 'lists';
    fieldMessage(where, `${unfit.problem} Rename the file and choose it again.`);
    setStatus(`No package: ${unfit.problem}`);
    return;
  }
  const make = $('make');
  make.disabled = true;
  try {
    setStatus('Making the package…');
    const date = $('source-date').value;
    const { run } = runZivavod(state.firmware, state.lists, $('package-name').value,
      $('lexicon-name').value, date === '' ? {} : { SOURCE_DATE_EPOCH: date });
    const result = await run;
    showConsole($('console'), result.console);
    showCounts(countsOf(result.stdout), state.preview?.crossingName);
    showHelp(result.stdout, result.stderr, result.status);
    const created = result.stdout.match(/^Created "(.*)" OTA DFU package\.$/m);
    const bytes = created && result.status === 0 ? result.files.get(created[1]) : undefined;
    const download = $('download');
    if (bytes) {
      downloadUrl = URL.createObjectURL(new Blob([bytes], { type: 'application/zip' }));
      download.href = downloadUrl;
      const name = created[1];
      download.download = name;
      download.textContent = `Download ${name} (${formatBytes(bytes.length)})`;
      download.hidden = false;
      setStatus(`Made ${name}.`);
    } else {
      const last = result.stdout.trim().split('\n').concat(result.stderr.trim().split('\n'))
        .filter((line) => /^(ERROR|mz_zip)/.test(line)).pop();
      setStatus(`No package${last ? `: ${last}` : '.'} What to fix is said below the console.`);
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
  $('inspect-output').replaceChildren();
  $('verdict').textContent = 'Checking…';
  $('verdict').className = '';
  try {
    const name = file.name.replace(/[\r\n/]/g, '_');
    const result = await state.inspector.run({ files: { [name]: file.bytes }, args: words ? ['--words', name] : [name] });
    showConsole($('inspect-output'), result.console);
    const verdict = [['sound', `Sound: the device and the DFU tools will read ${name}.`],
      ['problems', `Problems found in ${name}: see the lines after what it holds.`],
      ['unreadable', `${name} could not be read as a package.`]][Math.min(result.status, 2)];
    $('verdict').className = verdict[0];
    $('verdict').textContent = verdict[1] + (words ? ` Its words are listed below.` : '');
  } catch (error) {
    $('verdict').textContent = `The check failed: ${error.message}`;
  } finally {
    $('inspect-words').disabled = false;
  }
}

// The one file of a change or a drop, read, or why it is refused; null when there is none.
async function readOne(source, what) {
  const chosen = chosenFiles(source);
  if (chosen.length === 0) return null;
  return chosen.length > 1
    ? { refused: `${chosen.length} files were dropped: drop ${what} alone.` }
    : readChosen(...chosen[0]);
}

async function setInspected(source) {
  const read = await readOne(source, 'one package');
  if (!read) return;
  fieldMessage('inspect', read.refused ?? null);
  if (read.refused) return;
  state.inspected = read.file;
  $('inspect-name').textContent = `${read.file.name} (${formatBytes(read.file.bytes.length)})`;
  inspect(false);
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
    if (event.dataTransfer?.files.length) take(event.dataTransfer);
  });
}

// A file dropped beside a zone must not replace the page.
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => event.preventDefault());

$('firmware-input').addEventListener('change', async (event) => {
  await setFirmware(event.target.files);
  event.target.value = '';
});
$('lists-input').addEventListener('change', async (event) => {
  await addLists(event.target.files);
  event.target.value = '';
});
$('inspect-input').addEventListener('change', async (event) => {
  await setInspected(event.target.files);
  event.target.value = '';
});
dropZone($('firmware-drop'), setFirmware);
dropZone($('lists-drop'), addLists);
dropZone($('inspect-drop'), setInspected);
$('make').addEventListener('click', makePackage);
$('undo-button').addEventListener('click', undoRemove);
$('inspect-words').addEventListener('click', () => inspect(true));
for (const id of ['package-name', 'lexicon-name', 'source-date']) {
  $(id).addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && !$('make').disabled) makePackage();
  });
  $(id).addEventListener('input', () => {
    if ($(id).hasAttribute('aria-invalid') || id === 'source-date') checkFields();
  });
  $(id).addEventListener('change', checkFields);
}
renderLists();
const refreshCompare = initCompare({
  inspector: () => state.inspector, checked: () => state.inspected, readOne, dropZone, fieldMessage,
});

// Served, the page keeps its files for working offline; opened from disk it has nothing to keep.
if ('serviceWorker' in navigator && /^https?:$/.test(location.protocol) && !window.zivavodSingleFile) {
  navigator.serviceWorker.register('sw.js').catch(() => {});
}

try {
  [state.zivavod, state.inspector] = await Promise.all([loadProgram('zivavod'), loadProgram('zivavod-inspect')]);
  setStatus('Ready. Choose the firmware image and the word lists.');
  document.body.dataset.ready = 'true';
  updateMake();
  listsChanged();
} catch (error) {
  setStatus(`The program could not be loaded: ${error.message}`);
}
