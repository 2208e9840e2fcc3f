// Browser test of the playground's page (site/playground.html): Debian's
// Chromium driven by puppeteer-core against a loopback server of the site
// folder. With --runtime stub (the default) the server answers
// runtime/playground_runtime.js with tests/web/playground_stub_runtime.js, which
// compiles nothing (see there); with --runtime real the site's own runtime
// compiles and runs the programs, and the same checks hold.
//
// No verdict depends on the machine's speed: waits have a hang limit whose
// failure says "hung", and the time to the first accepted keystroke is printed
// as a figure only.
//
//   node tests/web/playground_page_test.mjs SITE_DIR [--runtime stub|real] [--screenshot OUT.png]
//
// Prints one line per check and "N passed, N failed"; exit code 0 only when
// every check passed.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { check, figure, finish, group, hangWaits, launchChromium, serveFolder, sleep } from './harness.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i < 0 ? fallback : args.splice(i, 2)[1];
};
const mode = option('--runtime', 'stub');
const screenshot = option('--screenshot', null);
const siteDir = args[0] && path.resolve(args[0]);
if (!siteDir || !['stub', 'real'].includes(mode)) {
  console.error('usage: playground_page_test.mjs SITE_DIR [--runtime stub|real] [--screenshot OUT.png]');
  process.exit(2);
}
const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-playground-page-'));

const HANG_MS = mode === 'real' ? 300000 : 60000;  // the real compiler's first load is large

// ------------------------------------------------------------ the server
// The site folder on 127.0.0.1; in stub mode the runtime is the stub, beside
// the web pages' window scripts it draws with.
const web = path.join(root, 'package/platform/portable/presenters/web');
const stubFiles = {
  '/runtime/playground_runtime.js': path.join(root, 'tests/web/playground_stub_runtime.js'),
  '/runtime/page_windows.js': path.join(web, 'page_windows.js'),
  '/runtime/page_keys.js': path.join(web, 'page_keys.js'),
};
// Both modes: the editor through a probe that lets the test read it.
const probeFiles = {
  '/editor.js': path.join(root, 'tests/web/playground_editor_probe.js'),
  '/editor.bundle.js': path.join(siteDir, 'editor.js'),
};
const { server, origin } = await serveFolder(siteDir, {
  special: (name) => probeFiles[name] || (mode === 'stub' && stubFiles[name]) || null,
});
const base = `${origin}/playground.html`;

// ------------------------------------------------------------ the browser
const browser = await launchChromium(work);

async function newPage(context = browser, before = null) {
  const page = await context.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  if (before) await page.evaluateOnNewDocument(before);
  page.on('pageerror', (error) => console.log(`     page error: ${error.message}`));
  return page;
}
const { until, poll } = hangWaits(HANG_MS);
async function open(page, url = base) {
  await page.goto(url);
  await until(page, 'the editor', () => window.tavloProbe && document.querySelector('.cm-content'));
}
const files = (page) => page.evaluate(() => window.tavloProbe.files());
const activeFile = (page) => page.evaluate(() => window.tavloProbe.activeFile());
// Opens files as a program, as a person does with Open (each written to disk first).
let opened = 0;
async function openFiles(page, program) {
  const dir = path.join(work, `open-${++opened}`);
  fs.mkdirSync(dir);
  const paths = program.map((f) => {
    fs.writeFileSync(path.join(dir, f.name), f.text);
    return path.join(dir, f.name);
  });
  await (await page.$('#open-file')).uploadFile(...paths);
  await until(page, 'the files opened', (names) => JSON.stringify(window.tavloProbe.files().map((f) => f.name).sort()) === names,
              JSON.stringify(program.map((f) => f.name).sort()));
}
// Whether a program runs (the stand-in runtime says; with the real one, Stop is on).
const running = (page) => page.evaluate(() => (window.tavloStub ? window.tavloStub.running
  : !document.querySelector('#stop').disabled));
const tabs = (page) => page.$$eval('#tabs .tab', (all) => all.map((t) => t.dataset.name));
const text = (page, selector) => page.$eval(selector, (e) => e.textContent);
const consoleText = (page) => text(page, '#console');
const sameFiles = (a, b) => JSON.stringify(a) === JSON.stringify(b);
// The programs kept in the page's storage: [{key, value}] (value: the text stored).
const storedPrograms = (page) => page.evaluate(() => Object.keys(localStorage)
  .filter((k) => k.startsWith('tavlo-playground-program:')).map((k) => ({ key: k, value: localStorage.getItem(k) })));
async function ctrl(page, key) {
  await page.keyboard.down('Control');
  await page.keyboard.press(key);
  await page.keyboard.up('Control');
}
async function exampleOf(page, name) {
  await page.select('#examples', name);
  await until(page, `the example ${name}`, (n) => window.tavloProbe.activeFile().startsWith(n), name);
}


// A program of two files whose header has an error at line 3, column 17.
const broken = [
  { name: 'main.cpp', text: '#include <cstdio>\n\n#include "scene.h"\n#include "tavlo.h"\n\n' +
      'int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {\n' +
      '    std::printf("hello from the playground: %d\\n", scene_value());\n    return 0;\n}\n' },
  { name: 'scene.h', text: '#pragma once\ninline int scene_value() {\n    int value = undeclared_name;\n    return value;\n}\n' },
];

try {
  const page = await newPage();

  // -------------------------------------------------------- 1. the editor
  await group('the editor', async () => {
    await page.goto(base);
    await page.waitForSelector('.cm-content', { timeout: HANG_MS });
    await page.click('.cm-content');
    await page.keyboard.press('End');
    await page.keyboard.type('// typed');
    await until(page, 'the typed text in the editor',
                () => document.querySelector('.cm-content').textContent.includes('// typed'));
    await until(page, 'the test interface', () => window.tavloProbe);
    check('a first visit shows examples/shapes.cpp, highlighted, with line numbers',
          sameFiles((await tabs(page)), ['shapes.cpp']) &&
          (await page.$$('.cm-lineNumbers .cm-gutterElement')).length > 10 &&
          (await page.$$('.cm-line span')).length > 20,
          (await tabs(page)).join(' '));
    await ctrl(page, 'KeyZ');
    const undone = (await files(page))[0].text;
    check('typing goes to the editor, Ctrl+Z takes it back',
          !undone.includes('// typed') && undone === fs.readFileSync(path.join(root, 'examples/shapes.cpp'), 'utf8'));

    // Tabs: + adds a file named in place; a bad name is refused and said.
    await page.click('#add-file');
    await page.waitForSelector('#tabs input', { timeout: HANG_MS });
    await page.keyboard.down('Control');
    await page.keyboard.press('KeyA');
    await page.keyboard.up('Control');
    await page.keyboard.type('extra.h\n');
    await page.keyboard.type('int extra = 1;');
    const added = await files(page);
    await page.click('.tab[data-name="extra.h"] .tab-name', { clickCount: 2 });
    await page.waitForSelector('#tabs input', { timeout: HANG_MS });
    await page.keyboard.type('shapes.cpp\n');
    check('+ adds a tab with the name typed; renaming it to a taken name is refused',
          sameFiles(await tabs(page), ['shapes.cpp', 'extra.h']) && (await activeFile(page)) === 'extra.h' &&
          added[1].text === 'int extra = 1;' && (await text(page, '#tabs-note')).includes('already'),
          `${(await tabs(page)).join(' ')}; ${await text(page, '#tabs-note')}`);
    // × on a tab with text asks first: declined, the file stays; accepted, it goes.
    let answer = false, asked = 0;
    const answerDialog = (dialog) => { ++asked; return answer ? dialog.accept() : dialog.dismiss(); };
    page.on('dialog', answerDialog);
    await page.click('.tab[data-name="extra.h"] .tab-close');
    const kept = await tabs(page);
    answer = true;
    await page.click('.tab[data-name="extra.h"] .tab-close');
    page.off('dialog', answerDialog);
    check('closing a tab with text asks first, and closes only when told to',
          asked === 2 && sameFiles(kept, ['shapes.cpp', 'extra.h']) && sameFiles(await tabs(page), ['shapes.cpp']) &&
          (await activeFile(page)) === 'shapes.cpp' && (await page.$$('.tab-close')).length === 0,
          `${asked} questions, ${kept.join(' ')} -> ${(await tabs(page)).join(' ')}`);
  });

  // -------------------------------------------------------- 2. errors, the fix, Run
  await group('diagnostics', async () => {
    // The linker's error names a file, not a line: listed so, a click shows the file.
    const unlinked = [{ name: 'helper.cpp', text: 'void missing_function();\nvoid helper() {\n    missing_function();\n}\n' },
                      { name: 'main.cpp', text: broken[0].text.replace('#include "scene.h"', 'void helper();\ninline int scene_value() { helper(); return 1; }') }];
    await openFiles(page, unlinked);
    await page.click('#run');
    await until(page, 'the linker\'s message', () => document.querySelector('#diagnostics li'));
    const linked = await page.$$eval('#diagnostics li', (all) => all.map((li) => li.textContent));
    await page.click('#diagnostics li button');
    check('a link error is listed with its file and no line; a click shows that file',
          linked.length === 1 && linked[0].startsWith('helper.cpp: error: ') && linked[0].includes('missing_function') &&
          !linked[0].includes('helper.cpp', 1) &&
          (await activeFile(page)) === 'helper.cpp',
          linked.join(' | '));

    await openFiles(page, broken);
    await page.click('#run');
    await until(page, 'the compiler\'s messages', () => document.querySelector('#diagnostics li'));
    const listed = await page.$$eval('#diagnostics li', (all) => all.map((li) => li.textContent));
    check('a compile error is listed as file:line:column: message',
          listed.length >= 1 && listed[0].startsWith('scene.h:3:17: ') && listed[0].includes('undeclared_name'),
          listed.join(' | '));
    await until(page, 'the compiler\'s text in the output pane (written at the next display frame)',
                () => document.querySelector('#console').textContent.includes('undeclared_name'));
    check('nothing runs; the output pane has the compiler\'s text',
          (await consoleText(page)).includes('undeclared_name') &&
          !(await running(page)));
    await page.click('#diagnostics li button');
    await until(page, 'the jump to the error', () => window.tavloProbe.activeFile() === 'scene.h');
    const line = await text(page, '.cm-activeLine');
    const marked = await page.$$eval('.cm-lintRange-error', (all) => all.map((m) => m.textContent));
    check('a click on the message shows its file, line and a mark on it',
          line.includes('undeclared_name') && marked.includes('undeclared_name'),
          `line "${line.trim()}", marked ${JSON.stringify(marked)}`);

    // The fix, typed where the click left the cursor; Ctrl+Enter runs.
    await page.keyboard.down('Shift');
    await page.keyboard.press('End');
    await page.keyboard.up('Shift');
    await page.keyboard.type('42;');
    await ctrl(page, 'Enter');
    await until(page, 'the program ending', () => document.querySelector('#console .exit'));
    const output = await consoleText(page);
    check('after the fix, Ctrl+Enter runs the program: its output, then its exit',
          output.includes('hello from the playground') && /exit code 0/.test(output) &&
          (await page.$$('#diagnostics li')).length === 0 &&
          (await page.$$('.cm-lintRange-error')).length === 0,
          JSON.stringify(output.slice(-200)));
  });

  // -------------------------------------------------------- 2b. a program that prints much
  await group('much output', async () => {
    const before = await files(page);
    const line = (letter) => `    std::printf("${letter.repeat(100000)}\\n");\n`;
    await openFiles(page, [{ name: 'main.cpp', text:
      '#include <cstdio>\n#include "tavlo.h"\n\nint WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {\n' +
      line('A') + line('B') + line('C') + '    return 0;\n}\n' }]);
    await page.click('#run');
    await until(page, 'the program ending', () => document.querySelector('#console .exit'));
    const shown = await consoleText(page);
    const kept = shown.replace(/^\[.*\]\n/, '');
    check('the output pane keeps the last 200000 characters of a long output and says the start is dropped',
          /^\[the output's start is dropped/.test(shown) && kept.length === 200000 && !kept.includes('A') &&
          kept.includes('C'.repeat(100000)) && /exit code 0/.test(kept),
          `${shown.length} characters: ${JSON.stringify(shown.slice(0, 80))}...${JSON.stringify(shown.slice(-60))}`);
    // The person's program, kept while the other was open, comes back.
    await page.click('#notice div[data-key="replaced"] button');
    await until(page, 'the program brought back', (f) => JSON.stringify(window.tavloProbe.files()) === f,
                JSON.stringify(before));
  });

  // -------------------------------------------------------- 3. reload
  let edited = null;
  await group('reload', async () => {
    edited = await files(page);
    await poll('the edit reaching the browser\'s storage', async () =>
      (await storedPrograms(page)).some((p) => p.value.includes('int value = 42;')));
    await page.reload();
    await until(page, 'the editor', () => window.tavloProbe && document.querySelector('.cm-content'));
    check('a reload shows the edited program, all its files, on the tab left open',
          sameFiles(await files(page), edited) && (await activeFile(page)) === 'scene.h' &&
          edited[1].text.includes('int value = 42;'),
          (await tabs(page)).join(' '));
  });

  // -------------------------------------------------------- 4. share
  await group('share', async () => {
    await page.click('#share');
    await until(page, 'the link', () => !document.querySelector('#share-box').hidden);
    const link = await page.$eval('#share-link', (e) => e.value);
    const address = page.url();
    const fresh = await browser.createBrowserContext();  // no storage of the first's
    const other = await newPage(fresh);
    await open(other, link);
    check('the Share link opens the same program, all tabs, in a fresh profile',
          link.includes('#code=') && address === link && sameFiles(await files(other), edited) &&
          sameFiles(await tabs(other), ['main.cpp', 'scene.h']),
          `${link.length} characters`);
    // Edited, the program is no longer the link's: a reload shows the edit.
    await other.click('.cm-content');
    await other.keyboard.type('// mine ');
    await poll('the edit stored', async () => (await storedPrograms(other)).some((p) => p.value.includes('// mine ')));
    await other.reload();
    await until(other, 'the editor', () => window.tavloProbe && document.querySelector('.cm-content'));
    check('a link\'s program once edited loses the link: a reload shows the edit',
          !other.url().includes('#code=') && (await files(other)).some((f) => f.text.includes('// mine ')), other.url());
    await other.close();
    await fresh.close();

    // A link cut short, pasted into the open page (only the fragment changes) and
    // opened afresh: said, and the stored program stays.
    const cut = link.slice(0, link.length - 30);
    await page.goto(cut);
    await until(page, 'the broken link\'s line', () => !document.querySelector('#notice').hidden);
    const pasted = await text(page, '#notice'), pastedUrl = page.url();
    await page.goto('about:blank');
    await open(page, cut);
    const said = await text(page, '#notice');
    check('a broken link says so and keeps the stored program (pasted or opened)',
          /cannot be opened/.test(said) && /cannot be opened/.test(pasted) &&
          sameFiles(await files(page), edited) && !page.url().includes('#code=') && !pastedUrl.includes('#code='),
          `${pasted} / ${said}`);
  });

  // -------------------------------------------------------- 5. links, in the page's own module
  await group('links and archives', async () => {
    const results = await page.evaluate(async () => {
      const m = await import('./page/program.js');
      const fail = async (code) => { try { await m.decodeLink(code); return 'opened'; } catch (e) { return e.message; } };
      // What a hostile link could hold: a huge program, bad names, not a program.
      const pack = async (json) => {
        const stream = new Blob([json]).stream().pipeThrough(new CompressionStream('deflate-raw'));
        const bytes = new Uint8Array(await new Response(stream).arrayBuffer());
        return btoa(String.fromCharCode(...bytes)).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
      };
      const program = [{ name: 'a.cpp', text: 'int x = 1; // \u00e9\u4e2d\ud83d\ude00' }, { name: 'b.h', text: '' }];
      return {
        roundTrip: JSON.stringify(await m.decodeLink(await m.encodeLink(program))) === JSON.stringify(program),
        huge: await fail(await pack(JSON.stringify({ files: [{ name: 'a.cpp', text: ' '.repeat(6 << 20) }] }))),
        // Both sides measure the program's UTF-8 bytes: what Share makes opens,
        // and what would not open is not shared.
        escaped: (await m.decodeLink(await m.encodeLink([{ name: 'a.cpp', text: '"\n'.repeat(1800000) }])))[0].text.length,
        wide: await m.encodeLink([{ name: 'a.cpp', text: '\u00e9'.repeat(2200000) }]).then(() => 'shared', (e) => e.message),
        path: await fail(await pack(JSON.stringify({ files: [{ name: '../a.cpp', text: '' }] }))),
        twice: await fail(await pack(JSON.stringify({ files: [{ name: 'a.cpp', text: '' }, { name: 'a.cpp', text: '' }] }))),
        json: await fail(await pack('{"files": [')),
        junk: await fail('not*base64'),
        names: [m.nameProblem('scene.h', []), m.nameProblem('a b.cpp', []), m.nameProblem('x.py', []),
                m.nameProblem('main.cpp', ['main.cpp'])].map((p) => p !== ''),
        zip: Array.from(new Uint8Array(await m.zipArchive(program).arrayBuffer())),
      };
    });
    check('a link keeps every character; a huge, unsafe or broken one is refused with a reason',
          results.roundTrip && /larger than 4 MB/.test(results.huge) && /file name/.test(results.path) &&
          results.escaped === 3600000 && /larger than 4 MB/.test(results.wide) &&
          /already/.test(results.twice) && /not hold a program/.test(results.json) && /characters/.test(results.junk) &&
          sameFiles(results.names, [false, true, true, true]),
          JSON.stringify({ ...results, zip: undefined }));
    const zipFile = path.join(work, 'two.zip');
    fs.writeFileSync(zipFile, Buffer.from(results.zip));
    const listed = execFileSync('python3', ['-c', `import zipfile, json, sys
z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None
print(json.dumps([[i.filename, z.read(i).decode()] for i in z.infolist()]))`, zipFile], { encoding: 'utf8' });
    check('the archive of several files reads back whole (names, texts, checksums)',
          sameFiles(JSON.parse(listed), [['a.cpp', 'int x = 1; // \u00e9\u4e2d\ud83d\ude00'], ['b.h', '']]), listed.trim());
  });

  // -------------------------------------------------------- 6. examples, download
  await group('examples', async () => {
    const menu = await page.$$eval('#examples option', (all) => all.map((o) => o.value).filter((v) => v));
    const expected = fs.readdirSync(path.join(root, 'examples')).filter((f) => f.endsWith('.cpp'))
      .map((f) => f.replace(/\.cpp$/, ''));
    check('the Examples menu has every example and the demo',
          expected.every((e) => menu.includes(e)) && menu.includes('cubes') && menu[0] === 'shapes',
          menu.join(' '));
    const mine = await files(page);
    await exampleOf(page, 'cubes');
    const demo = fs.readdirSync(path.join(root, 'demo')).filter((f) => /\.(cpp|h)$/.test(f));
    const shown = await files(page);
    check('the cubes demo opens with each of its files as a tab, cubes.cpp first',
          shown[0].name === 'cubes.cpp' && shown.length === demo.length &&
          shown.every((f) => demo.includes(f.name) && fs.readFileSync(path.join(root, 'demo', f.name), 'utf8') === f.text),
          shown.map((f) => f.name).join(' '));

    const downloads = path.join(work, 'downloads');
    fs.mkdirSync(downloads);
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await page.click('#download');
    const zipFile = await poll('program.zip', () => fs.existsSync(path.join(downloads, 'program.zip')) &&
                                                    path.join(downloads, 'program.zip'));
    await sleep(200);
    const names = execFileSync('python3', ['-c', 'import zipfile, sys; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))',
                                           zipFile], { encoding: 'utf8' }).trim();
    check('Download saves the demo\'s files as one archive', names === shown.map((f) => f.name).join(' '), names);
    await exampleOf(page, 'shapes');
    await page.click('#download');
    const single = await poll('shapes.cpp', () => fs.existsSync(path.join(downloads, 'shapes.cpp')) &&
                                                   path.join(downloads, 'shapes.cpp'));
    await sleep(200);
    check('Download saves a one-file program as that file',
          fs.readFileSync(single, 'utf8') === fs.readFileSync(path.join(root, 'examples/shapes.cpp'), 'utf8'));

    // The person's program that the first example replaced (the next replaced only
    // an example) comes back with the notice's button.
    const offer = await text(page, '#notice');
    // Another line said meanwhile (a broken link pasted) leaves the button in place.
    const button = await page.$('#notice button');
    await page.evaluate(() => { window.location.hash = '#code=cut-short'; });
    await until(page, 'the broken link\'s line', () => /cannot be opened/.test(document.querySelector('#notice').textContent));
    const stayed = await button.evaluate((b) => b.isConnected);
    await button.click();
    check('an example opens beside the person\'s program, which is kept and brought back by the line\'s button; ' +
          'the button stays in place while other lines are said',
          /The example cubes.* is open; your program ".*" \(main\.cpp, scene\.h\) is kept/.test(offer) && stayed &&
          sameFiles(await files(page), mine) && !(await text(page, '#notice')).includes('is kept in Programs'),
          offer);
  });

  // -------------------------------------------------------- 6b. the person's programs
  await group('programs kept', async () => {
    const context = await browser.createBrowserContext();
    const a = await newPage(context);
    await open(a);
    await a.click('.cm-content');
    await a.keyboard.type('// first ');
    await poll('the first program stored', async () => (await storedPrograms(a)).some((p) => p.value.includes('// first ')));
    const kept = (await storedPrograms(a))[0];

    // Too large to keep: said at once; what is stored stays, and a reload shows it.
    await openFiles(a, [{ name: 'shapes.cpp', text: `// big\n${`${'x'.repeat(99)}\n`.repeat(45000)}` }]);
    await a.click('.cm-content');
    await a.keyboard.type('y');
    await until(a, 'the line saying the program cannot be kept', () =>
      /cannot be kept.*larger than 4 MB/.test(document.querySelector('#notice').textContent));
    await a.reload();
    await until(a, 'the editor', () => window.tavloProbe && document.querySelector('.cm-content'));
    check('a program over 4 MB is said at once to be not kept; the copy kept before is shown after a reload',
          (await files(a))[0].text.includes('// first ') && !(await files(a))[0].text.includes('// big') &&
          (await storedPrograms(a)).some((p) => p.key === kept.key && p.value === kept.value),
          (await text(a, '#notice')).slice(0, 200));

    // Two tabs on the same program: the second tab's save does not replace the first's.
    const b = await newPage(context);
    await open(b);
    await a.bringToFront();  // a tab in the back draws no frames: clicks wait for one
    await a.click('.cm-content');
    await a.keyboard.type('// from A ');
    await poll('A saved', async () => (await storedPrograms(a)).some((p) => p.value.includes('// from A ')));
    await b.bringToFront();
    await b.click('.cm-content');
    await b.keyboard.type('// from B ');
    await until(b, 'B saying its text is kept as a program of its own', () =>
      /changed in another tab meanwhile.*kept as a program of its own/.test(document.querySelector('#notice').textContent));
    const both = await storedPrograms(b);
    const mine = both.find((p) => p.key === kept.key);
    check('two tabs never write over each other: the second keeps its text as a program of its own',
          mine && mine.value.includes('// from A ') && !mine.value.includes('// from B ') &&
          both.some((p) => p.key !== kept.key && p.value.includes('// from B ') && !p.value.includes('// from A ')),
          both.map((p) => `${p.key === kept.key ? 'the first' : p.key}: ${JSON.parse(p.value).name}, ` +
                   `${p.value.includes('// from A ') ? 'has' : 'lacks'} A's text, ` +
                   `${p.value.includes('// from B ') ? 'has' : 'lacks'} B's`).join(' | '));
    const listed = await b.$$eval('#programs option', (all) => all.map((o) => o.textContent));
    check('the Programs menu lists both programs and a new one',
          listed.includes('New program') && listed.filter((t) => /shapes/.test(t)).length === 2, listed.join(' | '));
    await b.close();
    await a.bringToFront();

    // What is stored and cannot be read is said, offered for download, and never written over.
    await a.evaluate(() => {
      localStorage.setItem('tavlo-playground-program:broken', '{"name": "lost", "files": [');
      localStorage.setItem('tavlo-playground-last', 'broken');
      sessionStorage.clear();
    });
    await a.reload();
    await until(a, 'the editor', () => window.tavloProbe && document.querySelector('.cm-content'));
    const said = await text(a, '#notice');
    await a.click('.cm-content');
    await a.keyboard.type('// later ');
    await poll('the later edit stored', async () => (await storedPrograms(a)).some((p) => p.value.includes('// later ')));
    const unread = await a.evaluate(() => localStorage.getItem('tavlo-playground-program:broken'));
    check('a stored program that cannot be read is said, with a download, and is never written over',
          /cannot be opened/.test(said) && (await a.$$('#notice button')).length > 0 &&
          unread === '{"name": "lost", "files": [', said);
    await a.close();
    await context.close();
  });

  // -------------------------------------------------------- 6c. renaming and deleting programs
  await group('programs renamed and deleted', async () => {
    // The storage functions on a storage of their own: names refused, versions
    // counted, a deleted program never written back by a save, brought back whole.
    const results = await page.evaluate(async () => {
      const m = await import('./page/program.js');
      const map = new Map();
      const s = { get length() { return map.size; }, key: (i) => [...map.keys()][i] ?? null,
                  getItem: (k) => (map.has(k) ? map.get(k) : null), setItem: (k, v) => { map.set(k, String(v)); },
                  removeItem: (k) => { map.delete(k); } };
      const program = [{ name: 'main.cpp', text: 'int main() {}\n' }];
      const refused = (id, name) => { try { m.renameProgram(id, name, s); return 'renamed'; } catch (e) { return e.message; } };
      const a = m.saveProgram({ id: null, name: 'shapes', files: program, active: 'main.cpp', version: 0 }, s);
      const b = m.saveProgram({ id: null, name: 'game', files: program, active: 'main.cpp', version: 0 }, s);
      const modified = m.readProgram(b.id, s).modified;
      const names = [refused(b.id, '   '), refused(b.id, 'shapes'), refused(b.id, 'x'.repeat(81)), refused(b.id, 'a\tb'),
                     refused('gone', 'free')];
      const renamed = m.renameProgram(b.id, '  paddle ', s);
      const afterRename = m.readProgram(b.id, s);
      // A tab that read version 1 keeps its text as a program of its own.
      const stale = m.saveProgram({ id: b.id, name: 'game', files: program, active: 'main.cpp', version: 1 }, s);
      const raw = m.deleteProgram(a.id, s);
      const overDeleted = m.saveProgram({ id: a.id, name: 'shapes', files: program, active: 'main.cpp', version: 1 }, s);
      const goneAfterSave = m.readProgram(a.id, s) === null;
      const back = m.restoreProgram(a.id, raw, s);
      const again = m.restoreProgram(a.id, raw, s);
      s.setItem('tavlo-playground-program:broken', '{"files": [');
      const unread = m.deleteProgram('broken', s);
      m.restoreProgram('broken', unread, s);
      return {
        names, renamed, afterRename: { name: afterRename.name, same: afterRename.modified === modified },
        stale: { forked: stale.forked, deleted: stale.deleted, other: stale.id !== b.id, kept: m.readProgram(b.id, s).name },
        overDeleted: { forked: overDeleted.forked, deleted: overDeleted.deleted, other: overDeleted.id !== a.id },
        goneAfterSave, back, again: again.name, restored: m.readProgram(a.id, s),
        broken: s.getItem('tavlo-playground-program:broken'), missing: m.deleteProgram('gone', s),
      };
    });
    check('renaming refuses an empty, taken, overlong or control-character name and a program no longer stored, ' +
          'and keeps the files and the time of the last change',
          /needs a name/.test(results.names[0]) && /another of your programs is called "shapes"/.test(results.names[1]) &&
          /at most 80/.test(results.names[2]) && /control/.test(results.names[3]) && /no longer stored/.test(results.names[4]) &&
          results.renamed.name === 'paddle' && results.renamed.version === 2 && results.afterRename.name === 'paddle' &&
          results.afterRename.same && results.stale.forked && !results.stale.deleted && results.stale.other &&
          results.stale.kept === 'paddle',
          JSON.stringify({ names: results.names, renamed: results.renamed, stale: results.stale }));
    check('a deleted program is not written back by a save (its text becomes a new program); brought back whole, ' +
          'it takes a free name and counts a version; what cannot be read comes back as it was',
          results.goneAfterSave && results.overDeleted.forked && results.overDeleted.deleted && results.overDeleted.other &&
          results.back.name === 'shapes (2)' && results.again === 'shapes (2)' &&
          results.restored.files[0].text === 'int main() {}\n' && results.restored.version === 2 &&
          results.broken === '{"files": [' && results.missing === null,
          JSON.stringify({ ...results, names: undefined }));

    // As a person does it: a second program beside the first, renamed, deleted
    // (while another tab shows it and an edit waits to be saved), brought back.
    const context = await browser.createBrowserContext();
    const a = await newPage(context);
    const answers = [];  // what each dialog is answered: a string (a prompt's text), true or false
    a.on('dialog', (dialog) => {
      const answer = answers.shift();
      return answer === false || answer === undefined ? dialog.dismiss()
        : dialog.accept(typeof answer === 'string' ? answer : undefined);
    });
    const menu = (p) => p.$$eval('#programs option', (all) => all.map((o) => o.textContent));
    const named = async (p, name) => (await storedPrograms(p)).filter((r) => JSON.parse(r.value).name === name);
    await open(a);
    await a.click('.cm-content');
    await a.keyboard.type('// first ');
    await poll('the first program stored', async () => (await named(a, 'shapes')).length === 1);
    await a.select('#programs', 'new');
    await a.click('.cm-content');
    await a.keyboard.type('// second ');
    await poll('the second program stored', async () => (await named(a, 'program')).length === 1);
    const key = (await named(a, 'program'))[0].key;

    answers.push('shapes');
    await a.select('#programs', 'rename');
    const clash = await text(a, '#status');
    answers.push('  paddle  ');
    await a.select('#programs', 'rename');
    await poll('the rename stored', async () => (await named(a, 'paddle')).length === 1);
    check('a second program is kept beside the first; renaming it to a name taken is refused with a line, ' +
          'a free name is taken (in the menu, the program shown marked)',
          /keeps its name "program".*another of your programs is called "shapes"/.test(clash) &&
          (await named(a, 'paddle'))[0].key === key && (await menu(a)).includes('\u2022 paddle') &&
          (await menu(a)).includes('shapes'),
          `${clash} | ${(await menu(a)).join(' | ')}`);

    // Another tab shows the same program.
    const b = await newPage(context);
    await open(b);
    const bShows = (await files(b))[0].text.includes('// second ');
    await a.bringToFront();
    answers.push(false);
    await a.select('#programs', 'delete');
    const declined = (await storedPrograms(a)).some((r) => r.key === key);
    await a.click('.cm-content');
    await a.keyboard.type('// unsaved ');
    answers.push(true);
    await a.select('#programs', 'delete');  // at once: the edit's save is still pending
    await until(a, 'the line offering the program back', () => document.querySelector('#notice div[data-key^="deleted-"] button'));
    await sleep(1000);  // longer than the save's delay: nothing may write it back
    const after = await storedPrograms(a);
    await until(b, 'the other tab told', () => /deleted in another tab/.test(document.querySelector('#notice').textContent));
    check('delete asks first; confirmed, the program leaves the storage and stays gone (no pending save writes it back), ' +
          'the editor shows the other program, and the other tab is told',
          bShows && declined && !after.some((r) => r.key === key || r.value.includes('// second ')) &&
          (await files(a))[0].text.includes('// first ') && !(await menu(a)).some((t) => t.includes('paddle')) &&
          /"paddle" is deleted/.test(await text(a, '#notice')),
          `${after.length} stored; ${await text(a, '#notice')}`);
    // The other tab's edit is kept as a program of its own, never under the deleted key.
    await b.bringToFront();
    await b.click('.cm-content');
    await b.keyboard.type('// from B ');
    await until(b, 'B\'s text kept', () => /deleted in another tab meanwhile.*kept as a program of its own/.test(
      document.querySelector('#notice').textContent));
    const fromB = await storedPrograms(b);
    check('the other tab\'s later edit is kept as a new program, not under the deleted one\'s key',
          fromB.some((r) => r.key !== key && r.value.includes('// from B ')) && !fromB.some((r) => r.key === key),
          await text(b, '#notice'));
    await b.close();

    await a.bringToFront();
    await a.click('#notice div[data-key^="deleted-"] button');
    await until(a, 'the program back in the editor', () => window.tavloProbe.files()[0].text.includes('// unsaved '));
    const restored = (await storedPrograms(a)).find((r) => r.key === key);
    await a.reload();
    await until(a, 'the editor', () => window.tavloProbe && document.querySelector('.cm-content'));
    check('the line brings the deleted program back with the edit made just before the delete, under a free name, ' +
          'and a reload shows it',
          restored && JSON.parse(restored.value).name === 'paddle (2)' && restored.value.includes('// unsaved ') &&
          (await files(a))[0].text.includes('// unsaved ') && (await menu(a)).includes('\u2022 paddle (2)'),
          `${restored && restored.value.slice(0, 80)} | ${(await menu(a)).join(' | ')}`);
    await a.close();
    await context.close();
  });

  // -------------------------------------------------------- 7. run, run again, stop; URL options
  await group('run and stop', async () => {
    await open(page, `${base}?seed=1&frames=100000`);
    await exampleOf(page, 'shapes');
    await page.click('#run');
    await until(page, 'the program\'s window', () =>
      (window.tavloStub ? window.tavloStub.running : !document.querySelector('#stop').disabled) &&
      document.querySelector('#desktop section.window:not([hidden]) canvas'));
    if (screenshot) {
      await sleep(300);
      await page.screenshot({ path: screenshot });
      figure(`screenshot: ${screenshot}`);
    }
    await page.click('#run');  // a running program is stopped, the new one runs
    await until(page, 'the second run', () => (!window.tavloStub || window.tavloStub.running) &&
      !document.querySelector('#stop').disabled);
    await page.click('#stop');
    await until(page, 'the stop', () => document.querySelector('#stop').disabled && document.querySelector('#console .exit'));
    check('Run while running runs anew; Stop ends the program and says so',
          (await page.$eval('#stop', (b) => b.disabled)) && (await consoleText(page)).includes('ended'),
          JSON.stringify((await consoleText(page)).slice(-120)));
    if (mode === 'stub') {
      // Stop while the program is compiled: it does not start afterwards.
      await page.evaluate(() => { window.tavloStubCompileMs = 300; });
      const built = await page.evaluate(() => window.tavloStub.built);
      await page.click('#run');
      await page.click('#stop');
      await until(page, 'the compile ending', (n) => window.tavloStub.built > n, built);
      await until(page, 'the program started after Stop ending', () => !window.tavloStub.running);
      check('Stop while compiling: the program does not go on running', await page.$eval('#stop', (b) => b.disabled));
      await page.evaluate(() => { window.tavloStubCompileMs = 0; });

      const runs = await page.evaluate(() => window.tavloStub.runs.map((r) => r.args.join(' ')));
      check('URL options become the program\'s arguments', runs.every((a) => a === '--seed=1 --frames=100000'), runs.join(' | '));
    } else {
      // A program that never waits runs in its own Worker: the editor still takes
      // typing while it runs, and Stop ends it.
      await openFiles(page, [{ name: 'main.cpp', text:
        '#include "tavlo.h"\nint WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {\n' +
        '    volatile unsigned spins = 0;\n    for (;;) { ++spins; }\n}\n' }]);
      await page.click('#run');
      await until(page, 'the endless program running', () =>
        !document.querySelector('#stop').disabled && document.querySelector('#desktop').childElementCount === 0 &&
        /running/.test(document.querySelector('#status').textContent));
      await page.click('.cm-content');
      await page.keyboard.press('End');
      await page.keyboard.type('// typed while it spins');
      const typed = (await files(page))[0].text.includes('// typed while it spins');
      const stillRunning = await running(page);
      await page.click('#stop');
      await until(page, 'the endless program stopping', () => document.querySelector('#stop').disabled);
      check('for(;;){} in WinMain: the editor takes typing while it runs; Stop ends it',
            typed && stillRunning, `typed ${typed}, running while typing ${stillRunning}`);

      // frames=3 closes the graphics window after 3 frames: the program ends by itself.
      await open(page, `${base}?frames=3`);
      await exampleOf(page, 'shapes');
      await page.click('#run');
      await until(page, 'shapes ending after 3 frames', () => document.querySelector('#console .exit'));
      check('URL options become the program\'s arguments (frames=3 ends it)', /exit code 0/.test(await consoleText(page)),
            JSON.stringify((await consoleText(page)).slice(-120)));
    }
    await open(page, `${base}?seed=1&sed=2`);
    const said = await text(page, '#notice');
    check('an unknown URL parameter is refused with a line naming it; Run is off',
          said.includes('"sed"') && said.includes('seed, client, frames') && (await page.$eval('#run', (b) => b.disabled)),
          said);
  });

  // -------------------------------------------------------- 2a. the reference at hand
  await group('the reference', async () => {
    // A page of its own, so the program the groups before share stays as it is.
    const tab = await newPage();
    await open(tab);
    // A misspelt call and colour: clang's message, and under it the nearest names.
    await openFiles(tab, [{ name: 'main.cpp', text: '#include "tavlo.h"\n' +
      'int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) {\n    open_display(i, p, c, s);\n' +
      '    draw_circle(Color::Red, 0, 0, 20, 20, 0);\n    draw_line(Color::Grey, 0, 0, 5, 5, 1);\n    return 0;\n}\n' }]);
    await tab.click('#run');
    await until(tab, 'the hints under the messages', () => document.querySelectorAll('#diagnostics .hint').length >= 2);
    const hints = await tab.$$eval('#diagnostics .hint', (all) => all.map((p) => p.textContent));
    check('a misspelt call and colour get a hint naming what tavlo.h has (draw_oval; Color::Gray50 and the 24)',
          hints.some((h) => h.includes('Did you mean draw_oval?') && h.includes('int draw_oval(')) &&
          hints.some((h) => h.includes('Color::Gray50') && h.includes('Gray20') && h.includes('ForestGreen')),
          hints.join(' | '));

    // Typing the start of a call offers tavlo.h's calls with what they take.
    await tab.click('.cm-content');
    await ctrl(tab, 'End');
    await tab.keyboard.type('\ndraw_');
    await until(tab, 'the completion list', () => document.querySelector('.cm-tooltip-autocomplete li'));
    const offered = await tab.$$eval('.cm-tooltip-autocomplete li', (all) => all.map((li) => li.textContent));
    check('typing draw_ offers the draw_ calls with their arguments',
          ['draw_oval', 'draw_text', 'draw_pixel'].every((n) => offered.some((o) => o.startsWith(n))) &&
          offered.some((o) => o.includes('(ColorIndex color')),
          offered.join(' | '));
    await tab.keyboard.press('Escape');
    const listed = await tab.$$eval('#reference-list li', (all) => all.map((li) => li.textContent));
    check('Help lists every call with its signature and a line of what it does',
          listed.length >= 18 && listed.some((l) => l.startsWith('int wait_event(int* x, int* y, char* key) Blocks')),
          `${listed.length} calls`);
    await tab.close();
  });

  // -------------------------------------------------------- 2c. the package's repairs at the program's line
  await group('repairs', async () => {
    const tab = await newPage();  // a page of its own: the program the groups before share stays
    await open(tab);
    // A bad colour at line 6 of the second file; the person's own log_printf
    // line and the call log are not repairs.
    const program = [
      { name: 'main.cpp', text: '#include "tavlo.h"\n#include "scene.h"\n\n' +
        'int WINAPI WinMain(HINSTANCE i, HINSTANCE p, LPSTR c, int s) {\n' +
        '    open_display(i, p, c, s);\n    set_logging(1);\n    log_printf("Illegal color 99; using RED.\\n");\n' +
        '    draw_scene();\n    int x = 0, y = 0;\n    char key = 0;\n' +
        '    while (wait_event(&x, &y, &key) != EventKind::Quit) {\n    }\n    close_display();\n    return 0;\n}\n' },
      { name: 'scene.h', text: '#pragma once\n#include "tavlo.h"\n\ninline void draw_scene() {\n' +
        '    draw_line(0, -100, 0, 100, 0, 1);\n    draw_rectangle(30, -50, -50, 50, 50, 0);\n}\n' },
    ];
    await openFiles(tab, program);
    await tab.click('#run');
    await until(tab, 'the repair in the output pane', () => document.querySelector('#console .repair'));
    const said = await tab.$$eval('#console .repair', (all) => all.map((e) => e.textContent));
    const listed = await tab.$$eval('#diagnostics li', (all) => all.map((li) => li.textContent));
    await tab.click('#console .repair');
    await until(tab, 'the jump to the call', () => window.tavloProbe.activeFile() === 'scene.h');
    const line = await text(tab, '.cm-activeLine');
    check('a bad colour\'s package line is in the output pane with the file and line of the call (once), listed ' +
          'as a warning there; a click shows that line',
          sameFiles(said, ['scene.h:6: Illegal color 30; using RED.\n']) &&
          listed.some((l) => l.startsWith('scene.h:6:5: warning: Illegal color 30; using RED.')) &&
          line.includes('draw_rectangle(30'),
          `${JSON.stringify(said)} | ${listed.join(' | ')} | "${line.trim()}"`);
    await tab.click('#stop');
    await until(tab, 'the stop', () => document.querySelector('#stop').disabled);
    await tab.close();
  });

  // -------------------------------------------------------- 8. a browser without JSPI
  await group('browser support', async () => {
    const plain = await newPage(browser, 'delete WebAssembly.Suspending;');
    await open(plain);
    await until(plain, 'the browser line', () => !document.querySelector('#notice').hidden);
    const said = await text(plain, '#notice');
    await plain.click('.cm-content');
    await plain.keyboard.type('x');
    check('without JSPI the page says which browsers run programs; Run is off, the editor works',
          /chrom/i.test(said) && /firefox/i.test(said) && (await plain.$eval('#run', (b) => b.disabled)) &&
          (await files(plain)).some((f) => f.text.includes('x')),
          said);
    await plain.close();

    // A browser storage that refuses to write: said, and said to stay.
    const full = await newPage(browser, `Storage.prototype.setItem = function () {
      throw new DOMException('the quota is exceeded', 'QuotaExceededError'); };`);
    await open(full);
    await full.click('.cm-content');
    await full.keyboard.type('y');
    await until(full, 'the failed save said', () => !document.querySelector('#notice').hidden);
    check('a program the browser\'s storage refuses is said to be not kept',
          /cannot be kept.*quota/.test(await text(full, '#notice')), await text(full, '#notice'));
    await full.close();

    // A runtime that does not load is said, and the editor still works.
    const cut = await newPage();
    await cut.setRequestInterception(true);
    cut.on('request', (request) => (request.url().includes('playground_runtime.js') ? request.abort() : request.continue()));
    await open(cut);
    await until(cut, 'the runtime\'s failure said', () => document.querySelector('#run').disabled);
    const status = await text(cut, '#status');
    check('a runtime that cannot be loaded is said on the status line and in the output pane; Run is off',
          /runtime could not be loaded/.test(status) && (await consoleText(cut)).includes('runtime could not be loaded'),
          status);
    await cut.close();
  });
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
finish();
