// The playground's page: the program's files in the editor's tabs, the buttons,
// the compiler's messages, the program's output, and the runtime
// (runtime/playground_runtime.js), which compiles, links and runs the program
// and draws its windows on the desktop.
//
// The editor comes first and never waits for the runtime: the runtime module is
// imported once the editor is on the page, and the compiler loads in the
// background while the person types.
import { createEditor } from '../editor.js';
import { nameProblem, readProgram, listPrograms, lastProgramId, saveProgram, encodeLink, decodeLink,
         zipArchive, urlOptions, OPTIONS } from './program.js';

const $ = (id) => document.getElementById(id);
const runButton = $('run'), stopButton = $('stop'), consolePane = $('console'), diagnosticsList = $('diagnostics');
const statusLine = $('status'), notice = $('notice'), progress = $('progress');

function say(text) { statusLine.textContent = text; statusLine.title = text; }
// Lines that must stay until their cause goes (the status line is the runtime's
// too): each has a key, and '' takes it away. A line may offer one action:
// {label, run}. A line that is said again is changed in place, its button kept
// where it is, so a press aimed at it never misses.
const notices = new Map();  // key -> {element, text, button}
function tell(key, text, action = null) {
  let line = notices.get(key);
  if (!text) {
    if (line) { line.element.remove(); notices.delete(key); }
    notice.hidden = notices.size === 0;
    return;
  }
  if (!line) {
    const element = document.createElement('div');
    element.dataset.key = key;
    element.appendChild(document.createElement('span'));
    line = { element, button: null, action: null };
    notices.set(key, line);
    notice.appendChild(element);
  }
  if (line.element.firstChild.textContent !== text) line.element.firstChild.textContent = text;
  line.action = action;
  if (action && !line.button) {
    line.button = document.createElement('button');
    line.button.type = 'button';
    line.button.addEventListener('click', () => { if (line.action) line.action.run(); });
    line.element.append(' ', line.button);
  }
  if (line.button) {
    line.button.hidden = !action;
    if (action && line.button.textContent !== action.label) line.button.textContent = action.label;
  }
  notice.hidden = false;
}

// ------------------------------------------------------------------ console

const CONSOLE_LIMIT = 200000;  // characters kept; a program printing without end drops its oldest
let consoleLength = 0;       // characters in the pane
let consoleDropped = null;   // the note that the start is dropped, once it is
let unwritten = [];          // [{stream, text}] waiting for the next display frame
let unwrittenLength = 0;
let writeScheduled = false;
let consoleStartDropped = false;  // output was dropped before it reached the pane

// What a program prints is put into the pane once per display frame, as new
// text nodes (never by re-copying the pane's text), and the pane keeps its last
// CONSOLE_LIMIT characters: a program printing without end costs the page a
// bounded amount of work per frame.
function write(stream, text) {
  if (!text) return;
  const last = unwritten[unwritten.length - 1];
  if (last && last.stream === stream) last.text += text;
  else unwritten.push({ stream, text });
  unwrittenLength += text.length;
  // A page that draws no frames (a hidden tab) still keeps only the last part.
  if (unwrittenLength > 2 * CONSOLE_LIMIT) {
    while (unwrittenLength - unwritten[0].text.length >= CONSOLE_LIMIT) {
      unwrittenLength -= unwritten.shift().text.length;
    }
    const first = unwritten[0];
    first.text = first.text.slice(unwrittenLength - CONSOLE_LIMIT);
    unwrittenLength = CONSOLE_LIMIT;
    consoleStartDropped = true;
  }
  if (!writeScheduled) {
    writeScheduled = true;
    requestAnimationFrame(writeUnwritten);
  }
}

function writeUnwritten() {
  writeScheduled = false;
  const atEnd = consolePane.scrollTop + consolePane.clientHeight >= consolePane.scrollHeight - 4;
  for (const { stream, text } of unwritten) {
    const last = consolePane.lastChild;
    if (last && last !== consoleDropped && last.className === stream) last.appendChild(document.createTextNode(text));
    else {
      const span = document.createElement('span');
      span.className = stream;
      span.textContent = text;
      consolePane.appendChild(span);
    }
    consoleLength += text.length;
  }
  unwritten = [];
  unwrittenLength = 0;
  if ((consoleLength > CONSOLE_LIMIT || consoleStartDropped) && !consoleDropped) {
    consoleDropped = document.createElement('span');
    consoleDropped.className = 'dropped';
    consoleDropped.textContent = `[the output's start is dropped: the pane keeps its last ${CONSOLE_LIMIT} characters]\n`;
    consolePane.insertBefore(consoleDropped, consolePane.firstChild);
  }
  // The oldest text goes, node by node (a span holds several text nodes).
  while (consoleLength > CONSOLE_LIMIT) {
    const span = consoleDropped.nextSibling;
    const node = span.firstChild;
    const cut = Math.min(node.textContent.length, consoleLength - CONSOLE_LIMIT);
    if (cut >= node.textContent.length) {
      node.remove();
      if (!span.firstChild) span.remove();
    } else {
      node.textContent = node.textContent.slice(cut);
    }
    consoleLength -= cut;
  }
  if (atEnd) consolePane.scrollTop = consolePane.scrollHeight;
}
function clearConsole() {
  consolePane.textContent = '';
  consoleLength = 0;
  consoleDropped = null;
  consoleStartDropped = false;
  unwritten = [];
  unwrittenLength = 0;
}

// ------------------------------------------------------------------ the program's files

const options = urlOptions(window.location.search);
let examples = null;  // {programs: [{name, title, description, files}]}
let examplesLoading = null;
function loadExamples() {
  examplesLoading = examplesLoading || fetch('examples.json').then((response) => {
    if (!response.ok) throw new Error(`examples.json: HTTP ${response.status}`);
    return response.json();
  }).then((loaded) => (examples = loaded));
  return examplesLoading;
}

const FALLBACK = [{ name: 'main.cpp', text: '#include "tavlo.h"\n\nint WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {\n    open_display(instance, previous, command_line, show);\n    print_text(0, -100, 0, 18, "Hello!");\n    int x = 0, y = 0;\n    char key = 0;\n    while (wait_event(&x, &y, &key) != EventKind::Quit) {\n    }\n    close_display();\n    return 0;\n}\n' }];

const sameProgram = (a, b) => a.length === b.length && a.every((f, i) => f.name === b[i].name && f.text === b[i].text);

function linkCode() {
  const hash = window.location.hash;
  return hash.startsWith('#code=') ? hash.slice(6) : null;
}
let fromLink = false;  // the program shown is a link's, not yet edited

// The program shown: a stored one (its id, and the version this tab read or
// saved last), or one not stored yet (id null: an example or a link's program,
// stored once edited, as a program of its own).
let shown = { id: null, name: 'program', version: 0 };
const OPEN = 'tavlo-playground-open';  // this tab's program, for its reload (sessionStorage)
const baseName = (files) => files[0].name.replace(/\.[^.]*$/, '');

function rememberOpen(id) {
  try { sessionStorage.setItem(OPEN, id || ''); } catch (e) { /* none: a reload opens the last one */ }
}

// A stored program this page cannot read is never written over: it is said,
// with a download of what is stored.
function tellUnreadable(program) {
  tell(`unreadable-${program.id}`, `Your stored program "${program.name}" cannot be opened (${program.error}). ` +
       'It is kept as it is; download what is stored to keep it elsewhere.', {
    label: 'Download it',
    run: () => saveFile(new Blob([program.raw], { type: 'application/json' }), `${program.name}.json`),
  });
}

// The program to show first: a link's, else this tab's (a reload), else the
// one saved last, else the first example.
async function firstProgram() {
  let stored = null;
  try {
    let openId = null;
    try { openId = sessionStorage.getItem(OPEN); } catch (e) { /* none */ }
    const candidates = [openId, lastProgramId(), ...listPrograms().map((p) => p.id)].filter(Boolean);
    for (const id of candidates) {
      const program = readProgram(id);
      if (!program) continue;
      if (program.error) {
        if (id === openId || id === candidates[0]) tellUnreadable(program);
        continue;
      }
      stored = program;
      break;
    }
  } catch (e) {
    tell('storage', `The browser's storage cannot be read (${e.message}): programs are not kept`);
  }
  const code = linkCode();
  if (code !== null) {
    try {
      const files = await decodeLink(code);
      fromLink = true;
      return { files, active: files[0].name, program: { id: null, name: baseName(files), version: 0 },
               replaced: stored };
    } catch (e) {
      tell('link', `This link's program cannot be opened: ${e.message}. ` +
           (stored ? 'Your stored program is shown instead.' : 'An example is shown instead.'));
      history.replaceState(null, '', window.location.pathname + window.location.search);
    }
  }
  if (stored) return { files: stored.files, active: stored.active, program: stored };
  try {
    const first = (await loadExamples()).programs[0];
    return { files: first.files, active: first.files[0].name, program: { id: null, name: first.name, version: 0 } };
  } catch (e) {
    tell('examples', `The examples could not be loaded (${e.message})`);
    return { files: FALLBACK, active: 'main.cpp', program: { id: null, name: 'program', version: 0 } };
  }
}

// ------------------------------------------------------------------ saving

let saveTimer = null;
function saveNow() {
  clearTimeout(saveTimer);
  saveTimer = null;
  let saved;
  try {
    saved = saveProgram({ ...shown, files: editor.getFiles(), active: editor.activeFile() });
  } catch (e) {
    tell('storage', `This program cannot be kept in this browser (${e.message}): download it to keep it` +
         (shown.id ? '. What is kept is its text from before.' : '.'));
    return;
  }
  tell('storage', '');
  tell('other-tab', '');
  if (saved.forked) {
    tell('forked', `"${shown.name}" was changed in another tab meanwhile: this tab's text is kept as a program ` +
         `of its own, "${saved.name}" (both are in Programs).`);
  }
  shown = { id: saved.id, name: saved.name, version: saved.version };
  rememberOpen(saved.id);
  renderPrograms();
}
function changed() {
  tell('link', '');  // a broken link's line, once the person goes on
  if (fromLink) {  // an edited program is no longer the link's: a reload shows the edit
    fromLink = false;
    history.replaceState(null, '', window.location.pathname + window.location.search);
    $('share-box').hidden = true;
  }
  clearTimeout(saveTimer);
  saveTimer = setTimeout(saveNow, 400);
}

// Another tab saved the program this tab shows: this tab's next save keeps its
// text as a program of its own; the person may take the other tab's text now.
window.addEventListener('storage', (e) => {
  if (e.key && e.key.startsWith('tavlo-playground-program:')) renderPrograms();
  if (!shown.id || e.key !== `tavlo-playground-program:${shown.id}` || e.newValue === null) return;
  tell('other-tab', `"${shown.name}" was changed in another tab.`, {
    label: 'Show that version',
    run: () => {
      const program = readProgram(shown.id);
      if (!program || program.error) return;
      tell('other-tab', '');
      openStored(program);
    },
  });
});

// ------------------------------------------------------------------ the editor and its tabs

const first = await firstProgram();
const editor = createEditor({ parent: $('editor'), onChange: changed, onRun: () => run() });
editor.setFiles(first.files, first.active);
shown = { id: first.program.id, name: first.program.name, version: first.program.version };
rememberOpen(shown.id);
editor.focus();
if (first.replaced && !sameProgram(first.replaced.files, first.files)) offerBack(first.replaced, 'The link\'s program');

// Keys typed in the editor, its tabs and the controls are theirs: the program's
// windows take keys from the document, and must see none of these.
for (const part of [document.querySelector('.code'), document.querySelector('header'), $('share-box')]) {
  for (const kind of ['keydown', 'keyup', 'keypress']) part.addEventListener(kind, (e) => e.stopPropagation());
}

function renderTabs() {
  const bar = $('tabs');
  bar.textContent = '';
  for (const name of editor.names()) {
    const tab = document.createElement('span');
    tab.className = 'tab' + (name === editor.activeFile() ? ' active' : '');
    tab.setAttribute('role', 'tab');
    tab.setAttribute('aria-selected', String(name === editor.activeFile()));
    tab.dataset.name = name;
    const label = document.createElement('button');
    label.type = 'button';
    label.className = 'tab-name';
    label.textContent = name;
    label.title = 'Double-click to rename';
    label.addEventListener('click', () => {  // the tabs stay in place, so a double click reaches them
      if (name === editor.activeFile()) return;
      editor.select(name);
      markActiveTab();
      changed();
      editor.focus();
    });
    label.addEventListener('dblclick', () => rename(tab, name));
    tab.appendChild(label);
    if (editor.names().length > 1) {
      const close = document.createElement('button');
      close.type = 'button';
      close.className = 'tab-close';
      close.textContent = '\u00d7';
      close.title = `Close ${name}`;
      close.addEventListener('click', () => closeTab(name));
      tab.appendChild(close);
    }
    bar.appendChild(tab);
  }
}

function markActiveTab() {
  for (const tab of document.querySelectorAll('#tabs .tab')) {
    const active = tab.dataset.name === editor.activeFile();
    tab.classList.toggle('active', active);
    tab.setAttribute('aria-selected', String(active));
  }
}

// A file name typed into the tab; Enter (or leaving it) takes it, Escape keeps the old one.
function rename(tab, name) {
  const input = document.createElement('input');
  input.value = name;
  input.setAttribute('aria-label', 'File name');
  tab.textContent = '';
  tab.appendChild(input);
  input.focus();
  input.select();
  let done = false;
  const finish = (take) => {
    if (done) return;
    done = true;
    const wanted = input.value.trim();
    $('tabs-note').textContent = '';
    if (take && wanted !== name) {
      // Said beside the tabs: the status line is the runtime's too.
      const problem = nameProblem(wanted, editor.names().filter((n) => n !== name));
      if (problem) $('tabs-note').textContent = `${wanted}: ${problem}; the file keeps its name ${name}`;
      else { editor.renameFile(name, wanted); changed(); }
    }
    renderTabs();
    editor.focus();
  };
  input.addEventListener('keydown', (e) => {
    // The key is the name's: the editor, focused by finish, must not get its newline.
    if (e.key === 'Enter' || e.key === 'Escape') e.preventDefault();
    if (e.key === 'Enter') finish(true);
    else if (e.key === 'Escape') finish(false);
  });
  input.addEventListener('blur', () => finish(true));
}

function addTab() {
  let n = 1;
  while (editor.names().includes(`file${n}.h`)) ++n;
  editor.addFile(`file${n}.h`, '');
  changed();
  renderTabs();
  rename(document.querySelector(`.tab[data-name="file${n}.h"]`), `file${n}.h`);
}

function closeTab(name) {
  const text = editor.getFiles().find((f) => f.name === name).text;
  if (text.trim() && !window.confirm(`Close ${name}? Its text is dropped.`)) return;
  editor.closeFile(name);
  changed();
  renderTabs();
}

// The person's program that an example or a link took the place of stays
// stored; a line says so, with a button that opens it again.
function offerBack(program, why) {
  tell('replaced', `${why} is open; your program "${program.name}" (${program.files.map((f) => f.name).join(', ')}) ` +
       'is kept in Programs.', {
    label: 'Bring it back',
    run: () => {
      tell('replaced', '');
      const again = readProgram(program.id);
      if (again && !again.error) openStored(again);
    },
  });
}

// Puts an example or a link's program in the editor, as a program not stored
// until edited; the program shown before is saved first and offered back.
function openUnstored(files, name, why) {
  if (saveTimer !== null) saveNow();
  if (shown.id) {
    const before = readProgram(shown.id);
    if (before && !before.error && !sameProgram(before.files, files)) offerBack(before, why);
  }
  shown = { id: null, name, version: 0 };
  rememberOpen(null);
  putInEditor(files, files[0].name);
}

// A stored program in the editor, as this tab's.
function openStored(program) {
  if (saveTimer !== null) saveNow();
  shown = { id: program.id, name: program.name, version: program.version };
  rememberOpen(program.id);
  putInEditor(program.files, program.active);
  renderPrograms();
}

function putInEditor(files, active) {
  editor.setFiles(files, active);
  setDiagnostics([]);
  renderTabs();
}

// A whole program in place of the one shown (the tests' and the runtime's
// checks' way in): an edit of the program shown.
function showProgram(files, active) {
  putInEditor(files, active);
  changed();
}

renderTabs();
$('add-file').addEventListener('click', addTab);

// ------------------------------------------------------------------ the person's programs

// The Programs menu: a new program, and each stored program (the one shown
// marked); one that cannot be read is listed so, and opening it says why.
const programsMenu = $('programs');
function renderPrograms() {
  let programs = [];
  try { programs = listPrograms(); } catch (e) { /* storage off: only New */ }
  programsMenu.textContent = '';
  const add = (value, label, title = '') => {
    const option = document.createElement('option');
    option.value = value;
    option.textContent = label;
    option.title = title;
    programsMenu.appendChild(option);
  };
  add('', 'Programs\u2026');
  add('new', 'New program');
  for (const p of programs) {
    add(`id:${p.id}`, `${p.id === shown.id ? '\u2022 ' : ''}${p.name}${p.error ? ' (cannot be opened)' : ''}`,
        p.error || `last changed ${new Date(p.modified).toLocaleString()}`);
  }
  programsMenu.value = '';
}
programsMenu.addEventListener('change', () => {
  const value = programsMenu.value;
  programsMenu.value = '';
  if (value === 'new') {
    openUnstored(FALLBACK, 'program', 'A new program');
    say('a new program: it is kept once you type');
  } else if (value.startsWith('id:')) {
    const program = readProgram(value.slice(3));
    if (!program) say('that program is no longer stored');
    else if (program.error) tellUnreadable(program);
    else if (program.id !== shown.id) openStored(program);
  }
  editor.focus();
});
renderPrograms();

// ------------------------------------------------------------------ diagnostics

function setDiagnostics(diagnostics) {
  diagnosticsList.textContent = '';
  editor.setMarks(diagnostics);
  for (const d of diagnostics) {
    const item = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.className = d.severity || 'error';
    // A linker's message may name a file without a line, or nothing at all.
    const where = d.file && d.line ? `${d.file}:${d.line}:${d.column || 1}: ` : d.file ? `${d.file}: ` : '';
    const message = where && d.message.startsWith(`${d.file}: `) ? d.message.slice(d.file.length + 2) : d.message;
    button.textContent = `${where}${d.severity ? d.severity + ': ' : ''}${message}`;
    if (!d.file) button.disabled = true;
    button.addEventListener('click', () => {
      if (!editor.jumpTo(d.file, d.line || 1, d.column || 1)) say(`${d.file} is not one of the program's files`);
      else markActiveTab();
    });
    item.appendChild(button);
    diagnosticsList.appendChild(item);
  }
}

// ------------------------------------------------------------------ the runtime

let runBlocked = '';  // why programs cannot run here ('' when they can)
function blockRun(reason) {
  runBlocked = reason;
  runButton.disabled = true;
  runButton.title = reason;
  stopButton.disabled = true;
}
if (options.unknown.length) {
  const text = `Programs are not started: unknown URL parameter${options.unknown.length > 1 ? 's' : ''} ` +
               options.unknown.map((n) => `"${n}"`).join(', ') + `; the parameters are ${OPTIONS.join(', ')}.`;
  tell('options', text);
  blockRun(text);
}

function runtimeFailed(what, error) {
  const text = `${what}: ${error && error.message ? error.message : String(error)}`;
  say(text);
  write('stderr', text + '\n');
  return text;
}

function showProgress({ loaded, total }) {
  progress.hidden = false;
  if (total > 0) progress.value = Math.min(1, loaded / total);
  else progress.removeAttribute('value');
  const mb = (n) => (n / 1048576).toFixed(1);
  progress.title = `loading the compiler: ${mb(loaded)} MB${total > 0 ? ` of ${mb(total)} MB` : ''}`;
}

function exited({ code, reason, file, line }) {
  // The end of a program that a new Run replaced leaves Stop for the new one.
  stopButton.disabled = !(window.tavloPlayground && window.tavloPlayground.running);
  const text = !reason ? `the program ended with exit code ${code}`
    : reason.startsWith('the program') ? reason : `the program ended: ${reason}`;
  write('exit', `\n\u2014 ${text} \u2014\n`);
  say(text);
  // A trap at a line of the program: listed and marked there, as a compiler's message is.
  if (file && line) setDiagnostics([{ file, line, column: 1, severity: 'error', message: text }]);
}

async function loadRuntime() {
  // Let the editor paint first: nothing of the runtime's may delay it.
  await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
  let runtime;
  try {
    runtime = await import('../runtime/playground_runtime.js');
  } catch (e) {
    blockRun(runtimeFailed('The runtime could not be loaded', e));
    return null;
  }
  const unsupported = runtime.browserSupport();
  if (unsupported) {
    tell('browser', unsupported);
    if (!runBlocked) blockRun(unsupported);
    return null;
  }
  let pg;
  try {
    pg = runtime.createPlayground({
      desktop: $('desktop'),
      onStatus: say,
      onProgress: showProgress,
      onOutput: (stream, text) => write(stream === 'stderr' ? 'stderr' : 'stdout', text),
      onExit: exited,
      onFiles: renderFiles,
    });
  } catch (e) {
    blockRun(runtimeFailed('The runtime could not start', e));
    return null;
  }
  window.tavloPlayground = pg;
  Promise.resolve(pg.ready).then(() => { progress.hidden = true; },
                                 (e) => { progress.hidden = true; runtimeFailed('The compiler could not be loaded', e); });
  return pg;
}
const runtimeLoaded = loadRuntime();
runtimeLoaded.then(async (pg) => { if (pg) renderFiles(await pg.files()); });

// ------------------------------------------------------------------ the program's folder

// Every file of the programs' folder with its size, a download and a delete.
function renderFiles(list) {
  const ul = $('file-list');
  ul.textContent = '';
  const size = (n) => (n < 1024 ? `${n} bytes` : n < 1048576 ? `${(n / 1024).toFixed(1)} KB` : `${(n / 1048576).toFixed(1)} MB`);
  for (const [name, file] of Object.entries(list)) {
    const li = document.createElement('li');
    li.dataset.name = name;
    const label = document.createElement('span');
    label.className = 'name';
    label.textContent = name;
    label.title = `${name}, ${size(file.size)}, ${new Date(file.mtime).toLocaleString()}`;
    const bytes = document.createElement('span');
    bytes.className = 'size';
    bytes.textContent = size(file.size);
    const download = document.createElement('button');
    download.type = 'button';
    download.className = 'download';
    download.textContent = 'Download';
    download.addEventListener('click', async () => {
      const pg = await runtimeLoaded;
      if (pg && !(await pg.downloadFile(name))) say(`${name} could not be read from the browser's storage`);
    });
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.className = 'delete';
    remove.textContent = 'Delete';
    remove.addEventListener('click', async () => {
      if (!window.confirm(`Delete ${name} (${size(file.size)})? It cannot be brought back.`)) return;
      const pg = await runtimeLoaded;
      if (!pg) return;
      const refused = await pg.deleteFile(name);
      say(refused || `${name} is deleted`);
    });
    li.append(label, bytes, download, remove);
    ul.appendChild(li);
  }
  $('files').querySelector('summary').textContent = `Files (${Object.keys(list).length})`;
}

// ------------------------------------------------------------------ run, stop

let runs = 0;  // a newer Run (or Stop) makes an older Run's answer stale
let stoppedRun = -1;  // the value of runs that Stop left
let building = 0;     // Runs waiting for the compiler
async function run() {
  if (runBlocked) { say(runBlocked); return; }
  const generation = ++runs;
  clearConsole();
  setDiagnostics([]);
  say('starting');
  const pg = await runtimeLoaded;
  if (generation !== runs) return;
  if (!pg) { say(runBlocked || 'The runtime is not loaded'); return; }
  stopButton.disabled = false;
  let result;
  ++building;
  try {
    result = await pg.run(editor.getFiles(), { args: options.args });
  } catch (e) {
    if (generation === runs) { stopButton.disabled = !pg.running; runtimeFailed('Run failed', e); }
    return;
  } finally {
    --building;
  }
  if (generation !== runs) {
    // Stop was pressed while this program was compiled, and no Run since: the
    // program the runtime started after all is ended.
    if (result.ok && stoppedRun === runs && pg.running) pg.stop();
    return;
  }
  stopButton.disabled = !pg.running;
  setDiagnostics(result.diagnostics || []);
  if (!result.ok) {
    stopButton.disabled = true;
    if (result.log) write('stderr', result.log.endsWith('\n') ? result.log : result.log + '\n');
    const count = (kind) => (result.diagnostics || []).filter((d) => (d.severity || 'error') === kind).length;
    const errors = count('error'), warnings = count('warning');
    say(`not run: ${errors} error${errors === 1 ? '' : 's'}` +
        (warnings ? `, ${warnings} warning${warnings === 1 ? '' : 's'}` : '') +
        (errors ? '' : ' listed; the compiler or linker said why in the output pane'));
  }
}

runButton.addEventListener('click', () => run());
stopButton.addEventListener('click', async () => {
  stoppedRun = ++runs;
  stopButton.disabled = true;
  const pg = await runtimeLoaded;
  if (!pg) return;
  try { pg.stop(); } catch (e) { runtimeFailed('Stop failed', e); }
  if (building) say('stopped: the program will not start');
});

// ------------------------------------------------------------------ examples

const examplesMenu = $('examples');
loadExamples().then(({ programs }) => {
  for (const p of programs) {
    const option = document.createElement('option');
    option.value = p.name;
    option.textContent = p.files.length > 1 ? `${p.title} (${p.files.length} files)` : p.title;
    option.title = p.description;
    examplesMenu.appendChild(option);
  }
}, (e) => tell('examples', `The examples could not be loaded (${e.message})`));
examplesMenu.addEventListener('change', () => {
  const chosen = examples && examples.programs.find((p) => p.name === examplesMenu.value);
  examplesMenu.value = '';
  if (!chosen) return;
  openUnstored(chosen.files, chosen.name, `The example ${chosen.title}`);
  say(`${chosen.title}: ${chosen.description}`);
  editor.focus();
});

// ------------------------------------------------------------------ share, download

const LINK_LIMIT = 2000000;  // characters of an address Chromium opens
$('share').addEventListener('click', async () => {
  let url;
  try {
    url = `${window.location.origin}${window.location.pathname}${window.location.search}#code=` +
          await encodeLink(editor.getFiles());
  } catch (e) {
    say(`The link could not be made: ${e.message}`);
    return;
  }
  if (url.length > LINK_LIMIT) {
    say(`The program is too large for a link (${url.length} characters; browsers take ${LINK_LIMIT}): download it instead`);
    return;
  }
  saveNow();
  history.replaceState(null, '', url);
  fromLink = true;
  const field = $('share-link');
  field.value = url;
  $('share-box').hidden = false;
  field.focus();
  field.select();
  try {
    await navigator.clipboard.writeText(url);
    say(`The link (${url.length} characters) is in the clipboard and the address bar`);
  } catch (e) {
    say(`The link (${url.length} characters) is in the address bar and shown above: copy it from there`);
  }
});

// A link pasted into this tab's address bar (only the fragment changes: no reload).
window.addEventListener('hashchange', async () => {
  const code = linkCode();
  if (code === null) return;
  try {
    const files = await decodeLink(code);
    openUnstored(files, baseName(files), 'The link\'s program');
    fromLink = true;
    tell('link', '');
  } catch (e) {
    tell('link', `This link's program cannot be opened: ${e.message}. The program shown is kept.`);
    history.replaceState(null, '', window.location.pathname + window.location.search);
  }
});

function saveFile(blob, name) {
  const a = document.createElement('a');
  a.href = URL.createObjectURL(blob);
  a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

$('download').addEventListener('click', () => {
  const files = editor.getFiles();
  if (files.length === 1) saveFile(new Blob([files[0].text], { type: 'text/plain' }), files[0].name);
  else saveFile(zipArchive(files), 'program.zip');
});

$('script-download').addEventListener('click', async () => {
  const pg = await runtimeLoaded;
  if (!pg) { say(runBlocked || 'the runtime is not loaded'); return; }
  try { await pg.downloadScript(); } catch (e) { runtimeFailed('TAVLO.SCR could not be saved', e); }
});
$('script-load').addEventListener('change', async (e) => {
  const file = e.target.files[0];
  e.target.value = '';
  const pg = await runtimeLoaded;
  if (!file) return;
  if (!pg) { say(runBlocked || 'the runtime is not loaded'); return; }
  try {
    say(await pg.loadScript(file));
  } catch (err) {
    runtimeFailed('TAVLO.SCR was not loaded', err);
  }
});

window.addEventListener('pagehide', () => { if (saveTimer !== null) saveNow(); });

// For tests and the runtime's own checks: the program in the editor.
window.tavloEditor = {
  getFiles: () => editor.getFiles(),
  setFiles: (files, active) => showProgram(files, active || files[0].name),
  activeFile: () => editor.activeFile(),
};
