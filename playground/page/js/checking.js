// A teacher's task checked in the page, as the command line's checker does it
// (scripts/tavlo-check, docs/checks.md): the task read and refused with the
// same words, the program's headless run's options, the reason a run fails
// every check for, and each check's verdict with the same names and details.
// Nothing here touches the page: task.js shows it, the runtime runs programs.

export const TICK_MS = 50;
export const OUTPUT_CAP = 16 * 1024 * 1024;  // bytes of any one file a program writes, its output too

export const PALETTE = [
  ['black', [0, 0, 0]], ['white', [255, 255, 255]], ['red', [255, 0, 0]],
  ['green', [0, 255, 0]], ['blue', [0, 0, 255]], ['yellow', [255, 255, 0]],
  ['magenta', [255, 0, 255]], ['cyan', [0, 255, 255]], ['purple', [153, 0, 204]],
  ['navy blue', [0, 51, 153]], ['dusty plum', [153, 102, 153]], ['ice blue', [153, 255, 255]],
  ['turquoise', [153, 255, 204]], ['orange', [255, 102, 0]], ['brown', [153, 102, 51]],
  ['pink', [255, 153, 204]], ['chalk', [255, 255, 153]], ['gold', [204, 153, 51]],
  ['peach', [255, 153, 102]], ['forest green', [0, 102, 51]], ['sea green', [51, 204, 153]],
  ['olive', [153, 153, 51]], ['50% gray', [128, 128, 128]], ['20% gray', [204, 204, 204]],
];

export class TaskError extends Error {}

export function parseColor(value, where) {
  if (Number.isInteger(value) && value >= 0 && value < PALETTE.length) return PALETTE[value][1];
  if (typeof value === 'string') {
    const named = PALETTE.find(([name]) => name === value);
    if (named) return named[1];
    if (/^#[0-9a-fA-F]{6}$/.test(value)) return [1, 3, 5].map((i) => parseInt(value.slice(i, i + 2), 16));
  }
  throw new TaskError(`${where}: colour ${JSON.stringify(value)} is neither a palette name, 0..23 nor #rrggbb`);
}

export function colorName(rgb) {
  const named = PALETTE.find(([, c]) => c[0] === rgb[0] && c[1] === rgb[1] && c[2] === rgb[2]);
  return named ? named[0] : `#${rgb.map((v) => v.toString(16).padStart(2, '0')).join('')}`;
}

function whole(value, low, high, where) {
  if (!Number.isInteger(value) || value < low || value > high) {
    throw new TaskError(`${where}: needs a whole number ${low}..${high}, got ${JSON.stringify(value)}`);
  }
  return value;
}

const MAX_TICK = 7 * 24 * 3600 * 20;
const atOf = (check) => (check.at === undefined ? 'end' : check.at);

export function checkName(check) {
  if ('name' in check) return String(check.name);
  const at = atOf(check) === 'end' ? 'at the end' : `at tick ${check.at}`;
  switch (check.kind) {
    case 'picture': {
      const r = check.region;
      return `picture ${at}${r ? ` in (${r[0]}, ${r[1]})..(${r[2]}, ${r[3]})` : ''}`;
    }
    case 'pixels': return `pixels ${at}`;
    case 'log': return 'pattern' in check ? `log matches /${check.pattern}/` : 'log lines';
    case 'quits': return 'quits by itself';
    case 'time': {
      const parts = [];
      if ('seconds' in check) parts.push(`${check.seconds} s`);
      if ('ticks' in check) parts.push(`tick ${check.ticks}`);
      return `ends within ${parts.join(' and ')}`;
    }
    default: return String(check.kind);
  }
}

// A log check's pattern is written for the command line's regular expressions;
// the common part (classes, anchors, repeats, groups) means the same here.
function pattern(check, where) {
  try {
    return new RegExp(check.pattern, 'u');
  } catch (error) {
    throw new TaskError(`${where}: pattern: ${error.message}`);
  }
}

// The task as the checks read it (defaults filled in); throws TaskError with
// the reason a task cannot be used. `hasPicture(path)` says whether a stored
// picture is beside the task.
export function readTask(task, hasPicture = () => true) {
  if (task === null || typeof task !== 'object' || Array.isArray(task)) throw new TaskError('a task is a JSON object');
  for (const key of ['title', 'text']) {
    if (typeof task[key] !== 'string') throw new TaskError(`needs "${key}", a string`);
  }
  const run = task.run ?? {};
  if (run === null || typeof run !== 'object' || Array.isArray(run)) throw new TaskError('"run" is an object');
  const out = { ...task, run: { seed: 1, timeout: 10, ...run } };
  whole(out.run.seed, 0, 2 ** 31, 'run.seed');
  if ('frames' in run) whole(run.frames, 1, 1000000000, 'run.frames');
  whole(out.run.timeout, 1, 3600, 'run.timeout');
  if ('client' in run) {
    const m = /^(\d{1,4})x(\d{1,4})$/.exec(String(run.client));
    if (!m || ![m[1], m[2]].every((v) => Number(v) >= 1 && Number(v) <= 8192)) {
      throw new TaskError(`run.client: needs WIDTHxHEIGHT, got ${JSON.stringify(run.client)}`);
    }
  }
  out.plan = task.plan ?? [];
  if (!Array.isArray(out.plan) || !out.plan.every((line) => typeof line === 'string' && !line.includes('\n'))) {
    throw new TaskError('"plan" is a list of plan lines (strings)');
  }
  if (!Array.isArray(task.checks) || task.checks.length === 0) {
    throw new TaskError('needs "checks", a list of at least one check');
  }
  out.checks = task.checks.map((given, i) => {
    const where = `check ${i + 1}`;
    if (given === null || typeof given !== 'object' || Array.isArray(given)) throw new TaskError(`${where}: a check is an object`);
    const check = { ...given };
    const at = () => { if (atOf(check) !== 'end') whole(check.at, 1, MAX_TICK, `${where}: at`); };
    switch (check.kind) {
      case 'picture':
        at();
        check.tolerance = whole(check.tolerance ?? 0, 0, 64 * 1024 * 1024, `${where}: tolerance`);
        if ('region' in check) {
          if (!Array.isArray(check.region) || check.region.length !== 4) {
            throw new TaskError(`${where}: region is [x1, y1, x2, y2] in canvas coordinates`);
          }
          check.region.forEach((v) => whole(v, -100000, 100000, `${where}: region`));
        }
        if (typeof check.expected !== 'string' || check.expected.startsWith('/') ||
            check.expected.split('/').includes('..')) {
          throw new TaskError(`${where}: needs "expected", a picture file beside the task`);
        }
        if (!hasPicture(check.expected)) throw new TaskError(`${where}: no picture ${check.expected} beside the task`);
        break;
      case 'pixels':
        at();
        if (!Array.isArray(check.pixels) || check.pixels.length === 0) {
          throw new TaskError(`${where}: pixels is a list of {"x", "y", "color"}`);
        }
        for (const p of check.pixels) {
          if (p === null || typeof p !== 'object') throw new TaskError(`${where}: each pixel is {"x", "y", "color"}`);
          whole(p.x, -100000, 100000, `${where}: x`);
          whole(p.y, -100000, 100000, `${where}: y`);
          parseColor(p.color, where);
        }
        break;
      case 'log':
        if ('pattern' in check) pattern(check, where);
        else if (!Array.isArray(check.lines) || !check.lines.every((line) => typeof line === 'string')) {
          throw new TaskError(`${where}: a log check has "lines" (a list of strings) or "pattern"`);
        }
        break;
      case 'quits':
        break;
      case 'time':
        if (!('seconds' in check) && !('ticks' in check)) throw new TaskError(`${where}: a time check has "seconds" or "ticks"`);
        if ('seconds' in check) whole(check.seconds, 1, 3600, `${where}: seconds`);
        if ('ticks' in check) whole(check.ticks, 1, MAX_TICK, `${where}: ticks`);
        break;
      default:
        throw new TaskError(`${where}: unknown kind ${JSON.stringify(check.kind)} (picture, pixels, log, quits, time)`);
    }
    return check;
  });
  return out;
}

// The ticks at which some check needs a picture.
export function pictureTicks(task) {
  const ticks = new Set(task.checks.filter((c) => (c.kind === 'picture' || c.kind === 'pixels') && atOf(c) !== 'end')
    .map((c) => c.at));
  return [...ticks].sort((a, b) => a - b);
}

// Seconds of real time the run may take.
export function runSeconds(task) {
  return Math.min(task.run.timeout, ...task.checks.filter((c) => c.kind === 'time' && 'seconds' in c).map((c) => c.seconds));
}

// The files of a headless run, in the program's own folder.
export const RUN_FILES = { plan: 'check-plan.txt', log: 'check-log.txt', end: 'check-end.png',
                           summary: 'check-summary.txt', tick: (t) => `check-tick-${t}.png` };

// The program's arguments for the task's headless run (as the command line's;
// the page ends a run that overstays itself, so no --timeout).
export function runArguments(task) {
  const args = ['--headless', '--seed', String(task.run.seed), '--input', RUN_FILES.plan, '--log', RUN_FILES.log,
                '--save', RUN_FILES.end, '--summary', RUN_FILES.summary];
  if ('client' in task.run) args.push('--client', task.run.client);
  if ('frames' in task.run) args.push('--frames', String(task.run.frames));
  for (const tick of pictureTicks(task)) args.push('--save-at', `${tick}:${RUN_FILES.tick(tick)}`);
  return args;
}

export const planText = (task) => `${task.plan.join('\n')}\n`;

// The first line of a tool's or program's messages that names an error, else
// the first that says anything: what a verdict quotes.
export function firstErrorLine(text) {
  const lines = (text || '').split('\n');
  return (lines.find((line) => /error/i.test(line)) || lines.find((line) => line.trim()) || 'no message').trim();
}

// Why a run fails every check ('' when it ran to its end): run is {timedOut,
// flooded, trap (what a trap most likely was), code
// (the exit code), elsewhere (files written outside the program's folder),
// stderr (the end of what it said there)}; taskFault is set when the run
// refused the task's plan; limit is the run's time limit in seconds.
export function runProblem(run, limit) {
  if (run.timedOut) return { problem: `still running after ${limit} s (an endless loop?)` };
  if (run.flooded) return { problem: `wrote more than ${OUTPUT_CAP >> 20} MB (output without end?)` };
  if (run.trap) return { problem: `crashed (${run.trap})` };
  if (run.elsewhere && run.elsewhere.length) {
    const files = run.elsewhere;
    return { problem: `wrote outside its own folder: ${files.slice(0, 3).join(', ')}` +
      (files.length > 3 ? ` and ${files.length - 3} more` : '') };
  }
  if (run.stderr.includes('without ever waiting for an event')) {
    return { problem: 'never waited for an event (WinMain returned at once)' };
  }
  if (run.code === 2 && run.stderr.includes(': --input: ')) {
    return { problem: `the task's plan is refused: ${run.stderr.split(': --input: ')[1].trim()}`, taskFault: true };
  }
  if (run.code !== 0) return { problem: `exit code ${run.code}: ${firstErrorLine(run.stderr)}` };
  return { problem: '' };
}

function canvasToClient(x, y, width, height) { return [Math.floor(width / 2) + x, Math.floor(height / 2) - y]; }

// [left, top, right, bottom] in client pixels, right and bottom excluded.
export function regionBox(check, width, height) {
  if (!check.region) return [0, 0, width, height];
  const [x1, y1, x2, y2] = check.region;
  const [left, top] = canvasToClient(Math.min(x1, x2), Math.max(y1, y2), width, height);
  const [right, bottom] = canvasToClient(Math.max(x1, x2), Math.min(y1, y2), width, height);
  return [Math.max(0, left), Math.max(0, top), Math.min(width, right + 1), Math.min(height, bottom + 1)];
}

// The differing pixels' positions (client pixels) inside box, as [x, y] pairs.
export function comparePictures(expected, actual, [left, top, right, bottom]) {
  const differing = [];
  for (let y = top; y < bottom; ++y) {
    for (let x = left; x < right; ++x) {
      if (y >= expected.height || y >= actual.height || x >= expected.width || x >= actual.width) {
        differing.push([x, y]);
        continue;
      }
      const e = (y * expected.width + x) * 3, a = (y * actual.width + x) * 3;
      if (expected.rgb[e] !== actual.rgb[a] || expected.rgb[e + 1] !== actual.rgb[a + 1] ||
          expected.rgb[e + 2] !== actual.rgb[a + 2]) differing.push([x, y]);
    }
  }
  return differing;
}

// The expected picture in light grays, the differing pixels red and a
// region's edge blue, as RGBA bytes (an ImageData's).
export function differencePicture(expected, differing, [left, top, right, bottom]) {
  const { width, height, rgb } = expected;
  const out = new Uint8ClampedArray(width * height * 4);
  for (let i = 0, j = 0; i < rgb.length; i += 3, j += 4) {
    const shade = Math.floor((rgb[i] * 3 + rgb[i + 1] * 6 + rgb[i + 2]) / 30) + 170;
    out[j] = out[j + 1] = out[j + 2] = shade;
    out[j + 3] = 255;
  }
  const paint = (x, y, r, g, b) => {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    const j = (y * width + x) * 4;
    out[j] = r; out[j + 1] = g; out[j + 2] = b;
  };
  if (left !== 0 || top !== 0 || right !== width || bottom !== height) {
    for (let x = left; x < right; ++x) { paint(x, top, 0, 0, 255); paint(x, bottom - 1, 0, 0, 255); }
    for (let y = top; y < bottom; ++y) { paint(left, y, 0, 0, 255); paint(right - 1, y, 0, 0, 255); }
  }
  for (const [x, y] of differing) paint(x, y, 255, 0, 0);
  return out;
}

// One result per check: {name, ok, detail, pictures: {expected, actual,
// difference: RGBA, width, height, region} for a failed picture}. run is
// {problem, summary: {ended, tick}, seconds (real time taken), log: text};
// picture(at) and expected(path) answer decoded pictures ({width, height, rgb})
// or null.
export async function evaluate(task, run, { picture, expected }) {
  const results = [];
  for (const check of task.checks) {
    const result = { name: checkName(check), ok: false, detail: '', pictures: null };
    results.push(result);
    if (run.problem) {
      result.detail = run.problem;
      continue;
    }
    const at = atOf(check);
    let actual = null;
    if (check.kind === 'picture' || check.kind === 'pixels') {
      actual = await picture(at);
      if (!actual) {
        result.detail = 'the run left no picture';
        continue;
      }
    }
    if (check.kind === 'picture') {
      const model = await expected(check.expected);
      if (!model) {
        result.detail = `the task's picture ${check.expected} cannot be read`;
        continue;
      }
      const box = regionBox(check, model.width, model.height);
      const differing = comparePictures(model, actual, box);
      if (actual.width !== model.width || actual.height !== model.height) {
        result.detail = `the picture is ${actual.width} x ${actual.height} pixels, the model's ${model.width} x ${model.height}`;
      } else if (differing.length > check.tolerance) {
        const xs = differing.map(([x]) => x), ys = differing.map(([, y]) => y);
        const cx = Math.floor(model.width / 2), cy = Math.floor(model.height / 2);
        const min = (v) => v.reduce((a, b) => Math.min(a, b)), max = (v) => v.reduce((a, b) => Math.max(a, b));
        result.detail = `${differing.length} pixels differ (tolerance ${check.tolerance}), ` +
          `within canvas x ${min(xs) - cx}..${max(xs) - cx}, y ${cy - max(ys)}..${cy - min(ys)}`;
      } else {
        result.ok = true;
        result.detail = differing.length ? `${differing.length} pixels differ` : '';
      }
      if (!result.ok) {
        result.pictures = { expected: model, actual, difference: differencePicture(model, differing, box),
                            differing: differing.length, region: Boolean(check.region) };
      }
    } else if (check.kind === 'pixels') {
      const wrong = [];
      for (const p of check.pixels) {
        const [cx, cy] = canvasToClient(p.x, p.y, actual.width, actual.height);
        const want = parseColor(p.color, 'pixel');
        const inside = cx >= 0 && cx < actual.width && cy >= 0 && cy < actual.height;
        const got = inside ? [...actual.rgb.subarray((cy * actual.width + cx) * 3, (cy * actual.width + cx) * 3 + 3)] : null;
        if (!got || got.some((v, i) => v !== want[i])) {
          wrong.push(`(${p.x}, ${p.y}) is ${got ? colorName(got) : 'outside the window'}, not ${colorName(want)}`);
        }
      }
      result.ok = wrong.length === 0;
      result.detail = wrong.slice(0, 3).join('; ') + (wrong.length > 3 ? ` (and ${wrong.length - 3} more)` : '');
    } else if (check.kind === 'log') {
      const lines = run.log.split('\n');
      if (lines[lines.length - 1] === '') lines.pop();
      if ('pattern' in check) {
        const re = pattern(check, 'pattern');
        result.ok = lines.some((line) => re.test(line));
        if (!result.ok) result.detail = `no line of the log matches /${check.pattern}/`;
      } else {
        const missing = check.lines.filter((line) => !lines.includes(line));
        result.ok = missing.length === 0;
        if (missing.length) {
          result.detail = `the log has no line "${missing[0]}"` +
            (missing.length > 1 ? ` (and ${missing.length - 1} more missing)` : '');
        }
      }
    } else if (check.kind === 'quits') {
      const ended = run.summary.ended || '';
      result.ok = ended === 'program';
      if (!result.ok) {
        result.detail = { idle: 'it did not quit: the run closed its window when nothing was left to wait for',
                          frames: 'it did not quit: the run\'s frame limit closed its window' }[ended] ||
          'the run said nothing of how it ended';
      }
    } else if (check.kind === 'time') {
      const problems = [];
      if ('seconds' in check && run.seconds > check.seconds) problems.push(`it took ${run.seconds.toFixed(1)} s`);
      const tick = Number(run.summary.tick || 0);
      if ('ticks' in check && tick > check.ticks) problems.push(`it ended at tick ${tick}`);
      result.ok = problems.length === 0;
      result.detail = problems.join(', ');
    }
  }
  return results;
}

// The summary file's lines ("ended program", "tick 9", ...) as {ended, tick, frames}.
export function readSummary(text) {
  const summary = {};
  for (const line of text.split('\n')) {
    const [word, ...rest] = line.trim().split(' ');
    if (word) summary[word] = rest.join(' ');
  }
  return summary;
}
