// The site's copy of the compiler's bundle (playground/tools/compiler-bundle.mjs):
// its changes apply to the pinned npm bundle, and its file stream writes what
// the runtime's own wrote, byte for byte, with a copy of the file only when it
// outgrows its buffer (counted), never into an array the file did not make.
//
//   node tests/web/compiler_bundle_test.mjs
import fs from 'node:fs';
import path from 'node:path';

import { fastWrite, ownBuffersDeclaration, patchCompilerBundle, slowWrite } from
  '../../playground/tools/compiler-bundle.mjs';
import { check, finish, group } from './harness.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const npmBundle = path.join(root, 'playground/node_modules/@yowasp/clang/gen/bundle.js');

// A write stream class from the bundle's text, on a file {data}.
const streamClass = (write, declarations = '') =>
  // eslint-disable-next-line no-new-func -- the method's text, as the bundle holds it
  new Function(`${declarations}\nreturn class { constructor(file, offset) { this.file = file; this.offset = offset; }\n${write}\n};`)();
const Slow = streamClass(slowWrite);
const Fast = streamClass(fastWrite, ownBuffersDeclaration);

await group('the changes apply to the pinned bundle, each to one place', async () => {
  if (!fs.existsSync(npmBundle)) {
    check('the npm bundle is installed', false, npmBundle);
    return;
  }
  const text = fs.readFileSync(npmBundle, 'utf8');
  const patched = patchCompilerBundle(text);
  check('the fast write replaced the slow one', patched.includes(fastWrite) && !patched.includes(slowWrite));
  check('the progress wrapper is gone and the address comes from outside',
        !patched.includes('if (fetchProgress !== void 0) {') && !/[^(|] import\.meta\.url/.test(patched));
  let refused = '';
  try {
    patchCompilerBundle(text.replace(slowWrite, slowWrite.replace('newData.set', 'newData .set')), 'new.js');
  } catch (error) {
    refused = error.message;
  }
  check('a bundle whose write moved is refused, saying which piece', refused.startsWith("new.js: the file stream's write"), refused);
});

await group('the file stream writes what the runtime wrote, copying only when the file outgrows its buffer', async () => {
  // One script of writes (offset, bytes) run on both: appends a byte at a time,
  // a patch back at the start, a jump past the end, and the file cut short in
  // between, as setSize cuts it (a view of the first bytes).
  const steps = [];
  for (let i = 0; i < 20000; ++i) steps.push({ at: i, bytes: [i & 0xff] });
  steps.push({ at: 2, bytes: [7, 7, 7, 7, 7] });
  steps.push({ cut: 100 });
  steps.push({ at: 150, bytes: [1, 2, 3] });
  steps.push({ cut: 120 });
  steps.push({ at: 130, bytes: [9] });
  steps.push({ at: 5000, bytes: new Array(9000).fill(4) });
  const play = (Stream) => {
    const file = { data: new Uint8Array(0) };
    const buffers = new Set();
    for (const step of steps) {
      if (step.cut !== undefined) {
        file.data = file.data.subarray(0, step.cut);
        continue;
      }
      new Stream(file, BigInt(step.at)).write(Uint8Array.from(step.bytes));
      buffers.add(file.data.buffer);
    }
    return { data: file.data, buffers: buffers.size };
  };
  const slow = play(Slow);
  const fast = play(Fast);
  check('the same bytes and length as the runtime\'s own write',
        slow.data.length === fast.data.length && Buffer.compare(Buffer.from(slow.data), Buffer.from(fast.data)) === 0,
        `${fast.data.length} bytes, runtime ${slow.data.length}`);
  check('bytes skipped past the end of a cut file are zeros', fast.data[140] === 0 && fast.data[129] === 0 && fast.data[130] === 9);
  check('the file was copied a few times, not once a write', fast.buffers <= 20 && slow.buffers > 20000,
        `${fast.buffers} buffers (the runtime's write: ${slow.buffers})`);

  const given = Uint8Array.from([1, 2, 3, 4]);
  const backing = new Uint8Array(64);
  const view = backing.subarray(8, 12);
  for (const data of [given, view]) {
    const file = { data };
    new Fast(file, 1n).write(Uint8Array.from([9]));
    new Fast(file, 6n).write(Uint8Array.from([8]));
    check('an array the file did not make is never written into',
          given.join() === '1,2,3,4' && backing.every((b) => b === 0) && file.data.join() === `${data === given ? 1 : 0},9,${data === given ? '3,4' : '0,0'},0,0,8`,
          `${file.data.join()}`);
  }
});

finish();
