// The playground's page: the program's files in the editor's tabs, the buttons,
// the compiler's messages, the program's output, and the runtime
// (runtime/playground_runtime.js), which compiles, links and runs the program
// and draws its windows on the desktop.
//
// The editor comes first and never waits for the runtime: the runtime module is
// imported once the editor is on the page, and the compiler loads in the
// background while the person types.
import { createEditor } from '../editor.js';
import { nameProblem, loadStored, store, encodeLink, decodeLink, zipArchive, urlOptions, OPTIONS }
  from './program.js';

const $ = (id) => document.getElementById(id);
const runButton = $('run'), stopButton = $('stop'), consolePane = $('console'), diagnosticsList = $('diagnostics');
const statusLine = $('status'), notice = $('notice'), progress = $('progress');

function say(text) { statusLine.textContent = text; statusLine.title = text; }
// Lines that must stay until their cause goes (the status line is the runtime's
// too): each has a key, and '' takes it away.
// A line may offer one action: {label, run}.
const notices = new Map();
function tell(key, text, action = null) {
  if (text) notices.set(key, { text, action });
  else notices.delete(key);
  notice.textContent = '';
  for (const [, line] of notices) {
    const div = document.createElement('div');
    div.textContent = line.text;
    if (line.action) {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = line.action.label;
      button.addEventListener('click', line.action.run);
      div.append(' ', button);
    }
    notice.appendChild(div);
  }
  notice.hidden = notices.size === 0;
}

// ------------------------------------------------------------------ console

const CONSOLE_LIMIT = 200000;  // characters kept; a program printing without end drops its oldest
let consoleLength = 0;

function write(stream, text) {
  const atEnd = consolePane.scrollTop + consolePane.clientHeight >= consolePane.scrollHeight - 4;
  const last = consolePane.lastChild;
  if (last && last.className === stream) last.textContent += text;
  else {
    const span = document.createElement('span');
    span.className = stream;
    span.textContent = text;
    consolePane.appendChild(span);
  }
  consoleLength += text.length;
  if (consoleLength > CONSOLE_LIMIT && !consolePane.querySelector('.dropped')) {
    const dropped = document.createElement('span');
    dropped.className = 'dropped';
    dropped.textContent = `[the output's start is dropped: the pane keeps its last ${CONSOLE_LIMIT} characters]\n`;
    consolePane.insertBefore(dropped, consolePane.firstChild);
  }
  while (consoleLength > CONSOLE_LIMIT) {
    const first = consolePane.firstChild.nextSibling;  // after the note that the start is dropped
    const cut = Math.min(first.textContent.length, consoleLength - CONSOLE_LIMIT);
    if (cut >= first.textContent.length) consolePane.removeChild(first);
    else first.textContent = first.textContent.slice(cut);
    consoleLength -= cut;
  }
  if (atEnd) consolePane.scrollTop = consolePane.scrollHeight;
}
function clearConsole() { consolePane.textContent = ''; consoleLength = 0; }

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

// The program to show first: a link's, else the stored one, else the first example.
async function firstProgram() {
  const stored = loadStored();
  if (stored && stored.error) tell('storage', `${stored.error}; an example is shown instead`);
  const code = linkCode();
  if (code !== null) {
    try {
      const files = await decodeLink(code);
      fromLink = true;
      return { files, active: files[0].name, replaced: stored && stored.files ? stored : null };
    } catch (e) {
      tell('link', `This link's program cannot be opened: ${e.message}. ` +
           (stored && stored.files ? 'Your stored program is shown instead.' : 'An example is shown instead.'));
      history.replaceState(null, '', window.location.pathname + window.location.search);
    }
  }
  if (stored && stored.files) return stored;
  try {
    const first = (await loadExamples()).programs[0];
    return { files: first.files, active: first.files[0].name };
  } catch (e) {
    tell('examples', `The examples could not be loaded (${e.message})`);
    return { files: FALLBACK, active: 'main.cpp' };
  }
}

// ------------------------------------------------------------------ saving

let saveTimer = null;
function saveNow() {
  clearTimeout(saveTimer);
  saveTimer = null;
  try {
    store(editor.getFiles(), editor.activeFile());
    tell('storage', '');
  } catch (e) {
    tell('storage', `The program could not be kept in this browser's storage (${e.message}): download it to keep it`);
  }
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

// ------------------------------------------------------------------ the editor and its tabs

const first = await firstProgram();
const editor = createEditor({ parent: $('editor'), onChange: changed, onRun: () => run() });
editor.setFiles(first.files, first.active);
editor.focus();
if (first.replaced && !sameProgram(first.replaced.files, first.files)) {
  loadExamples().catch(() => null).then(() => offerBack(first.replaced.files, first.replaced.active, 'The link\'s program'));
}

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

// A program replaced by an example or a link is kept until the page is left,
// with a button that brings it back, unless it is one of the examples as they
// are (nothing of the person's is lost then).
function offerBack(files, active, why) {
  if (examples && examples.programs.some((p) => sameProgram(p.files, files))) return;
  tell('replaced', `${why} replaced your program (${files.map((f) => f.name).join(', ')}).`, {
    label: 'Bring it back',
    run: () => { tell('replaced', ''); showProgram(files, active); },
  });
}
function replaceProgram(files, active, why) {
  const current = editor.getFiles();
  if (!sameProgram(current, files)) offerBack(current, editor.activeFile(), why);
  showProgram(files, active);
}

// A whole program in place of the one shown.
function showProgram(files, active) {
  editor.setFiles(files, active);
  setDiagnostics([]);
  renderTabs();
  changed();
}

renderTabs();
$('add-file').addEventListener('click', addTab);

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

function exited({ code, reason }) {
  // The end of a program that a new Run replaced leaves Stop for the new one.
  stopButton.disabled = !(window.tavloPlayground && window.tavloPlayground.running);
  const text = reason ? `the program ended: ${reason}` : `the program ended with exit code ${code}`;
  write('exit', `\n\u2014 ${text} \u2014\n`);
  say(text);
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
  replaceProgram(chosen.files, chosen.files[0].name, `The example ${chosen.title}`);
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
    fromLink = false;  // the address holds the new link: showing it must not drop it
    replaceProgram(files, files[0].name, 'The link\'s program');
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
    const text = await pg.loadScript(file);
    say(typeof text === 'string' && text ? text : `${file.name} is now TAVLO.SCR`);
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
