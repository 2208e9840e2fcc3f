// Compiles a program written on tavlo.h with the playground's compiler under
// node, links it with the package built for wasm32-wasi, runs it under node's
// WASI headless, and checks that it logs the same lines and draws the same
// frames as the native build of the same program with the same options.
//
//   node run_program.mjs PLAYGROUND.json PROGRAM.cpp NATIVE_PROGRAM WORK_DIR [INPUT_PLAN]
//
// PLAYGROUND.json is the build's description of a program's compile and link
// (cmake/wasi.cmake writes it). Two runs of each build are compared: --frames N
// alone and, given an input plan, that plan played (clicks, keys, menu
// commands). Each run's message log, GIF recording (every frame) and last
// picture must equal the native run's.
//
// The program is compiled as written and with the precompiled prelude; the runs
// use the object compiled with the precompiled prelude. (The compile times are
// bench/web_figures.mjs's.)
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { WASI } from 'node:wasi';

import { loadFile, loadTree, runTool } from '../tools/wasi-cc.mjs';

// Absolute paths: the compiler's file system has no current folder of the host's.
const [configPath, program, nativeProgram, work, inputPlan] =
    process.argv.slice(2).map((argument) => path.resolve(argument));
if (work === undefined) {
  console.error('usage: run_program.mjs PLAYGROUND.json PROGRAM.cpp NATIVE_PROGRAM WORK_DIR ' +
                '[INPUT_PLAN]');
  process.exit(2);
}
const config = JSON.parse(fs.readFileSync(configPath, 'utf8'));
const name = path.basename(program, path.extname(program));

let failures = 0;
function fail(message) {
  console.log(`FAIL: ${message}`);
  failures += 1;
}

fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });

async function step(label, tool, args, tree, outputs) {
  const result = await runTool(tool, args, tree, outputs);
  if (result.log.trim() !== '') process.stdout.write(result.log);
  if (!result.ok) {
    console.log(`FAIL: ${label} failed`);
    process.exit(1);
  }
  console.log(`${label}: done`);
}

function sourceTree() {
  const tree = loadTree(config.include);
  loadFile(program, tree);
  loadFile(config.prelude, tree);
  return tree;
}

// ---- compile and link
const object = path.join(work, `${name}.o`);
const plainObject = path.join(work, `${name}.plain.o`);
const wasm = path.join(work, `${name}.wasm`);
const pchTree = sourceTree();
loadFile(config.pch, pchTree);
await step(`compile ${name}.cpp as written`, 'clang++',
           [...config.compile, '-c', program, '-o', plainObject], sourceTree(), [plainObject]);
await step(`compile ${name}.cpp with the precompiled prelude`, 'clang++',
           [...config.compile, '-include-pch', config.pch, '-c', program, '-o', object], pchTree, [object]);
const linkTree = loadTree(config.lib);
loadFile(object, linkTree);
await step(`link ${name}.wasm`, 'clang++', [object, ...config.link, '-o', wasm], linkTree, [wasm]);
console.log(`${name}.wasm: ${fs.statSync(wasm).size} bytes`);

// The platform's options of each run (files are named in each build's own
// terms); the --log and --save paths are added per run.
const runs = [{ label: 'frames', options: () => ['--headless', '--seed', '1', '--frames', '40'] }];
if (inputPlan !== undefined) {
  runs.push({
    label: 'input',
    files: [inputPlan],
    options: (folder) => ['--headless', '--seed', '7', '--frames', '60', '--input',
                          `${folder}/${path.basename(inputPlan)}`],
  });
}

// The page's imports (presenters/web/page_interface.h) when there is no page:
// the program asks whether one is there, hears no, and runs headless; any
// other call would be a fault.
function noPage(module) {
  const calls = {};
  for (const { module: from, name: call } of WebAssembly.Module.imports(module)) {
    if (from !== 'tavlo_page') continue;
    calls[call] = call === 'present_in_page' ? () => 0 : () => {
      throw new Error(`the program called tavlo_page.${call} with no page`);
    };
  }
  return calls;
}

// One run under WASI: the program's / is its run folder, its fonts at /fonts.
async function runWasi(run, folder) {
  for (const file of run.files ?? []) fs.copyFileSync(file, path.join(folder, path.basename(file)));
  const wasi = new WASI({
    version: 'preview1',
    args: [name, ...run.options(''), '--log', `/${name}.log`, '--save', `/${name}.png`, '--gif',
           `/${name}.gif`],
    env: {},
    preopens: { '/': folder, '/fonts': config.fonts },
    returnOnExit: true,
  });
  const module = await WebAssembly.compile(fs.readFileSync(wasm));
  const instance = await WebAssembly.instantiate(module, { ...wasi.getImportObject(),
                                                           tavlo_page: noPage(module) });
  return wasi.start(instance);
}

// The same run of the native build, in a folder of its own.
function runNative(run, folder) {
  const result = spawnSync(nativeProgram,
                           [...run.options(path.dirname(inputPlan ?? folder)), '--log',
                            path.join(folder, `${name}.log`), '--save',
                            path.join(folder, `${name}.png`), '--gif',
                            path.join(folder, `${name}.gif`)],
                           { cwd: folder, stdio: 'inherit', timeout: 120000 });
  return result.status ?? result.signal ?? `${result.error}`;
}

const read = (file) => (fs.existsSync(file) ? fs.readFileSync(file) : null);
for (const run of runs) {
  const wasiDir = path.join(work, run.label, 'wasi');
  const nativeDir = path.join(work, run.label, 'native');
  fs.mkdirSync(wasiDir, { recursive: true });
  fs.mkdirSync(nativeDir, { recursive: true });
  const wasiStatus = await runWasi(run, wasiDir);
  if (wasiStatus !== 0) fail(`${run.label}: the WASI run exited with ${wasiStatus}`);
  const nativeStatus = runNative(run, nativeDir);
  if (nativeStatus !== 0) fail(`${run.label}: the native run exited with ${nativeStatus}`);

  // The same lines and the same pixels.
  const [wasiLog, nativeLog] = [path.join(wasiDir, `${name}.log`), path.join(nativeDir, `${name}.log`)];
  const [logA, logB] = [read(wasiLog), read(nativeLog)];
  if (logA === null || logB === null) {
    fail(`${run.label}: a log is missing (${logA === null ? wasiLog : nativeLog})`);
  } else if (!logA.equals(logB)) {
    fail(`${run.label}: the logs differ: ${wasiLog} and ${nativeLog}`);
  } else {
    console.log(`${run.label}: logs equal (${logA.toString().split('\n').length - 1} lines)`);
  }
  // Every frame, as the GIF recording holds them.
  const [gifA, gifB] = [read(path.join(wasiDir, `${name}.gif`)), read(path.join(nativeDir, `${name}.gif`))];
  if (gifA === null || gifB === null || !gifA.equals(gifB)) {
    fail(`${run.label}: the GIF recordings differ or one is missing (${wasiDir}, ${nativeDir})`);
  } else {
    console.log(`${run.label}: GIF recordings equal (${gifA.length} bytes)`);
  }
  const [wasiPicture, nativePicture] =
      [path.join(wasiDir, `${name}.png`), path.join(nativeDir, `${name}.png`)];
  const [pictureA, pictureB] = [read(wasiPicture), read(nativePicture)];
  if (pictureA === null || pictureB === null) {
    fail(`${run.label}: a picture is missing (${pictureA === null ? wasiPicture : nativePicture})`);
  } else if (pictureA.equals(pictureB)) {
    console.log(`${run.label}: pictures equal, byte for byte`);
  } else {
    // Files may differ in their compression alone: compare the pixels.
    let differing;
    try {
      differing = execFileSync('compare', ['-metric', 'AE', wasiPicture, nativePicture, 'null:'],
                               { stdio: ['ignore', 'pipe', 'pipe'] }).toString();
    } catch (error) {
      differing = `${error.stderr ?? error}`;
    }
    if (differing.trim() !== '0') {
      fail(`${run.label}: ${differing.trim()} pixels differ: ${wasiPicture} and ${nativePicture}`);
    } else {
      console.log(`${run.label}: pictures equal, pixel for pixel`);
    }
  }
}
if (failures > 0) process.exit(1);
console.log(`${name}: the WASI build logs and draws as the native build`);
