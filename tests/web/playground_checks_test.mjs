// A teacher's task in the playground's page, as a student uses it: the task's
// link opens the exercise beside the editor with its starting program; the
// student's program for it is kept under the task's name; Check compiles the
// program in the page, runs it headless with the task's input and shows each
// check's verdict. Every shipped program and the hostile ones get the verdicts
// of tests/checks/verdicts.json, the table the command line's test holds the
// checker to, so the page and the command line agree. A failed picture shows
// the model's picture, the program's and the difference, whose red pixels are
// as many as the verdict counts. Nothing a checked program writes reaches the
// person's folder.
//
//   node tests/web/playground_checks_test.mjs SITE_DIR
//
// No verdict depends on the machine's speed: waits have a hang limit only; the
// time of each check is printed as a figure.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { check, figure, finish, group, hangWaits, launchChromium, serveFolder } from './harness.mjs';

const siteDir = process.argv[2] && path.resolve(process.argv[2]);
if (!siteDir) {
  console.error('usage: playground_checks_test.mjs SITE_DIR');
  process.exit(2);
}
const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-playground-checks-'));
const verdicts = JSON.parse(fs.readFileSync(path.join(root, 'tests/checks/verdicts.json'), 'utf8'));
const tasks = path.join(root, 'examples/tasks');
const hostile = path.join(root, 'tests/checks/programs');

const { server, origin } = await serveFolder(siteDir, {
  special: (name) => ({ '/editor.js': path.join(root, 'tests/web/playground_editor_probe.js'),
                        '/editor.bundle.js': path.join(siteDir, 'editor.js') })[name] || null,
});
const browser = await launchChromium(work);
const { until } = hangWaits(300000);

async function openTask(page, name) {
  await page.goto(`${origin}/playground.html?task=tasks/${name}/`);
  await until(page, `the task ${name}`, () => window.tavloProbe && !document.querySelector('#task').hidden &&
              document.querySelector('#task-title').textContent !== '');
}
const files = (page) => page.evaluate(() => window.tavloProbe.files());

// Opens a program's file as a person does with Open, under its own name.
async function openProgram(page, file) {
  await (await page.$('#open-file')).uploadFile(file);
  await until(page, `${path.basename(file)} in the editor`,
              (n) => window.tavloProbe.activeFile() === n, path.basename(file));
}

// Presses Check and waits for the verdict: {verdict, text, checks: [{name, ok, text}], pictures}.
async function checkProgram(page) {
  await page.click('#task-check');
  await until(page, 'the check to begin', () => document.querySelector('#task').dataset.verdict === 'checking');
  await until(page, 'the verdict', () => ['pass', 'fail', 'error'].includes(document.querySelector('#task').dataset.verdict));
  return page.evaluate(() => ({
    verdict: document.querySelector('#task').dataset.verdict,
    text: document.querySelector('#task-verdict').textContent,
    checks: [...document.querySelectorAll('#task-results > li')].map((li) => {
      const canvases = [...li.querySelectorAll('canvas')];
      // The difference picture's red pixels, counted.
      let red = -1;
      if (canvases.length === 3) {
        const c = canvases[2];
        const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
        red = 0;
        for (let i = 0; i < data.length; i += 4) if (data[i] === 255 && data[i + 1] === 0 && data[i + 2] === 0) ++red;
      }
      return { name: li.dataset.name, ok: li.dataset.ok === 'true', text: li.textContent, pictures: canvases.length, red };
    }),
  }));
}

function programFile(task, name) {
  for (const folder of [path.join(tasks, task), path.join(tasks, task, 'programs'), hostile]) {
    if (fs.existsSync(path.join(folder, name))) return path.join(folder, name);
  }
  throw new Error(`no program ${name}`);
}

try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  page.on('pageerror', (error) => console.log(`     page error: ${error.message}`));

  await group('a task\'s link', async () => {
    const task = JSON.parse(fs.readFileSync(path.join(tasks, 'house/task.json'), 'utf8'));
    const starter = fs.readFileSync(path.join(tasks, 'house/starter.cpp'), 'utf8');
    await openTask(page, 'house');
    const shown = await page.evaluate(() => ({ title: document.querySelector('#task-title').textContent,
                                               text: document.querySelector('#task-text').textContent }));
    const first = await files(page);
    check('the task\'s link shows its title and text beside the editor, and its starting program in the editor',
          shown.title === task.title && shown.text === task.text && first.length === 1 &&
          first[0].name === 'starter.cpp' && first[0].text === starter, JSON.stringify({ shown, first }));

    // The student types: the program is kept under the task's name, and the
    // task's link opens it again, not the starting program.
    await page.click('.cm-content');
    await page.keyboard.press('End');
    await page.keyboard.type('// mine');
    await until(page, 'the program kept', () => Object.keys(localStorage).some((k) => k.startsWith('tavlo-playground-program:') &&
                localStorage.getItem(k).includes('// mine')));
    await openTask(page, 'house');
    await until(page, 'the kept program', () => window.tavloProbe.files()[0].text.includes('// mine'));
    const stored = await page.evaluate(() => Object.keys(localStorage).filter((k) => k.startsWith('tavlo-playground-program:'))
      .map((k) => JSON.parse(localStorage.getItem(k)).name));
    check('the student\'s program is kept under the task\'s name and opened by the task\'s link again',
          stored.includes('house'), JSON.stringify(stored));

    // A task that is not there, or not a task, is said; programs still run.
    await page.goto(`${origin}/playground.html?task=tasks/nothing-here/`);
    await until(page, 'the missing task said', () => /task/.test(document.querySelector('#notice').textContent));
    const said = await page.$eval('#notice', (e) => e.textContent);
    check('a task that is not there is said, and the page works on',
          /HTTP 404/.test(said) && await page.$eval('#task', (e) => e.hidden) &&
          !(await page.$eval('#run', (b) => b.disabled)), said);
  });

  for (const [task, programs] of Object.entries(verdicts)) {
    if (task === 'about') continue;
    await group(`the ${task} task's programs in the page`, async () => {
      await openTask(page, task);
      for (const [name, want] of Object.entries(programs)) {
        await openProgram(page, programFile(task, name));
        const started = Date.now();
        const got = await checkProgram(page);
        figure(`${name}: ${got.text} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
        if (want === null) {
          check(`${task}: ${name} passes every check`, got.verdict === 'pass' && got.checks.every((c) => c.ok),
                JSON.stringify(got.checks));
          continue;
        }
        const reason = want.page ?? want.reason;
        const said = [got.text, ...got.checks.map((c) => c.text)].join(' | ');
        const passing = got.checks.filter((c) => c.ok).map((c) => c.name);
        check(`${task}: ${name} fails, saying "${reason}"; the checks that pass are the command line's`,
              got.verdict === 'fail' && said.includes(reason) &&
              JSON.stringify(passing) === JSON.stringify(want.passing ?? []), `${said}; passing ${JSON.stringify(passing)}`);
        // A failed picture: the model's, the program's and the difference,
        // marking as many pixels as the verdict counts.
        for (const c of got.checks) {
          const counted = /(\d+) pixels differ/.exec(c.text);
          if (!counted) continue;
          check(`${task}: ${name}: "${c.name}" shows three pictures, the difference marking ${counted[1]} pixels`,
                c.pictures === 3 && c.red === Number(counted[1]), `${c.pictures} pictures, ${c.red} red`);
        }
      }
    });
  }

  await group('nothing of the person\'s is touched', async () => {
    const folder = await page.evaluate(() => document.querySelector('#file-list').children.length);
    check('the checked programs (one wrote to /tmp, one flooded its output) left no file in the person\'s folder',
          folder === 0, `${folder} files`);
  });
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
finish();
