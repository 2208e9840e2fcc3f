// Running the program: the runtime (runtime/playground_runtime.js, loaded once
// the editor is on the page, so nothing of it delays typing), Run and Stop, the
// compiler's messages listed and marked, the program's output and end, and the
// programs' folder (the Files panel, and the buttons for TAVLO.SCR, the file the
// package records and plays back).
import { hintFor, hintForOutput } from './hints.js';

const SCRIPT = 'TAVLO.SCR';

const size = (n) => (n < 1024 ? `${n} bytes` : n < 1048576 ? `${(n / 1024).toFixed(1)} KB`
  : `${(n / 1048576).toFixed(1)} MB`);

// options: {editor, programs, lines: {say, tell}, console: {write, clear},
// args: the program's arguments, blocked: why programs cannot run ('' when they
// can), elements: {run, stop, progress, diagnostics, desktop, fileList, files,
// scriptDownload, scriptLoad}, reference(): Promise of tavlo.h's names (the
// hints under compiler messages)}.
export function createRun({ editor, programs, lines, console, args, blocked, elements, reference }) {
  const { say, tell } = lines;
  let runBlocked = '';
  function blockRun(reason) {
    runBlocked = reason;
    elements.run.disabled = true;
    elements.run.title = reason;
    elements.stop.disabled = true;
  }
  if (blocked) blockRun(blocked);

  function runtimeFailed(what, error) {
    const text = `${what}: ${error && error.message ? error.message : String(error)}`;
    say(text);
    console.write('stderr', `${text}\n`);
    return text;
  }

  // ---------------------------------------------------------------- messages

  // The compiler's messages (or a trap's line), then the package's repairs of
  // calls the running program made, each at the line that made the call.
  let listed = [], repairs = [];
  function setDiagnostics(diagnostics) {
    listed = diagnostics;
    showDiagnostics();
  }
  function showDiagnostics() {
    const diagnostics = [...listed, ...repairs];
    elements.diagnostics.textContent = '';
    editor.setMarks(diagnostics);
    for (const d of diagnostics) {
      const item = document.createElement('li');
      const button = document.createElement('button');
      button.type = 'button';
      button.className = d.severity || 'error';
      // A linker's message may name a file without a line, or nothing at all.
      const where = d.file && d.line ? `${d.file}:${d.line}:${d.column || 1}: ` : d.file ? `${d.file}: ` : '';
      const message = where && d.message.startsWith(`${d.file}: `) ? d.message.slice(d.file.length + 2) : d.message;
      button.textContent = `${where}${d.severity ? `${d.severity}: ` : ''}${message}`;
      if (!d.file) button.disabled = true;
      button.addEventListener('click', () => showPlace(d));
      item.appendChild(button);
      elements.diagnostics.appendChild(item);
      addHint(item, d);
    }
  }

  function showPlace(d) {
    if (!editor.jumpTo(d.file, d.line || 1, d.column || 1)) say(`${d.file} is not one of the program's files`);
    else programs.showTabs();
  }

  // A line of the package's about a call it repaired ("Illegal color 30; using
  // RED."): in the output pane with the place the program made the call, a
  // click there shows it, and listed with the compiler's messages (as a
  // warning, marked in the editor). The first REPAIRS_LISTED are listed.
  const REPAIRS_LISTED = 20;
  function repaired(text, { file, line }) {
    const message = text.replace(/\n$/, '');
    if (!file || !line) {
      console.write('repair', `${message}\n`);
      return;
    }
    // Marked from the line's first word: its indentation is not the call.
    const source = editor.getFiles().find((f) => f.name === file);
    const lineText = source ? source.text.split('\n')[line - 1] || '' : '';
    const d = { file, line, column: lineText.length - lineText.trimStart().length + 1, severity: 'warning', message };
    console.write('repair', `${file}:${line}: ${message}\n`, () => showPlace(d));
    if (repairs.length < REPAIRS_LISTED) {
      repairs.push(d);
      showDiagnostics();
    }
  }

  // Plain words under a message where a beginner's mistake is likely (hints.js).
  async function addHint(item, diagnostic) {
    if (!reference || (diagnostic.severity && diagnostic.severity !== 'error')) return;
    const entries = await reference().catch(() => null);
    if (!entries || !item.isConnected) return;
    const file = editor.getFiles().find((f) => f.name === diagnostic.file);
    const lineText = file && diagnostic.line >= 1 ? file.text.split('\n')[diagnostic.line - 1] ?? null : null;
    const hint = hintFor(diagnostic, entries, lineText);
    if (!hint) return;
    const words = document.createElement('p');
    words.className = 'hint';
    words.textContent = hint;
    item.appendChild(words);
  }

  // ---------------------------------------------------------------- the runtime

  function showProgress({ loaded, total }) {
    const progress = elements.progress;
    progress.hidden = false;
    if (total > 0) progress.value = Math.min(1, loaded / total);
    else progress.removeAttribute('value');
    const mb = (n) => (n / 1048576).toFixed(1);
    progress.title = `loading the compiler: ${mb(loaded)} MB${total > 0 ? ` of ${mb(total)} MB` : ''}`;
  }

  let pg = null;
  function exited({ code, reason, file, line }) {
    // The end of a program that a new Run replaced leaves Stop for the new one.
    elements.stop.disabled = !(pg && pg.running);
    const text = !reason ? `the program ended with exit code ${code}`
      : reason.startsWith('the program') ? reason : `the program ended: ${reason}`;
    console.write('exit', `\n\u2014 ${text} \u2014\n`);
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
    try {
      pg = runtime.createPlayground({
        desktop: elements.desktop,
        onStatus: say,
        onProgress: showProgress,
        onOutput: (stream, text, place) => {
          if (stream === 'repair') { repaired(text, place || {}); return; }
          console.write(stream === 'stderr' ? 'stderr' : 'stdout', text);
          const hint = stream === 'stderr' ? hintForOutput(text) : '';
          if (hint) console.write('stderr', `${hint}\n`);
        },
        onExit: exited,
        onFiles: renderFiles,
      });
    } catch (e) {
      blockRun(runtimeFailed('The runtime could not start', e));
      return null;
    }
    Promise.resolve(pg.ready).then(() => { elements.progress.hidden = true; },
                                   (e) => { elements.progress.hidden = true; runtimeFailed('The compiler could not be loaded', e); });
    pg.files().then(renderFiles);
    return pg;
  }
  const runtimeLoaded = loadRuntime();

  // ---------------------------------------------------------------- Run, Stop

  let runs = 0;         // a newer Run (or Stop) makes an older Run's answer stale
  let stoppedRun = -1;  // the value of runs that Stop left
  let building = 0;     // Runs waiting for the compiler
  async function run() {
    if (runBlocked) { say(runBlocked); return; }
    const generation = ++runs;
    console.clear();
    repairs = [];
    setDiagnostics([]);
    say('starting');
    const loaded = await runtimeLoaded;
    if (generation !== runs) return;
    if (!loaded) { say(runBlocked || 'The runtime is not loaded'); return; }
    elements.stop.disabled = false;
    let result;
    ++building;
    try {
      result = await loaded.run(editor.getFiles(), { args });
    } catch (e) {
      if (generation === runs) {
        elements.stop.disabled = !loaded.running;
        runtimeFailed('Run failed', e);
      }
      return;
    } finally {
      --building;
    }
    if (generation !== runs) {
      // Stop was pressed while this program was compiled, and no Run since: the
      // program the runtime started after all is ended.
      if (result.ok && stoppedRun === runs && loaded.running) loaded.stop();
      return;
    }
    elements.stop.disabled = !loaded.running;
    setDiagnostics(result.diagnostics || []);
    if (!result.ok) {
      elements.stop.disabled = true;
      if (result.log) console.write('stderr', result.log.endsWith('\n') ? result.log : `${result.log}\n`);
      const count = (kind) => (result.diagnostics || []).filter((d) => (d.severity || 'error') === kind).length;
      const errors = count('error'), warnings = count('warning');
      say(`not run: ${errors} error${errors === 1 ? '' : 's'}` +
          (warnings ? `, ${warnings} warning${warnings === 1 ? '' : 's'}` : '') +
          (errors ? '' : ' listed; the compiler or linker said why in the output pane'));
    }
  }

  elements.run.addEventListener('click', () => run());
  elements.stop.addEventListener('click', async () => {
    stoppedRun = ++runs;
    elements.stop.disabled = true;
    const loaded = await runtimeLoaded;
    if (!loaded) return;
    try { loaded.stop(); } catch (e) { runtimeFailed('Stop failed', e); }
    if (building) say('stopped: the program will not start');
  });

  // ---------------------------------------------------------------- the folder

  // Every file of the programs' folder with its size, a download and a delete.
  function renderFiles(list) {
    const ul = elements.fileList;
    ul.textContent = '';
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
        if (!(await pg.downloadFile(name))) say(`${name} could not be read from the browser's storage`);
      });
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.className = 'delete';
      remove.textContent = 'Delete';
      remove.addEventListener('click', async () => {
        if (!window.confirm(`Delete ${name} (${size(file.size)})? It cannot be brought back.`)) return;
        say((await pg.deleteFile(name)) || `${name} is deleted`);
      });
      li.append(label, bytes, download, remove);
      ul.appendChild(li);
    }
    elements.files.querySelector('summary').textContent = `Files (${Object.keys(list).length})`;
  }

  elements.scriptDownload.addEventListener('click', async () => {
    const loaded = await runtimeLoaded;
    if (!loaded) { say(runBlocked || 'the runtime is not loaded'); return; }
    if (!(await loaded.downloadFile(SCRIPT))) say(`No ${SCRIPT} yet: record one with Run > Record Script (Ctrl+R)`);
  });
  elements.scriptLoad.addEventListener('change', async (e) => {
    const file = e.target.files[0];
    e.target.value = '';
    const loaded = await runtimeLoaded;
    if (!file) return;
    if (!loaded) { say(runBlocked || 'the runtime is not loaded'); return; }
    try {
      say(`${await loaded.loadFile(SCRIPT, file)}: play it with Run > Playback Script (Ctrl+P)`);
    } catch (err) {
      say(`${SCRIPT} was not loaded: ${err.message}: stop recording (Ctrl+R) or playback (Ctrl+P) first`);
    }
  });

  return { run, clearDiagnostics: () => { repairs = []; setDiagnostics([]); }, showDiagnostics: setDiagnostics,
           runtime: () => runtimeLoaded };
}
