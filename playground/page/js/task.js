// A teacher's task in the playground (the page's address names it:
// playground.html?task=tasks/house/): the exercise's title and text beside the
// editor, its starting program in the editor (or the person's own program for
// the task, kept under the task's name), and Check, which runs the person's
// program headless with the task's input plan and shows each check's verdict,
// for a failed picture the model's picture, the program's and the difference.
// The checks are the command line's (checking.js), so both give one verdict.
import { RUN_FILES, TaskError, checkName, evaluate, firstErrorLine, planText, readSummary, readTask, runArguments, runProblem,
         runSeconds } from './checking.js';
import { listPrograms, readProgram } from './program.js';
import { decodePng } from './png.js';

const decoder = new TextDecoder();

// The task's folder and file from the address's value: a folder ("tasks/house/",
// "tasks/house") or a task file ("tasks/house/task.json"), relative to the page.
export function taskLocation(value, page) {
  const file = /\.json$/i.test(value) ? new URL(value, page) : new URL(value.endsWith('/') ? `${value}task.json` : `${value}/task.json`, page);
  if (file.protocol !== 'http:' && file.protocol !== 'https:') throw new TaskError(`${value} is not a web address`);
  const folder = new URL('.', file);
  const name = folder.pathname.split('/').filter(Boolean).pop() || 'task';
  return { file, folder, name };
}

async function fetchOk(url, what) {
  let response;
  try {
    response = await fetch(url);
  } catch (error) {
    throw new TaskError(`${what} could not be fetched (${error.message})`);
  }
  if (!response.ok) throw new TaskError(`${what}: HTTP ${response.status}`);
  return response;
}

// The compiler's first error, as the command line names it.
function firstError(diagnostics, log) {
  const d = (diagnostics || []).find((x) => (x.severity || 'error') === 'error');
  if (d) return d.file && d.line ? `${d.file}:${d.line}:${d.column || 1}: error: ${d.message}` : d.message;
  return firstErrorLine(log);
}

// options: {value: the address's task value, elements: {panel, title, text,
// check, verdict, results}, programs (programs.js), editor, lines: {say, tell},
// runtime(): Promise of the playground runtime or null, showDiagnostics(list)}.
export async function openTask({ value, elements, programs, editor, lines, runtime, showDiagnostics }) {
  const { say, tell } = lines;
  const { panel, title, text, check, verdict, results } = elements;
  let place, task;
  try {
    place = taskLocation(value, window.location.href);
    const json = await (await fetchOk(place.file, `The task ${value}`)).json().catch((e) => {
      throw new TaskError(`The task ${value} is not JSON (${e.message})`);
    });
    task = readTask(json);
  } catch (error) {
    tell('task', error instanceof TaskError ? `${error.message}` : `The task ${value} could not be opened: ${error.message}`);
    return null;
  }
  panel.hidden = false;
  title.textContent = task.title;
  text.textContent = task.text;
  document.title = `${task.title}: TAVLO playground`;

  // The person's program for the task is kept under the task's name; the
  // starting program is shown until there is one.
  let own = null;
  try {
    own = listPrograms().find((p) => p.name === place.name && !p.error);
  } catch (error) { /* storage off: the starting program */ }
  const stored = own ? readProgram(own.id) : null;
  if (stored && !stored.error) {
    programs.openStored(stored);
    say(`${task.title}: your program "${stored.name}" is open`);
  } else if (typeof task.starter === 'string' && task.starter) {
    try {
      const starter = await (await fetchOk(new URL(task.starter, place.folder), `The task's program ${task.starter}`)).text();
      programs.openUnstored([{ name: task.starter.replace(/^.*\//, ''), text: starter }], place.name,
                            `The task "${task.title}"'s starting program`);
      say(`${task.title}: its starting program is open; it is kept as "${place.name}" once you type`);
    } catch (error) {
      tell('task', `${error.message}: write the program from the exercise's text`);
    }
  }

  const pictures = new Map();  // the task's stored pictures, fetched once
  const expected = (path) => {
    if (!pictures.has(path)) {
      pictures.set(path, fetchOk(new URL(path, place.folder), path)
        .then(async (response) => decodePng(new Uint8Array(await response.arrayBuffer())))
        .catch(() => null));
    }
    return pictures.get(path);
  };

  function show(outcome, checks) {
    results.textContent = '';
    const failed = checks.find((c) => !c.ok);
    panel.dataset.verdict = failed ? 'fail' : 'pass';
    verdict.className = failed ? 'fail' : 'pass';
    verdict.textContent = !failed ? `PASS: all ${checks.length} checks pass`
      : outcome ? `FAIL: ${outcome}` : `FAIL: ${failed.name}: ${failed.detail}`;
    for (const c of checks) {
      const item = document.createElement('li');
      item.dataset.ok = String(c.ok);
      item.dataset.name = c.name;
      const mark = document.createElement('strong');
      mark.className = c.ok ? 'pass' : 'fail';
      mark.textContent = c.ok ? 'pass' : 'FAIL';
      item.append(`${c.name}: `, mark, c.detail ? `: ${c.detail}` : '');
      if (c.pictures) item.appendChild(picturesOf(c.pictures));
      results.appendChild(item);
    }
  }

  async function runCheck() {
    const pg = await runtime();
    if (!pg) { say('The runtime is not loaded: programs cannot be checked'); return; }
    check.disabled = true;
    panel.dataset.verdict = 'checking';
    verdict.className = '';
    verdict.textContent = 'checking\u2026';
    results.textContent = '';
    try {
      const files = editor.getFiles();
      const seconds = runSeconds(task);
      const built = await pg.check(files, {
        args: runArguments(task),
        inputs: { [RUN_FILES.plan]: new TextEncoder().encode(planText(task)) },
        seconds,
      });
      showDiagnostics(built.diagnostics || []);
      if (!built.ok) {
        const reason = `does not compile: ${firstError(built.diagnostics, built.log)}`;
        show(reason, task.checks.map((c) => ({ name: checkName(c), ok: false, detail: reason })));
        return;
      }
      const ran = built.run;
      const { problem, taskFault } = runProblem(ran, seconds);
      const read = (name) => (ran.files[name] ? decoder.decode(ran.files[name]) : '');
      const checks = await evaluate(task, { problem, summary: readSummary(read(RUN_FILES.summary)), seconds: ran.seconds,
                                            log: read(RUN_FILES.log) }, {
        picture: async (at) => {
          const bytes = ran.files[at === 'end' ? RUN_FILES.end : RUN_FILES.tick(at)];
          return bytes ? decodePng(bytes).catch(() => null) : null;
        },
        expected,
      });
      show(problem, checks);
      if (taskFault) tell('task', 'The task\'s input plan is refused by the program\'s run: the task needs mending');
      say(panel.dataset.verdict === 'pass' ? `${task.title}: every check passes` : `${task.title}: a check fails`);
    } catch (error) {
      panel.dataset.verdict = 'error';
      verdict.className = 'fail';
      verdict.textContent = `The program could not be checked: ${error.message}`;
    } finally {
      check.disabled = false;
    }
  }
  check.addEventListener('click', () => runCheck());
  return { task, check: runCheck };
}

// The model's picture, the program's and the difference, side by side.
function picturesOf({ expected, actual, difference, region }) {
  const row = document.createElement('div');
  row.className = 'task-pictures';
  const figure = (caption, width, height, fill) => {
    const f = document.createElement('figure');
    const canvas = document.createElement('canvas');
    canvas.width = width;
    canvas.height = height;
    const context = canvas.getContext('2d');
    const image = context.createImageData(width, height);
    fill(image.data);
    context.putImageData(image, 0, 0);
    const words = document.createElement('figcaption');
    words.textContent = caption;
    f.append(canvas, words);
    row.appendChild(f);
  };
  const rgba = ({ width, height, rgb }) => (data) => {
    for (let i = 0, j = 0; i < width * height * 3; i += 3, j += 4) {
      data[j] = rgb[i]; data[j + 1] = rgb[i + 1]; data[j + 2] = rgb[i + 2]; data[j + 3] = 255;
    }
  };
  figure('expected (the model\'s)', expected.width, expected.height, rgba(expected));
  figure('your program\'s', actual.width, actual.height, rgba(actual));
  figure(`differing pixels in red${region ? ', the checked region\'s edge in blue' : ''}`, expected.width,
         expected.height, (data) => data.set(difference));
  return row;
}
