// The page's checks (playground/page/js/checking.js and png.js) under node, on
// what the page test does not reach: a task refused for its fault, a picture
// check's region and tolerance counted at the edges, a pixel outside the
// window, the log's lines and pattern, and how a run ended. The shipped
// pictures are read with the page's PNG reader and must hold the colours their
// task's pixel checks name.
//
//   node tests/web/checking_test.mjs
import fs from 'node:fs';
import path from 'node:path';

import { TaskError, comparePictures, evaluate, readTask, regionBox, runArguments, runProblem } from
  '../../playground/page/js/checking.js';
import { decodePng } from '../../playground/page/js/png.js';
import { check, finish, group } from './harness.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');

const refusal = (task) => {
  try {
    readTask(task);
    return '';
  } catch (error) {
    return error instanceof TaskError ? error.message : `not a TaskError: ${error}`;
  }
};
const base = { title: 't', text: 'x', checks: [{ kind: 'quits' }] };

await group('a task is refused for its fault, with the command line\'s words', async () => {
  const cases = [
    [{ ...base, title: 3 }, 'needs "title", a string'],
    [{ ...base, checks: [] }, 'needs "checks", a list of at least one check'],
    [{ ...base, run: { client: '40x' } }, 'run.client: needs WIDTHxHEIGHT'],
    [{ ...base, run: { seed: 1.5 } }, 'run.seed: needs a whole number'],
    [{ ...base, plan: ['1 key a\n2 key b'] }, '"plan" is a list of plan lines'],
    [{ ...base, checks: [{ kind: 'picture', expected: '../up.png' }] }, 'check 1: needs "expected"'],
    [{ ...base, checks: [{ kind: 'pixels', pixels: [{ x: 0, y: 0, color: 'grey' }] }] }, 'colour "grey" is neither'],
    [{ ...base, checks: [{ kind: 'log', pattern: '(' }] }, 'check 1: pattern:'],
    [{ ...base, checks: [{ kind: 'time' }] }, 'a time check has "seconds" or "ticks"'],
    [{ ...base, checks: [{ kind: 'sound' }] }, 'unknown kind "sound"'],
    [{ ...base, checks: [{ kind: 'quits', at: 0 }, { kind: 'pixels', at: 0, pixels: [{ x: 0, y: 0, color: 1 }] }] },
      'check 2: at: needs a whole number 1..'],
  ];
  for (const [task, words] of cases) {
    const said = refusal(task);
    check(`refused: ${words}`, said.includes(words), said);
  }
  const args = runArguments(readTask({ ...base, run: { client: '400x300', frames: 9 },
                                       checks: [{ kind: 'pixels', at: 6, pixels: [{ x: 0, y: 0, color: 2 }] },
                                                { kind: 'picture', at: 6, expected: 'a.png' }] }));
  check('a task\'s run: its seed, client size, frames and one picture per tick a check needs',
        args.join(' ') === '--headless --seed 1 --input check-plan.txt --log check-log.txt --save check-end.png ' +
          '--summary check-summary.txt --client 400x300 --frames 9 --save-at 6:check-tick-6.png', args.join(' '));
});

// A 5 x 5 picture, all white but for the given client pixels in red.
function picture(reds = []) {
  const rgb = new Uint8Array(75).fill(255);
  for (const [x, y] of reds) rgb.set([255, 0, 0], (y * 5 + x) * 3);
  return { width: 5, height: 5, rgb };
}

await group('a picture\'s region and tolerance, a pixel outside, the log, the end', async () => {
  // Canvas (-1, 1)..(1, -1) is client (1, 1)..(3, 3), both corners included.
  const box = regionBox({ region: [1, -1, -1, 1] }, 5, 5);
  check('a region\'s corners are included, in either order', box.join() === '1,1,4,4', box.join());
  const differing = comparePictures(picture(), picture([[0, 0], [1, 1], [3, 3], [4, 4]]), box);
  check('only the pixels inside the region are counted', differing.length === 2, JSON.stringify(differing));

  const task = readTask({ ...base, checks: [
    { kind: 'picture', region: [-1, -1, 1, 1], tolerance: 1, expected: 'm.png' },
    { kind: 'picture', tolerance: 1, expected: 'm.png' },
    { kind: 'pixels', pixels: [{ x: 0, y: 0, color: 'red' }, { x: 9, y: 0, color: 'red' }] },
    { kind: 'log', lines: ['clicked', 'key r'] },
    { kind: 'log', pattern: '^key [a-z]$' },
    { kind: 'quits' },
    { kind: 'time', ticks: 20 },
  ] });
  const run = { problem: '', summary: { ended: 'idle', tick: '21' }, seconds: 0.2, log: 'clicked\nkey R\n' };
  const results = await evaluate(task, run, { picture: async () => picture([[0, 0], [2, 2]]),
                                              expected: async () => picture() });
  const said = results.map((r) => `${r.ok ? 'pass' : 'FAIL'}: ${r.detail}`);
  const want = [
    'pass: 1 pixels differ',
    'FAIL: 2 pixels differ (tolerance 1), within canvas x -2..0, y 0..2',
    'FAIL: (9, 0) is outside the window, not red',
    'FAIL: the log has no line "key r"',
    'FAIL: no line of the log matches /^key [a-z]$/',
    'FAIL: it did not quit: the run closed its window when nothing was left to wait for',
    'FAIL: it ended at tick 21',
  ];
  check('each check\'s verdict and words', JSON.stringify(said) === JSON.stringify(want), JSON.stringify(said, null, 1));
  const marked = results[1].pictures && [...results[1].pictures.difference].filter((v, i) => i % 4 === 0 && v === 255 &&
    results[1].pictures.difference[i + 1] === 0).length;
  check('the difference picture marks the differing pixels red', marked === 2, String(marked));

  const failed = await evaluate(task, { ...run, problem: runProblem({ timedOut: true, stderr: '' }, 10).problem },
                                { picture: async () => null, expected: async () => null });
  check('a run that failed fails every check for its reason',
        failed.every((r) => !r.ok && r.detail === 'still running after 10 s (an endless loop?)'), JSON.stringify(failed));
  const problems = [runProblem({ code: 0, stderr: 'x: WinMain returned without ever waiting for an event, and' }),
                    runProblem({ code: 2, stderr: 'p: --input: check-plan.txt:3: no such command' }),
                    runProblem({ code: 3, stderr: 'note\nerror: gone\n' })];
  check('a run that never waited, refused the plan, or exited with a code says so',
        problems[0].problem.startsWith('never waited') && problems[1].taskFault &&
        problems[1].problem === 'the task\'s plan is refused: check-plan.txt:3: no such command' &&
        problems[2].problem === 'exit code 3: error: gone', JSON.stringify(problems));
});

await group('the shipped pictures read with the page\'s reader', async () => {
  for (const name of ['house', 'button']) {
    const folder = path.join(root, 'examples/tasks', name);
    const task = readTask(JSON.parse(fs.readFileSync(path.join(folder, 'task.json'), 'utf8')));
    const pictureCheck = task.checks.find((c) => c.kind === 'picture');
    const shown = await decodePng(fs.readFileSync(path.join(folder, pictureCheck.expected)));
    // The house's colours are checked on its end picture, the same as the stored one.
    const pixels = task.checks.find((c) => c.kind === 'pixels' && (c.at ?? 'end') === (pictureCheck.at ?? 'end'));
    if (!pixels) continue;
    const results = await evaluate({ ...task, checks: [pixels] }, { problem: '', summary: {}, seconds: 0, log: '' },
                                   { picture: async () => shown, expected: async () => shown });
    check(`${name}: the stored picture holds the colours the task names`, results[0].ok, results[0].detail);
  }
});
finish();
