// The playground's page: the program's files in the editor's tabs, the
// buttons, the compiler's messages, the program's output, and the runtime,
// which compiles, links and runs the program and draws its windows on the
// desktop. Each part owns its state (console.js the output pane, lines.js the
// status and notices, programs.js the program and the person's programs,
// share.js links and downloads, run.js the runtime); this module joins them.
//
// The editor comes first and never waits for the runtime: the runtime module is
// imported once the editor is on the page, and the compiler loads in the
// background while the person types.
import { createEditor } from '../editor.js';
import { refusalText, urlOptions } from '../runtime/page_options.js';
import { createConsole } from './console.js';
import { createLines } from './lines.js';
import { listPrograms } from './program.js';
import { createPrograms } from './programs.js';
import { createRun } from './run.js';
import { createShare } from './share.js';
import { showReference } from './reference_list.js';
import { openTask } from './task.js';

const $ = (id) => document.getElementById(id);
const lines = createLines({ status: $('status'), notice: $('notice') });
const output = createConsole($('console'));

let examplesLoading = null;  // {programs: [{name, title, description, files}]}
const examples = () => {
  examplesLoading ??= fetch('examples.json').then((response) => {
    if (!response.ok) throw new Error(`examples.json: HTTP ${response.status}`);
    return response.json();
  });
  return examplesLoading;
};

// tavlo.h's calls and names (reference.json): completion, hover, the Help list
// and the hints under compiler messages.
let referenceLoading = null;
const reference = () => {
  referenceLoading ??= fetch('reference.json').then((response) => {
    if (!response.ok) throw new Error(`reference.json: HTTP ${response.status}`);
    return response.json();
  });
  return referenceLoading;
};

let programs = null, share = null, running = null;
const editor = createEditor({
  parent: $('editor'),
  reference,
  onChange: () => programs.changed(),
  onRun: () => running.run(),
});
programs = createPrograms({
  editor,
  lines,
  examples,
  elements: { tabs: $('tabs'), tabsNote: $('tabs-note'), addFile: $('add-file'), programsMenu: $('programs'),
              examplesMenu: $('examples'), openFile: $('open-file') },
  onShown: () => running && running.clearDiagnostics(),
  onEdited: () => share.edited(),
});
share = createShare({
  editor,
  programs,
  lines,
  elements: { share: $('share'), shareBox: $('share-box'), shareLink: $('share-link'), download: $('download') },
});

let storedProgram = false;
try { storedProgram = listPrograms().some((p) => !p.error); } catch (e) { /* storage off */ }
await programs.showFirst(await share.linkedProgram(storedProgram));
editor.focus();

// Keys typed in the editor, its tabs and the controls are theirs: the program's
// windows take keys from the document, and must see none of these.
for (const part of [document.querySelector('.code'), document.querySelector('header'), $('share-box')]) {
  for (const kind of ['keydown', 'keyup', 'keypress']) part.addEventListener(kind, (e) => e.stopPropagation());
}

showReference($('reference-list'), reference);

// The page's own parameter: task=FOLDER opens a teacher's task (task.js).
const options = urlOptions(window.location.search, ['task']);
const blocked = options.unknown.length ? refusalText(options.unknown, 'Programs are not started', ['task']) : '';
if (blocked) lines.tell('options', blocked);
running = createRun({
  editor,
  programs,
  lines,
  console: output,
  args: options.args,
  blocked,
  reference,
  elements: { run: $('run'), stop: $('stop'), progress: $('progress'), diagnostics: $('diagnostics'),
              desktop: $('desktop'), fileList: $('file-list'), files: $('files'),
              scriptDownload: $('script-download'), scriptLoad: $('script-load') },
});

if (options.page.task) {
  openTask({
    value: options.page.task,
    elements: { panel: $('task'), title: $('task-title'), text: $('task-text'), check: $('task-check'),
                verdict: $('task-verdict'), results: $('task-results') },
    programs,
    editor,
    lines,
    runtime: running.runtime,
    showDiagnostics: running.showDiagnostics,
  });
}
