// Browser test of the web build: Debian's Chromium driven by puppeteer-core,
// against a loopback server of build-web/web. Compares the page with the
// native headless program (the same seed, frame count and script file) and
// measures the page: transfer size, load to first frame, idle CPU. Every page
// gets the test-only probe (page_probe.js) injected before its own scripts.
//
// No verdict depends on the machine's speed: checks count frames, waits and
// lines; waits for the page have a hang limit (HANG_MS) whose failure says
// "hung"; times are printed as figures only.
//
//   node tests/web/browser_test.mjs PAGES_DIR NATIVE_CUBES
//
// Prints one line per check, the figures, and "N passed, N failed" at the end;
// the exit code is 0 only when every check passed.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import { canvasPixels, check, differingPixels, figure, finish, hangWaits, launchChromium, readPng, serveFolder,
         sleep } from './harness.mjs';

const [pagesDir, nativeCubes] = process.argv.slice(2).map((p) => p && path.resolve(p));
if (!pagesDir || !nativeCubes) {
  console.error('usage: browser_test.mjs PAGES_DIR NATIVE_CUBES');
  process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tavlo-browser-'));

const HANG_MS = 60000;  // a page that has not done what is awaited by then has hung
const probeSource = fs.readFileSync(new URL('./page_probe.js', import.meta.url), 'utf8');


function runNative(args, cwd) {
  execFileSync(nativeCubes, ['--headless', ...args], { cwd, stdio: ['ignore', 'ignore', 'pipe'] });
}

// ------------------------------------------------------------ the server
// Serves the pages folder on 127.0.0.1 only, and counts what it sends.
const sent = new Map();  // path -> bytes (uncompressed)
const { server, origin: base } = await serveFolder(pagesDir, { onSent: (name, bytes) => sent.set(name, bytes) });

// ------------------------------------------------------------ the browser
const browser = await launchChromium(work);



function colourCount(picture, r, g, b, region) {
  let count = 0;
  for (let y = region.top; y < region.bottom; ++y) {
    for (let x = region.left; x < region.right; ++x) {
      const i = (y * picture.width + x) * 3;
      if (picture.rgb[i] === r && picture.rgb[i + 1] === g && picture.rgb[i + 2] === b) ++count;
    }
  }
  return count;
}

// A new tab with the probe injected before the page's own scripts (and `extra`
// after it, e.g. to take something away from the page).
async function newPage(extra = null) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 900 });
  await page.evaluateOnNewDocument(probeSource);
  if (extra) await page.evaluateOnNewDocument(extra);
  return page;
}

// Waits until fn(...args) holds in the page (until) or in node (poll); past
// HANG_MS the page has hung.
const { until, poll } = hangWaits(HANG_MS);

const frames = (page, title = 'TAVLO Graphics') =>
  page.evaluate((t) => window.tavloProbe.framesOf(t), title);
// Waits for `count` frames more than `start` (default: those shown now).
async function waitFrames(page, count, start = null) {
  if (start === null) start = await frames(page);
  await until(page, `${count} more frames`, (n) => window.tavloProbe.framesOf('TAVLO Graphics') >= n,
              start + count);
}
// Waits until the program has taken the input sent so far and stands still: two
// of its timer waits in a row ran to their end without a frame in between.
async function settle(page) {
  await page.evaluate(() => { window.tavloProbe.settled = null; });
  await until(page, 'the page coming to rest', () => {
    const p = window.tavloProbe;
    const s = p.settled || (p.settled = { presents: p.presents, expired: p.waits.expired });
    if (p.presents !== s.presents) { s.presents = p.presents; s.expired = p.waits.expired; }
    return p.waits.expired - s.expired >= 2;
  });
}
async function ctrl(page, letter) {
  await page.keyboard.down('Control');
  await page.keyboard.press(`Key${letter}`);
  await page.keyboard.up('Control');
}
// A click at client coordinates of the graphics window's canvas.
async function clickClient(page, x, y) {
  const box = await (await page.$('section.window[data-title="TAVLO Graphics"] canvas')).boundingBox();
  await page.mouse.click(box.x + x, box.y + y);
}
const exitCode = (page) => page.evaluate(() => window.tavloProbe.exitCode);
const scriptText = (page) => page.evaluate(() => window.tavloProbe.scriptText());
const statusText = (page) => page.$eval('#tavlo-status', (e) => e.textContent);
const mouseLines = (text) => (text || '').split('TAVLO_MOUSE').length - 1;
// A recording's last line: the counted periodic events after its last other event.
const endsWithCount = (text) => /TAVLO_PERIODIC\([1-9][0-9]*\);\n$/.test(text || '');

// Runs one group of checks; a group that throws (a hang) fails alone.
async function group(name, body) {
  try {
    await body();
  } catch (error) {
    check(`${name}: ran to the end`, false, error && error.message ? error.message : String(error));
  }
}

try {
  // -------------------------------------------------------- 1. seed=1 after N frames
  const N = 40;
  const reference = path.join(work, 'frames.png');
  runNative(['--frames', String(N), '--seed', '1', '--save', reference], work);
  const page = await newPage();
  await page.goto(`${base}/cubes.html?seed=1&frames=${N}`);
  await until(page, 'the first frame', () => window.tavloProbe.presents > 0);
  check('the first frame appears', true);
  await until(page, `the program ending after ${N} frames`, () => window.tavloProbe.exitCode !== null);
  const shown = await canvasPixels(page, 'TAVLO Graphics');
  const native = readPng(reference);
  const differ = differingPixels(shown, native);
  check(`seed=1, ${N} frames: the canvas equals the native headless picture`, differ === 0,
        differ < 0 ? `sizes ${shown && shown.width}x${shown && shown.height} vs ${native.width}x${native.height}`
                   : `${differ} pixels differ`);
  check('frames=N ends the program with exit code 0', (await exitCode(page)) === 0);
  let total = 0, gzipped = 0;
  for (const [name, bytes] of sent) {
    total += bytes;
    gzipped += zlib.gzipSync(fs.readFileSync(path.join(pagesDir, name)), { level: 9 }).length;
  }
  figure(`transfer: ${[...sent.keys()].join(' ')}: ${total} bytes, gzip -9 ${gzipped} bytes`);
  check('everything the page transfers, gzip-compressed, is under 1.5 MB', gzipped < 1.5 * 1024 * 1024,
        `${(gzipped / 1024).toFixed(0)} KiB`);

  // client=WxH, as --client: the graphics window's client size, the same picture.
  const small = path.join(work, 'client.png');
  runNative(['--frames', '12', '--seed', '1', '--client', '320x240', '--save', small], work);
  await page.goto(`${base}/cubes.html?seed=1&client=320x240&frames=12`);
  await until(page, 'the program ending after 12 frames', () => window.tavloProbe.exitCode !== null);
  const smallShown = await canvasPixels(page, 'TAVLO Graphics');
  const smallDiffer = differingPixels(smallShown, readPng(small));
  check('client=320x240 gives that client area and the native --client picture', smallDiffer === 0,
        `${smallShown.width}x${smallShown.height}, ${smallDiffer} pixels differ`);

  // -------------------------------------------------------- 2. menu, colour, log
  await page.goto(`${base}/cubes.html?seed=1`);
  await page.waitForSelector('section.window[data-title="TAVLO Graphics"] canvas', { timeout: HANG_MS });
  await waitFrames(page, 5);
  const titles = await page.$$eval('section.window', (all) =>
    all.map((w) => `${w.querySelector('.caption-text').textContent}:${w.hidden ? 'hidden' : 'shown'}`));
  check('both windows appear with their title bars',
        titles.includes('TAVLO Graphics:shown') && titles.includes('TAVLO Text:shown'), titles.join(', '));
  const menu = await page.$$eval('section.window[data-title="TAVLO Graphics"] .menubar li', (items) =>
    items.map((li) => ({ text: li.textContent, checked: li.classList.contains('checked'),
                         separator: li.classList.contains('separator') })));
  const menuTitle = await page.$eval('section.window[data-title="TAVLO Graphics"] .menubar .title',
                                     (t) => t.innerHTML);
  check('the Run menu is mirrored with access letters, separators and shortcut texts',
        menuTitle.includes('<u>R</u>un') && menu.some((m) => m.separator) &&
        menu.some((m) => m.text.includes('Ctrl+Q')) && menu.length >= 10,
        menu.map((m) => (m.separator ? '---' : m.text)).join(' | '));

  // 20% gray (23) is the cubes' first colour; "change color" makes it black (0).
  const scene = { left: 120, right: 520, top: 120, bottom: 460 };
  await ctrl(page, 'H');  // halted, so the picture is steady (and no frames come)
  await settle(page);
  const before = await canvasPixels(page, 'TAVLO Graphics');
  const grayBefore = colourCount(before, 204, 204, 204, scene);
  const unchanged = await frames(page);
  await clickClient(page, 557, 15);  // the "change color" button (260, 230)
  await waitFrames(page, 1, unchanged);
  await settle(page);
  const after = await canvasPixels(page, 'TAVLO Graphics');
  const grayAfter = colourCount(after, 204, 204, 204, scene);
  const blackBefore = colourCount(before, 0, 0, 0, scene), blackAfter = colourCount(after, 0, 0, 0, scene);
  check('a click on "change color" turns the cubes black',
        grayBefore > 500 && grayAfter === 0 && blackAfter > blackBefore + 500,
        `gray ${grayBefore} -> ${grayAfter}, black ${blackBefore} -> ${blackAfter}`);

  const textBefore = await canvasPixels(page, 'TAVLO Text');
  const linesBefore = await page.evaluate(() => window.tavloProbe.debugLines.length);
  const unlogged = await frames(page);
  await ctrl(page, 'L');
  await ctrl(page, 'F');  // one frame, drawn with every call logged
  await waitFrames(page, 1, unlogged);
  await settle(page);
  const logged = await page.evaluate((n) => window.tavloProbe.debugLines.slice(n), linesBefore);
  const textAfter = await canvasPixels(page, 'TAVLO Text');
  const inkRows = (p) => {
    let rows = 0;
    for (let y = 0; y < p.height; ++y) {
      let ink = false;
      for (let x = 0; x < p.width && !ink; ++x) ink = p.rgb[(y * p.width + x) * 3] < 128;
      if (ink) ++rows;
    }
    return rows;
  };
  const menuChecked = await page.$$eval('section.window[data-title="TAVLO Graphics"] .menubar li.checked',
                                        (items) => items.map((li) => li.textContent));
  check('Ctrl+L fills the text window with call-log lines (and checks Logging)',
        logged.length > 25 && inkRows(textAfter) > inkRows(textBefore) + 60 &&
        menuChecked.some((t) => t.includes('Logging')),
        `${logged.length} lines, e.g. ${JSON.stringify(logged[logged.length - 1] || '')}; ink rows ` +
        `${inkRows(textBefore)} -> ${inkRows(textAfter)}`);
  await ctrl(page, 'L');

  // -------------------------------------------------------- 3. a halted page rests
  // Counted, not timed: while halted the program draws nothing, never takes the
  // busy program's turn (a wait of 0 ms), and wakes only when its 50 ms timer's
  // wait runs out. The page's CPU figures are bench/web_figures.mjs's.
  const counters = () => page.evaluate(() => {
    const p = window.tavloProbe;
    return { presents: p.presents, zero: p.waits.zero, waits: p.totalWaits(), expired: p.waits.expired };
  });
  async function measure(ms) {
    const c0 = await counters();
    await sleep(ms);
    const c1 = await counters();
    return { presents: c1.presents - c0.presents, zero: c1.zero - c0.zero, waits: c1.waits - c0.waits,
             expired: c1.expired - c0.expired };
  }
  await settle(page);
  const halted = await measure(3000);
  await ctrl(page, 'A');
  await waitFrames(page, 3);
  // Every wake-up of the halted program is its timer's wait running out; one
  // wait may straddle each end.
  check('the halted page rests: no frame, no busy turn, no wake-up but its timer\'s',
        halted.presents === 0 && halted.zero === 0 && halted.waits > 0 &&
          Math.abs(halted.waits - halted.expired) <= 1,
        `${halted.presents} frames, ${halted.zero} busy turns, ${halted.waits} wake-ups, ` +
        `${halted.expired} of them timers running out`);

  // -------------------------------------------------------- 4. record, reload, replay
  await ctrl(page, 'R');
  await waitFrames(page, 4);
  await clickClient(page, 35, 105);  // scale up
  await waitFrames(page, 4);
  await clickClient(page, 557, 15);  // change colour
  await waitFrames(page, 4);
  await clickClient(page, 35, 105);  // scale up
  await waitFrames(page, 6);
  await ctrl(page, 'R');
  const script = await poll('the recording reaching IndexedDB', async () => {
    const stored = await page.evaluate(() => window.tavloProbe.storedScript());
    return stored !== null && endsWithCount(stored) && stored === (await scriptText(page)) ? stored : null;
  });
  check('Ctrl+R ... Ctrl+R records the clicks in TAVLO.SCR in the browser\'s storage',
        mouseLines(script) === 3, JSON.stringify(script));

  const downloads = path.join(work, 'downloads');
  fs.mkdirSync(downloads);
  // The browser writes a download under a temporary name and renames it when
  // done, and a loaded machine may take seconds: wait for its own word that the
  // download ended, then for the file to hold the whole recording.
  const session = await page.createCDPSession();
  const ended = new Promise((resolve) => {
    const seen = (event) => {
      if (event.state === 'completed' || event.state === 'canceled') resolve(event.state);
    };
    session.on('Browser.downloadProgress', seen);
    session.on('Page.downloadProgress', seen);
    setTimeout(() => resolve(`hung: no word of the download in ${HANG_MS / 1000} s`), HANG_MS);
  });
  await session.send('Browser.setDownloadBehavior',
                     { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
  await page.click('#tavlo-download');
  const downloadState = await ended;
  const downloaded = path.join(downloads, 'TAVLO.SCR');
  const readDownload = () => (fs.existsSync(downloaded) ? fs.readFileSync(downloaded, 'utf8') : null);
  await poll('the download holding the recording', () => readDownload() === script).catch(() => {});
  check('"download TAVLO.SCR" gives the recorded file', readDownload() === script,
        `${downloadState}; folder holds ${JSON.stringify(fs.readdirSync(downloads))}`);

  // The reload starts the program afresh; Ctrl+P comes before its first tick,
  // as the native replay's does (its input plan presses Ctrl+P at tick 0).
  const early = await page.evaluateOnNewDocument(() => {
    // Typed before the program's first wait: queued by the page before main runs.
    window.Module = window.Module || {};
    (window.Module.preRun = window.Module.preRun || []).push(() => {
      const send = (type, key, code, ctrlKey) =>
        document.dispatchEvent(new KeyboardEvent(type, { key, code, ctrlKey, bubbles: true }));
      send('keydown', 'Control', 'ControlLeft', true);
      send('keydown', 'p', 'KeyP', true);
      send('keyup', 'p', 'KeyP', true);
      send('keyup', 'Control', 'ControlLeft', false);
    });
  });
  await page.reload();
  await until(page, 'the replay reaching the end of the script', () =>
    window.tavloProbe.debugLines.some((l) => l.includes('EOF encountered')));
  await page.removeScriptToEvaluateOnNewDocument(early.identifier);
  await settle(page);  // playback halted the animation: the picture stays
  const replayed = await canvasPixels(page, 'TAVLO Graphics');
  const replayDir = path.join(work, 'replay');
  fs.mkdirSync(replayDir);
  fs.writeFileSync(path.join(replayDir, 'TAVLO.SCR'), script);
  fs.writeFileSync(path.join(replayDir, 'plan.txt'), '0 ctrl P\n');
  runNative(['--seed', '1', '--input', 'plan.txt', '--save', 'replay.png'], replayDir);
  const nativeReplay = readPng(path.join(replayDir, 'replay.png'));
  const replayDiffer = differingPixels(replayed, nativeReplay);
  check('after a reload, Ctrl+P replays the recording to the native replay\'s picture',
        replayDiffer === 0, `${replayDiffer} pixels differ`);

  // -------------------------------------------------------- 5. load a file, Quit
  const natived = path.join(work, 'native-record');
  fs.mkdirSync(natived);
  fs.writeFileSync(path.join(natived, 'plan.txt'), '2 ctrl R\n5 click 557 15\n9 click 35 105\n14 ctrl R\n');
  runNative(['--seed', '1', '--input', 'plan.txt', '--frames', '20'], natived);
  const chooser = await page.$('#tavlo-load');
  await chooser.uploadFile(path.join(natived, 'TAVLO.SCR'));
  await until(page, 'the loaded file in place', (t) => window.tavloProbe.scriptText() === t,
              fs.readFileSync(path.join(natived, 'TAVLO.SCR'), 'utf8'));
  check('"load TAVLO.SCR" puts a desktop recording where Playback Script reads it', true);

  await page.click('section.window[data-title="TAVLO Graphics"] .menubar .title');
  const quit = await page.$$('section.window[data-title="TAVLO Graphics"] .menubar li.item');
  let quitItem = null;
  for (const item of quit) {
    if ((await item.evaluate((li) => li.textContent)).includes('Quit')) quitItem = item;
  }
  await quitItem.click();
  await until(page, 'the program ending after Quit', () => window.tavloProbe.exitCode !== null);
  const banner = await page.$eval('#tavlo-exit', (e) => e.textContent);
  check('the menu\'s Quit ends the program and the page shows exit code 0',
        (await exitCode(page)) === 0 && banner.includes('exit code 0'), banner);
  await page.close();

  // -------------------------------------------------------- 6. a recording outlives the page
  await group('reload mid-recording', async () => {
    const tab = await newPage();
    await tab.goto(`${base}/cubes.html?seed=1`);
    await waitFrames(tab, 3);
    await ctrl(tab, 'R');
    await waitFrames(tab, 2);
    await clickClient(tab, 35, 105);
    await waitFrames(tab, 2);
    await tab.keyboard.press('KeyX');
    // Punctuation and a code page 1252 character take the platform's keyboard
    // table: ';' types 59, and a key showing the euro sign types byte 0x80. A
    // character beyond code page 1252 (pi, an emoji) comes as its UTF-8 bytes.
    await tab.keyboard.press('Semicolon');
    await tab.evaluate(() => {
      for (const key of ['\u20ac', '\u03c0', '\u{1F600}']) {
        for (const type of ['keydown', 'keyup']) {
          document.dispatchEvent(new KeyboardEvent(type, { key, bubbles: true }));
        }
      }
    });
    await waitFrames(tab, 2);
    await clickClient(tab, 557, 15);
    // While the page stays, the lines reach IndexedDB of their own accord.
    await poll('the recorded lines reaching IndexedDB while the page stays', async () => {
      const stored = await tab.evaluate(() => window.tavloProbe.storedScript());
      return mouseLines(stored) === 2 && stored.includes('TAVLO_KBD(120);');
    });
    await waitFrames(tab, 3);
    await clickClient(tab, 35, 105);
    await until(tab, 'the third click recorded', () =>
      (window.tavloProbe.scriptText() || '').split('TAVLO_MOUSE').length - 1 === 3);
    await waitFrames(tab, 3);  // periodic events counted, their line not yet written
    await tab.reload();
    await until(tab, 'the program starting again', () => window.tavloProbe.framesOf('TAVLO Graphics') > 0);
    const kept = await scriptText(tab);
    check('a reload mid-recording keeps every line recorded (characters beyond 1252 as UTF-8 bytes) ' +
          'and the counted periodic events',
          mouseLines(kept) === 3 && kept.includes('TAVLO_KBD(120);\nTAVLO_KBD(59);\nTAVLO_KBD(-128);\n' +
            'TAVLO_KBD(-49);\nTAVLO_KBD(-128);\nTAVLO_KBD(-16);\nTAVLO_KBD(-97);\nTAVLO_KBD(-104);\nTAVLO_KBD(-128);') &&
            endsWithCount(kept),
          JSON.stringify(kept));
    await settle(tab).catch(() => {});
    await tab.close();

    const closing = await newPage();
    await closing.goto(`${base}/cubes.html?seed=1`);
    await waitFrames(closing, 3);
    await ctrl(closing, 'R');
    await waitFrames(closing, 2);
    await clickClient(closing, 557, 15);
    await until(closing, 'the click recorded', () =>
      (window.tavloProbe.scriptText() || '').includes('TAVLO_MOUSE'));
    await waitFrames(closing, 3);
    await closing.close();
    const next = await newPage();
    await next.goto(`${base}/cubes.html?seed=1`);
    await until(next, 'the program starting', () => window.tavloProbe.framesOf('TAVLO Graphics') > 0);
    const left = await scriptText(next);
    check('closing the tab mid-recording keeps the recording',
          mouseLines(left) === 1 && endsWithCount(left), JSON.stringify(left));
    await next.close();
  });

  // -------------------------------------------------------- 7. no load while recording or playing
  await group('load refused', async () => {
    const tab = await newPage();
    await tab.goto(`${base}/cubes.html?seed=1`);
    await waitFrames(tab, 3);
    const other = path.join(work, 'other.SCR');
    fs.writeFileSync(other, 'TAVLO_MOUSE(1, 2);\n');
    const load = async (file) => {
      const said = await statusText(tab);
      await (await tab.$('#tavlo-load')).uploadFile(file);
      await until(tab, 'the page answering the load',
                  (b) => document.getElementById('tavlo-status').textContent !== b, said);
      return statusText(tab);
    };
    await ctrl(tab, 'R');  // Record Script on; no line written yet while only periodic events come
    await waitFrames(tab, 2);
    const whileRecording = await load(other);
    await ctrl(tab, 'R');
    await waitFrames(tab, 2);
    const recorded = await scriptText(tab);
    check('"load TAVLO.SCR" is refused while Record Script is on, and says why',
          /TAVLO\.SCR is in use by the program: stop recording/.test(whileRecording) &&
          recorded !== 'TAVLO_MOUSE(1, 2);\n' && endsWithCount(recorded),
          `${JSON.stringify(whileRecording)}; file ${JSON.stringify(recorded)}`);

    const long = path.join(work, 'long.SCR');
    fs.writeFileSync(long, 'TAVLO_PERIODIC(1000000);\n');
    await load(long);
    await until(tab, 'the long script loaded', () => window.tavloProbe.scriptText() === 'TAVLO_PERIODIC(1000000);\n');
    await ctrl(tab, 'P');  // Playback Script on, for a long while
    await waitFrames(tab, 3);
    const whilePlaying = await load(other);
    await ctrl(tab, 'P');
    check('"load TAVLO.SCR" is refused while Playback Script is on, and says why',
          /TAVLO\.SCR is in use by the program/.test(whilePlaying) &&
          (await scriptText(tab)) === 'TAVLO_PERIODIC(1000000);\n', JSON.stringify(whilePlaying));
    await tab.close();
  });

  // -------------------------------------------------------- 8. without IndexedDB
  await group('no IndexedDB', async () => {
    const variants = [
      ['no window.indexedDB', () => {
        Object.defineProperty(window, 'indexedDB', { value: undefined, configurable: true });
      }],
      ['an IndexedDB that never answers', () => {
        IDBFactory.prototype.open = function () { return {}; };
      }],
      ['an IndexedDB that throws', () => {
        IDBFactory.prototype.open = function () { throw new TypeError('x is not a function'); };
      }],
    ];
    for (const [name, takeAway] of variants) {
      const tab = await newPage(takeAway);
      await tab.goto(`${base}/cubes.html?seed=1`);
      await until(tab, `${name}: the page saying recordings will not last`, () =>
        /will not survive a reload/.test(document.getElementById('tavlo-status').textContent));
      await waitFrames(tab, 3);
      await ctrl(tab, 'R');
      await waitFrames(tab, 2);
      await clickClient(tab, 557, 15);
      await waitFrames(tab, 2);
      await ctrl(tab, 'R');
      await until(tab, `${name}: the recording closed`, () =>
        /TAVLO_PERIODIC/.test(window.tavloProbe.scriptText() || ''));
      const text = await scriptText(tab);
      check(`${name}: the page says recordings will not survive a reload (in plain words), and records in memory`,
            mouseLines(text) === 1 && (await exitCode(tab)) === null && !/Error/.test(await statusText(tab)),
            `${JSON.stringify(await statusText(tab))}; file ${JSON.stringify(text)}`);
      await tab.close();
    }
  });

  // -------------------------------------------------------- 9. unknown URL parameters
  await group('unknown URL parameter', async () => {
    const tab = await newPage();
    await tab.goto(`${base}/cubes.html?seed=1&frmaes=10`);
    await until(tab, 'the page refusing a misspelt parameter', () =>
      /frmaes/.test(document.body.textContent));
    const said = await tab.$eval('#tavlo-exit', (e) => (e.hidden ? '' : e.textContent));
    const windows = await tab.$$eval('section.window', (all) => all.length);
    check('an unknown URL parameter stops the page, naming it and the known ones',
          /frmaes/.test(said) && /seed/.test(said) && /client/.test(said) && /frames/.test(said) &&
          windows === 0, `${JSON.stringify(said)}; ${windows} windows`);
    await tab.close();
  });

  // -------------------------------------------------------- 10. input a program switched on
  // The drag example asks for mouse movement, releases and the right button: the
  // page's drags and right clicks reach it and are recorded as their own lines,
  // a key it did not ask for is not. The cubes demo asks for nothing: the same
  // mouse and keys record nothing new.
  await group('switched-on input', async () => {
    const drag = async (tab) => {
      const box = await (await tab.$('section.window[data-title="TAVLO Graphics"] canvas')).boundingBox();
      await tab.mouse.move(box.x + 100, box.y + 300);
      await tab.mouse.down();
      await tab.mouse.move(box.x + 150, box.y + 250);
      await tab.mouse.move(box.x + 200, box.y + 300);
      await tab.mouse.up();
      await tab.mouse.click(box.x + 250, box.y + 100, { button: 'right' });
      await tab.keyboard.press('ArrowLeft');
    };
    // Records the drag between two Ctrl+R, each awaited through the Record Script
    // check mark, so the recording holds the whole drag and is closed.
    const recording = (tab, on) => until(tab, `Record Script ${on ? 'on' : 'off'}`, (want) =>
      [...document.querySelectorAll('section.window[data-title="TAVLO Graphics"] .menubar li.checked')]
        .some((li) => li.textContent.includes('Record')) === want, on);
    const recordDrag = async (tab) => {
      await ctrl(tab, 'R');
      await recording(tab, true);
      await drag(tab);
      await ctrl(tab, 'R');
      await recording(tab, false);
      return (await scriptText(tab)) || '';
    };
    const tab = await newPage();
    await tab.goto(`${base}/drag.html`);
    await until(tab, 'the drag page drawn', () => window.tavloProbe.framesOf('TAVLO Graphics') >= 1);
    const text = await recordDrag(tab);
    check('a program that switched input on gets the page\'s drags, releases and right clicks, ' +
          'recorded as their lines; a key it did not ask for adds none',
          mouseLines(text) === 1 && /TAVLO_DRAG\(-?\d+, -?\d+, 1\);/.test(text) &&
          /TAVLO_UP\(-?\d+, -?\d+, 1\);/.test(text) && /TAVLO_RIGHT\(/.test(text) &&
          /TAVLO_UP\(-?\d+, -?\d+, 2\);/.test(text) && !/VKEY|LIFT/.test(text),
          JSON.stringify(text));
    await tab.close();

    const cubes = await newPage();
    await cubes.goto(`${base}/cubes.html?seed=1`);
    await waitFrames(cubes, 3);
    const old = await recordDrag(cubes);
    check('a program that asked for nothing records only clicks, keys and periodic lines',
          mouseLines(old) === 1 &&
          old.split('\n').every((line) => line === '' || /^TAVLO_(MOUSE|KBD|PERIODIC)\(/.test(line)),
          JSON.stringify(old));
    await cubes.close();
  });

  // -------------------------------------------------------- 11. focus, capture, held keys
  await group('focus, capture and held keys', async () => {
    // A press in the window gives it the keys, even when a button of the page
    // had the focus; Space then is the program's, not the button's.
    const tab = await newPage();
    await tab.goto(`${base}/cubes.html?seed=1`);
    await waitFrames(tab, 3);
    await tab.focus('#tavlo-download');
    await clickClient(tab, 300, 300);
    await tab.keyboard.press('Space');
    const logging = () => tab.$$eval('section.window[data-title="TAVLO Graphics"] .menubar li.checked',
                                     (items) => items.some((li) => li.textContent.includes('Logging')));
    const loggingBefore = await logging();
    await ctrl(tab, 'L');
    await until(tab, 'Ctrl+L reaching the program', (was) =>
      [...document.querySelectorAll('section.window[data-title="TAVLO Graphics"] .menubar li.checked')]
        .some((li) => li.textContent.includes('Logging')) !== was, loggingBefore);
    check('a press in the window gives it the keys: Ctrl+L reaches the program, Space does not press the ' +
          'page\'s button that had the focus',
          !/No TAVLO\.SCR/.test(await statusText(tab)), await statusText(tab));

    // Ctrl pressed in the window, its release never seen (the person switched
    // to another tab with Ctrl held), then q typed: a letter, not Ctrl+Q. The
    // keys go straight to the page, so nothing but the events says what is held.
    const keys = await tab.createCDPSession();
    const key = (type, k, code, vk, modifiers) => keys.send('Input.dispatchKeyEvent',
      { type, key: k, code, windowsVirtualKeyCode: vk, modifiers, ...(type === 'keyDown' && k.length === 1 ? { text: k } : {}) });
    await clickClient(tab, 300, 300);
    await key('rawKeyDown', 'Control', 'ControlLeft', 17, 2);
    const other = await browser.newPage();
    await other.bringToFront();
    await other.close();
    await tab.bringToFront();
    await clickClient(tab, 300, 300);
    await key('keyDown', 'q', 'KeyQ', 81, 0);
    await key('keyUp', 'q', 'KeyQ', 81, 0);
    await ctrl(tab, 'L');  // a real shortcut after it, awaited: the q has been taken
    await until(tab, 'Ctrl+L after the q', (was) =>
      [...document.querySelectorAll('section.window[data-title="TAVLO Graphics"] .menubar li.checked')]
        .some((li) => li.textContent.includes('Logging')) === was, loggingBefore);
    check('Ctrl released while the window had no focus does not stay held: q afterwards does not quit',
          (await exitCode(tab)) === null);
    await tab.close();

    // A drag from the window released outside it: the moves and the release
    // arrive, at the program's coordinates outside its area (the capture).
    const drag = await newPage();
    await drag.goto(`${base}/drag.html`);
    await until(drag, 'the drag page drawn', () => window.tavloProbe.framesOf('TAVLO Graphics') >= 1);
    const box = await (await drag.$('section.window[data-title="TAVLO Graphics"] canvas')).boundingBox();
    const recordingOn = (on) => until(drag, `Record Script ${on ? 'on' : 'off'}`, (want) =>
      [...document.querySelectorAll('section.window[data-title="TAVLO Graphics"] .menubar li.checked')]
        .some((li) => li.textContent.includes('Record')) === want, on);
    await ctrl(drag, 'R');
    await recordingOn(true);
    await drag.mouse.move(box.x + 40, box.y + 100);
    await drag.mouse.down();
    await drag.mouse.move(box.x + 20, box.y + 100);
    await drag.mouse.move(box.x - 30, box.y + 100);  // 30 pixels left of the client area
    await drag.mouse.up();
    await ctrl(drag, 'R');
    await recordingOn(false);
    const text = (await scriptText(drag)) || '';
    const width = Math.round(box.width);
    const left = -30 - Math.floor(width / 2);  // canvas x of client x -30 (origin at the centre)
    check('a drag released outside the window: the move and the release arrive at their outside place',
          new RegExp(`TAVLO_DRAG\\(${left}, -?\\d+, 1\\);`).test(text) &&
          new RegExp(`TAVLO_UP\\(${left}, -?\\d+, 1\\);`).test(text),
          JSON.stringify(text));
    await drag.close();
  });

  // -------------------------------------------------------- 12. a finger as the mouse
  // On the drag example (it asked for moves, releases and the right button):
  // a tap is a click, a drag a drag, a finger held still the right button,
  // each at the program's coordinates of the touch, and a touch gives the
  // window the keys. The long press is never raced: tap and drag run with a
  // long-press delay no machine reaches, and the held finger is lifted only
  // once the page has sent the right press.
  await group('touch', async () => {
    const tab = await newPage();
    await tab.setViewport({ width: 1100, height: 900, hasTouch: true });
    await tab.goto(`${base}/drag.html`);
    await until(tab, 'the drag page drawn', () => window.tavloProbe.framesOf('TAVLO Graphics') >= 1);
    const box = await (await tab.$('section.window[data-title="TAVLO Graphics"] canvas')).boundingBox();
    const size = await tab.$eval('section.window[data-title="TAVLO Graphics"] canvas',
                                 (c) => ({ width: c.width, height: c.height }));
    const cx = (x) => x - Math.floor(size.width / 2), cy = (y) => Math.floor(size.height / 2) - y;
    const at = (x, y) => `${cx(x)}, ${cy(y)}`;
    const recordingOn = (on) => until(tab, `Record Script ${on ? 'on' : 'off'}`, (want) =>
      [...document.querySelectorAll('section.window[data-title="TAVLO Graphics"] .menubar li.checked')]
        .some((li) => li.textContent.includes('Record')) === want, on);
    const longPress = (ms) => tab.evaluate((d) => {
      const desktop = document.getElementById('tavlo-desktop');
      if (d) desktop.dataset.longPress = String(d); else delete desktop.dataset.longPress;
    }, ms);
    const touchAt = (x, y) => [box.x + x, box.y + y];
    await ctrl(tab, 'R');
    await recordingOn(true);
    await longPress(3600000);
    await tab.focus('#tavlo-download');  // the page's button has the keys until the tap
    await tab.touchscreen.tap(...touchAt(100, 300));
    await tab.keyboard.press('KeyC');
    await tab.touchscreen.touchStart(...touchAt(200, 300));
    await tab.touchscreen.touchMove(...touchAt(250, 250));
    await tab.touchscreen.touchMove(...touchAt(300, 300));
    await tab.touchscreen.touchEnd();
    await longPress(0);  // the page's own delay
    await tab.touchscreen.touchStart(...touchAt(250, 100));
    await until(tab, 'the held finger pressing the right button', () =>
      /TAVLO_RIGHT\(/.test(window.tavloProbe.scriptText() || ''));
    await tab.touchscreen.touchEnd();
    await until(tab, 'the held finger lifted', () =>
      /TAVLO_UP\(-?\d+, -?\d+, 2\);/.test(window.tavloProbe.scriptText() || ''));
    await ctrl(tab, 'R');
    await recordingOn(false);
    const text = (await scriptText(tab)) || '';
    const lines = text.split('\n').filter((line) => line && !/^TAVLO_PERIODIC\(/.test(line));
    const want = [
      `TAVLO_MOUSE(${at(100, 300)});`, `TAVLO_UP(${at(100, 300)}, 1);`,
      'TAVLO_KBD(99);',
      `TAVLO_MOUSE(${at(200, 300)});`, `TAVLO_DRAG(${at(250, 250)}, 1);`, `TAVLO_DRAG(${at(300, 300)}, 1);`,
      `TAVLO_UP(${at(300, 300)}, 1);`,
      `TAVLO_RIGHT(${at(250, 100)});`, `TAVLO_UP(${at(250, 100)}, 2);`,
    ];
    check('touch: a tap is a click and gives the window the keys, a drag drags with the left button, ' +
          'a finger held still is the right button, all at the touched program coordinates',
          JSON.stringify(lines) === JSON.stringify(want),
          `got ${JSON.stringify(lines)}, want ${JSON.stringify(want)}`);
    check('touch: the canvas takes touches for itself (no scroll or zoom)',
          (await tab.$eval('section.window canvas', (c) => getComputedStyle(c).touchAction)) === 'none');
    await tab.close();
  });

  // -------------------------------------------------------- 13. a small screen
  // At 390 px wide the windows are scaled to fit the screen, and a tap lands at
  // the program's coordinates of the pixel under the finger; so does one on the
  // graphics window alone, full screen.
  await group('small screen', async () => {
    const tab = await newPage();
    await tab.setViewport({ width: 390, height: 844, hasTouch: true, isMobile: true });
    await tab.goto(`${base}/drag.html`);
    await until(tab, 'the drag page drawn', () => window.tavloProbe.framesOf('TAVLO Graphics') >= 1);
    const graphics = 'section.window[data-title="TAVLO Graphics"]';
    const size = await tab.$eval(`${graphics} canvas`, (c) => ({ width: c.width, height: c.height }));
    const at = (x, y) => `${x - Math.floor(size.width / 2)}, ${Math.floor(size.height / 2) - y}`;
    // Whether a recorded line is a press or release (`kind`) within one program
    // pixel of client (x, y): the browser takes touch points to whole screen
    // pixels, and one of those covers more than one program pixel when scaled.
    const near = (line, kind, x, y) => {
      const m = new RegExp(`^TAVLO_${kind}\\((-?\\d+), (-?\\d+)[,)]`).exec(line || '');
      const [wx, wy] = at(x, y).split(', ').map(Number);
      return !!m && Math.abs(Number(m[1]) - wx) <= 1 && Math.abs(Number(m[2]) - wy) <= 1;
    };
    const fits = await tab.evaluate((g) => {
      const boxes = [...document.querySelectorAll('section.window')].map((w) => w.getBoundingClientRect());
      return { right: Math.max(...boxes.map((r) => r.right)), scrolls: document.documentElement.scrollWidth,
               shown: document.querySelector(`${g} canvas`).getBoundingClientRect().width };
    }, graphics);
    check('at 390 px wide every window fits the screen, the graphics window scaled (its pixels kept)',
          fits.right <= 390 && fits.scrolls <= 390 && fits.shown < size.width && size.width === 595,
          JSON.stringify({ ...fits, pixels: size }));
    const recordingOn = (on) => until(tab, `Record Script ${on ? 'on' : 'off'}`, (want) =>
      [...document.querySelectorAll('section.window[data-title="TAVLO Graphics"] .menubar li.checked')]
        .some((li) => li.textContent.includes('Record')) === want, on);
    // The screen point of the middle of the canvas pixel (x, y), however the
    // canvas is shown (scaled to fit, its picture centred).
    const screenPoint = (x, y) => tab.$eval(`${graphics} canvas`, (c, px, py) => {
      const box = c.getBoundingClientRect();
      const scale = Math.min(box.width / c.width, box.height / c.height);
      return [box.left + (box.width - c.width * scale) / 2 + (px + 0.5) * scale,
              box.top + (box.height - c.height * scale) / 2 + (py + 0.5) * scale];
    }, x, y);
    await tab.evaluate(() => { document.getElementById('tavlo-desktop').dataset.longPress = '3600000'; });
    await ctrl(tab, 'R');
    await recordingOn(true);
    await tab.touchscreen.tap(...(await screenPoint(100, 300)));
    await tab.click(`${graphics} .full-screen`);
    const full = await until(tab, 'the graphics window full screen', (g) =>
      document.fullscreenElement === document.querySelector(`${g} canvas`), graphics).then(() => true, () => false);
    if (full) await tab.touchscreen.tap(...(await screenPoint(250, 100)));
    await ctrl(tab, 'R');
    await recordingOn(false);
    const lines = ((await scriptText(tab)) || '').split('\n').filter((l) => /^TAVLO_(MOUSE|UP)\(/.test(l));
    check('at 390 px wide a tap on the scaled window lands at the program coordinates under the finger',
          near(lines[0], 'MOUSE', 100, 300) && near(lines[1], 'UP', 100, 300) && /, 1\);$/.test(lines[1]),
          JSON.stringify(lines));
    check('the full-screen button shows the graphics window alone, scaled, and a tap on it lands right',
          full && near(lines[2], 'MOUSE', 250, 100) && near(lines[3], 'UP', 250, 100) && lines.length === 4, JSON.stringify(lines));
    await tab.close();
  });
} catch (error) {
  check('browser test ran to the end', false, error && error.stack ? error.stack : String(error));
} finally {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
}
finish();
