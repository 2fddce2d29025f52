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
// page lends what it reads and drops files with (readOne, dropZone) and shows a field's message
// with (fieldMessage), so a package is read when chosen and a folder is refused as on the page.
export function initCompare({ inspector: getInspector, checked: getChecked, readOne, dropZone, fieldMessage }) {
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
  const take = async (source) => {
    const read = await readOne(source, 'one older package');
    if (!read) return;
    fieldMessage('compare', read.refused ?? null);
    if (read.refused) return;
    older = read.file;
    $('compare-name').textContent = `${older.name} (${older.bytes.length.toLocaleString('en-US')} bytes)`;
    run();
  };
  $('compare-input').addEventListener('change', (event) => take(event.target.files));
  dropZone($('compare-drop'), take);
  return run;
}
