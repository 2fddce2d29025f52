// The check panel's "Compare with an older package": the package being checked against an older
// one dropped here, by zivavod-inspect --diff in this browser. Its plain lines as the command
// line prints them, and from its --json document the words added, removed and changed side by
// side, the counts and the lexicon space before and after.
const $ = (id) => document.getElementById(id);

// The packages' names in the program's folder, the older first; two of one name (two releases
// of one package, as often) each in a folder of its own.
function stageNames(older, newer) {
  const clean = (file) => file.name.replace(/[\r\n/]/g, '_');
  const [first, second] = [clean(older), clean(newer)];
  return first === second ? [`old/${first}`, `new/${second}`] : [first, second];
}

function fillList(list, words) {
  list.replaceChildren(...words.map((word) => {
    const item = document.createElement('li');
    item.textContent = word;
    return item;
  }));
}

// The space bar of one side: four bytes a six-letter word, three a four-letter one, of room.
function showSpace(prefix, room, six, four) {
  const share = (n) => `${Math.min(100, (100 * n) / room)}%`;
  const sixBytes = 4 * six.total;
  $(`${prefix}-six`).style.width = share(sixBytes);
  $(`${prefix}-four`).style.width = share(Math.max(0, Math.min(3 * four.total, room - sixBytes)));
}

function showDiff(diff) {
  const tables = [['six', diff.six_letter_words], ['four', diff.four_letter_words]];
  const all = (part) => tables.flatMap(([, table]) => table[part]);
  fillList($('compare-added'), all('added'));
  fillList($('compare-removed'), all('removed'));
  fillList($('compare-changed'), all('changed').map((c) => `${c.old} → ${c.new}`));
  $('compare-added-count').textContent = `(${all('added').length})`;
  $('compare-removed-count').textContent = `(${all('removed').length})`;
  $('compare-changed-count').textContent = `(${all('changed').length})`;
  for (const [name, table] of tables) {
    for (const side of ['old', 'new']) {
      $(`compare-${name}-${side}`).textContent =
        `${table[side].total.toLocaleString('en-US')} (${table[side].dirty.toLocaleString('en-US')} dirty)`;
    }
  }
  const space = diff.lexicon_space;
  for (const side of ['old', 'new']) {
    $(`compare-space-${side}`).textContent =
      `${space[side].toLocaleString('en-US')} of ${space.of.toLocaleString('en-US')} bytes`;
    showSpace(`compare-bar-${side}`, space.of, diff.six_letter_words[side],
      diff.four_letter_words[side]);
  }
  $('compare-result').hidden = false;
}

// Sets up the panel; returns the function to call when the package being checked changes. The
// packages are read when chosen ({ name, bytes }), so a later change on disk does not matter.
export function initCompare(getInspector, getChecked) {
  let older = null;
  const run = async () => {
    const newer = getChecked();
    const inspector = getInspector();
    $('compare-result').hidden = true;
    $('compare-output').textContent = '';
    if (!older || !newer || !inspector) return;
    try {
      const names = stageNames(older, newer);
      const files = { [names[0]]: older.bytes, [names[1]]: newer.bytes };
      const [plain, json] = await Promise.all([
        inspector.run({ files, args: ['--diff', ...names] }),
        inspector.run({ files, args: ['--json', '--diff', ...names] }),
      ]);
      $('compare-output').textContent = plain.stdout + plain.stderr;
      const doc = json.stdout ? JSON.parse(json.stdout) : null;
      if (doc?.diff) showDiff(doc.diff);
    } catch (error) {
      $('compare-output').textContent = `The comparison failed: ${error.message}`;
    }
  };
  const message = (text) => {
    $('compare-message').textContent = text ?? '';
    $('compare-message').hidden = !text;
  };
  const take = async (list) => {
    if (list.length !== 1) {
      message(`${list.length} files were dropped: drop one older package alone.`);
      return;
    }
    const [file] = list;
    try {
      older = { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
    } catch {
      // A folder dropped or chosen has no bytes to read.
      message(`${file.name} could not be read: is it a folder? Choose the older package's .zip file.`);
      return;
    }
    message(null);
    $('compare-name').textContent = `${older.name} (${older.bytes.length.toLocaleString('en-US')} bytes)`;
    run();
  };
  $('compare-input').addEventListener('change', (event) => take([...event.target.files]));
  const zone = $('compare-drop');
  zone.addEventListener('dragover', (event) => {
    event.preventDefault();
    zone.classList.add('over');
  });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (event) => {
    event.preventDefault();
    zone.classList.remove('over');
    if (event.dataTransfer?.files.length) take([...event.dataTransfer.files]);
  });
  return run;
}
